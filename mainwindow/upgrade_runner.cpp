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
    cardlink::UpgradeSettings run = settings;
    run.stop = &stop_;
    worker_ = std::thread([this, address, base, settings = run] {
        const auto result = cardlink::RunUpgrade(address, base, *this, settings);
        QMetaObject::invokeMethod(
            this,
            [this, outcome = result.outcome] {
                running_ = false;
                emit finished(outcome);
            },
            Qt::QueuedConnection);
    });
    return true;
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

void UpgradeRunner::upgrade_message(const std::string& key) {
    QMetaObject::invokeMethod(
        this, [this, key] { emit message(QString::fromStdString(key)); }, Qt::QueuedConnection);
}
