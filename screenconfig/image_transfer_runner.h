// Runs the image transfer (image_transfer.h) on a worker thread for the main window, with the import
// progress window (dialog 150) and the transfer's messages shown on the UI thread.
//
// Threading: the runner lives on the UI thread. The worker never waits for the UI: its progress and
// messages are queued to the UI thread, and messages are shown one after another in the order they
// were raised. `has_cards` is called on the worker thread, so it must be safe there (for example an
// atomic the window keeps). The destructor waits for a running transfer to end (its steps are bounded
// by time-outs); messages still queued then are dropped with the window.
#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <thread>

#include "screenconfig/image_transfer.h"
#include "screenconfig/record_files.h"

class ImportProgressDialog;
class QWidget;

namespace screenconfig {

class ImageTransferRunner : public QObject {
    Q_OBJECT
  public:
    // `window` parents the progress window; `has_cards` see above.
    ImageTransferRunner(QWidget* window, std::function<bool()> has_cards, TransferSettings settings = {});
    ~ImageTransferRunner() override;

    // Starts sending `image_file` to `target`. False, starting nothing, while a transfer is running.
    bool start(const cardlink::CardTarget& target, const std::filesystem::path& image_file = temp_sys_path());
    bool running() const { return running_.load(); }

    // The progress window while it is open (for the window and tests), else nullptr.
    ImportProgressDialog* progress_window() const { return progress_; }

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

    QWidget* window_;
    std::function<bool()> has_cards_;
    TransferSettings settings_;
    std::thread worker_;
    std::atomic<bool> running_{false};
    QPointer<ImportProgressDialog> progress_;
    std::deque<std::string> pending_;
    bool showing_ = false;
};

}  // namespace screenconfig
