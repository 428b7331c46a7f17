// Runs the image transfer (image_transfer.h) on a worker thread for a dialog, which shows the progress
// (the main window's import progress window, dialog 150, implements TransferProgress) while the
// transfer's messages are shown on the UI thread. No widgets here.
//
// Threading: the runner lives on the UI thread. The worker never waits for the UI: its progress and
// messages are queued to the UI thread, and messages are shown one after another in the order they
// were raised. `has_cards` is called on the worker thread, so it must be safe there (for example an
// atomic the window keeps). The destructor waits for a running transfer to end (its steps are bounded
// by time-outs); messages still queued then are dropped with the runner.
#pragma once

#include <QObject>

#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <thread>

#include "screenconfig/image_transfer.h"
#include "screenconfig/record_files.h"

namespace screenconfig {

// Where a transfer's progress shows, called on the UI thread: opened with the step count, one step per
// data frame (`item`: the card's file name), closed however the transfer ends.
class TransferProgress {
  public:
    virtual ~TransferProgress() = default;
    virtual void progress_opened(int steps) = 0;
    virtual void progress_step(const std::string& item) = 0;
    virtual void progress_closed() = 0;
};

class ImageTransferRunner : public QObject {
    Q_OBJECT
  public:
    // `progress` (not owned) must outlive the runner; `has_cards` see above.
    ImageTransferRunner(TransferProgress& progress, std::function<bool()> has_cards,
                        TransferSettings settings = {}, QObject* parent = nullptr);
    ~ImageTransferRunner() override;

    // Starts sending `image_file` to `target`. False, starting nothing, while a transfer is running.
    bool start(const cardlink::CardTarget& target, const std::filesystem::path& image_file = temp_sys_path());
    bool running() const { return running_.load(); }

  signals:
    // On the UI thread, after the worker has ended and its messages were queued.
    void finished(screenconfig::TransferOutcome outcome);

  private:
    class Bridge;
    void open_progress(int steps);
    void step_progress();
    void close_progress();
    void queue_message(const std::string& text);
    void show_pending_messages();

    TransferProgress& progress_;
    std::function<bool()> has_cards_;
    TransferSettings settings_;
    std::thread worker_;
    std::atomic<bool> running_{false};
    std::deque<std::string> pending_;
    bool showing_ = false;
};

}  // namespace screenconfig
