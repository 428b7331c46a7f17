// Runs one firmware upgrade (cardlink/firmware_upgrade.h) on a worker thread of its own and hands what
// the worker reports to the owner's thread as signals: the total (the progress bar's range), the bytes
// the card has taken and the result. The window stays responsive throughout.
//
// Threading: construct, start and destroy on the owner's thread (which runs a Qt event loop). stop()
// and the destructor tell the worker to give up and wait for it (the step under way is bounded);
// reports not yet delivered are dropped then.
#pragma once

#include <QObject>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "cardlink/firmware_upgrade.h"

class UpgradeRunner : public QObject, private cardlink::UpgradeObserver {
    Q_OBJECT
  public:
    explicit UpgradeRunner(QObject* parent = nullptr);
    ~UpgradeRunner() override;

    // False (nothing started) while an upgrade runs.
    bool start(const std::string& address, const std::filesystem::path& base,
               const cardlink::UpgradeSettings& settings = {});
    bool running() const { return running_; }
    // Gives up the upgrade under way and waits for the worker; its result (Stopped, or how it ended if
    // it ended first). finished() is not emitted for it. Without an upgrade: a default result.
    cardlink::UpgradeResult stop();

  signals:
    void started(qint64 total);
    void progressed(qint64 sent);
    void finished(const cardlink::UpgradeResult& result);

  private:
    void upgrade_started(std::uint64_t total) override;
    void upgrade_progress(std::uint64_t sent) override;

    std::atomic<bool> stop_{false};
    std::thread worker_;
    cardlink::UpgradeResult result_;  // written by the worker before it ends; read after join
    bool running_ = false;            // owner's thread only
};
