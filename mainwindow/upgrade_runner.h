// Runs one firmware upgrade (cardlink/firmware_upgrade.h) on a worker thread of its own and hands what
// the worker reports to the owner's thread as signals: the total (the progress bar's range), the bytes
// sent, the messages by key and the end. The window stays responsive throughout.
//
// Threading: construct, start and destroy on the owner's thread (which runs a Qt event loop). The
// destructor tells the worker to give up and waits for it (the step under way is bounded); reports not
// yet delivered are dropped with the object.
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

  signals:
    void started(qint64 total);
    void progressed(qint64 sent);
    void message(const QString& key);
    void finished(cardlink::UpgradeOutcome outcome);

  private:
    void upgrade_started(std::uint64_t total) override;
    void upgrade_progress(std::uint64_t sent) override;
    void upgrade_message(const std::string& key) override;

    std::atomic<bool> stop_{false};
    std::thread worker_;
    bool running_ = false;  // owner's thread only
};
