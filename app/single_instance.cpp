#include "app/single_instance.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

#include "platform/message_service.h"

namespace {
constexpr const char* kRaiseRequest = "raise\n";
constexpr const char* kMainApplicationLock = "pavix_net";
const std::string kLockFailed = "创建互斥对象失败。";
}  // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}
SingleInstance::~SingleInstance() = default;

QString SingleInstance::socket_path(const QString& program_name) {
    return QString::fromStdString(
        (platform::runtime_folder() / (program_name.toStdString() + ".sock")).string());
}

bool SingleInstance::check(const QString& program_name) {
    const auto folder = platform::checked_runtime_folder();
    if (folder.path.empty()) {
        // No safe place for the lock: say why, and run without the single-instance guard.
        platform::show_message(kLockFailed + "\n" + folder.problem, "OnlyOne",
                               platform::MessageIcon::Warning);
        return true;
    }
    lock_ = std::make_unique<platform::InstanceLock>(program_name.toStdString());
    switch (lock_->state()) {
        case platform::InstanceLock::State::Failed:
            platform::show_message(kLockFailed, "OnlyOne", platform::MessageIcon::Information);
            break;
        case platform::InstanceLock::State::HeldElsewhere: {
            // Ask the running copy for its window; this copy leaves without a word either way.
            QLocalSocket socket;
            socket.connectToServer(socket_path(program_name));
            if (socket.waitForConnected(1000)) {
                socket.write(kRaiseRequest);
                socket.waitForBytesWritten(1000);
                socket.disconnectFromServer();
            }
            lock_.reset();
            return false;
        }
        case platform::InstanceLock::State::Acquired: {
            // We hold the lock, so any socket file left behind belongs to a copy that has gone.
            QFile::remove(socket_path(program_name));
            server_ = new QLocalServer(this);
            server_->setSocketOptions(QLocalServer::UserAccessOption);
            connect(server_, &QLocalServer::newConnection, this, [this] {
                while (QLocalSocket* peer = server_->nextPendingConnection()) {
                    connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                        if (peer->readAll().contains("raise")) emit raiseRequested();
                    });
                    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                }
            });
            server_->listen(socket_path(program_name));
            break;
        }
    }

    switch (platform::InstanceLock::probe(kMainApplicationLock)) {
        case platform::InstanceLock::State::Failed:
            platform::show_message(kLockFailed, "OnlyOne", platform::MessageIcon::Information);
            return true;
        case platform::InstanceLock::State::HeldElsewhere:
            platform::show_message("请先关闭Pavix应用程序");
            return false;
        case platform::InstanceLock::State::Acquired:
            return true;
    }
    return true;
}

void bring_to_front(QWidget* window) {
    if (window == nullptr) return;
    if (window->isMinimized()) window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}
