#include "mainwindow/upgrade_runner.h"

#include <QMetaObject>

UpgradeRunner::UpgradeRunner(QObject* parent) : QObject(parent) {}

UpgradeRunner::~UpgradeRunner() {
    stop_ = true;
    if (worker_.joinable()) worker_.join();
}

bool UpgradeRunner::start(const std::string& address, const std::filesystem::path& base,
                          const cardlink::UpgradeSettings& settings) {
    if (running_) return false;
    if (worker_.joinable()) worker_.join();  // the previous one has ended: its finished() was delivered
    running_ = true;
    stop_ = false;
    cardlink::UpgradeSettings run = settings;
    run.stop = &stop_;
    worker_ = std::thread([this, address, base, settings = run] {
        const auto result = cardlink::run_upgrade(address, base, *this, settings);
        result_ = result;
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                if (!running_) return;  // stop() has reported it already
                running_ = false;
                emit finished(result);
            },
            Qt::QueuedConnection);
    });
    return true;
}

cardlink::UpgradeResult UpgradeRunner::stop() {
    if (!running_) return {};
    stop_ = true;
    if (worker_.joinable()) worker_.join();
    running_ = false;
    return result_;
}

// The observer runs on the worker: every report is queued to the owner's thread.
void UpgradeRunner::upgrade_started(std::uint64_t total) {
    QMetaObject::invokeMethod(
        this, [this, total] { emit started(static_cast<qint64>(total)); }, Qt::QueuedConnection);
}

void UpgradeRunner::upgrade_progress(std::uint64_t sent) {
    QMetaObject::invokeMethod(
        this, [this, sent] { emit progressed(static_cast<qint64>(sent)); }, Qt::QueuedConnection);
}
