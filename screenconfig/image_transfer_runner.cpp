#include "screenconfig/image_transfer_runner.h"

#include <QMetaObject>

#include "platform/message_service.h"
#include "screenconfig/record_files.h"

namespace screenconfig {

// Hands the worker's calls to the runner on the UI thread. Queued calls whose runner is gone are
// dropped by Qt (the runner is their context object).
class ImageTransferRunner::Bridge final : public TransferObserver {
  public:
    explicit Bridge(ImageTransferRunner* runner) : runner_(runner) {}
    void progress_opened(int steps) override {
        post([r = runner_, steps] { r->open_progress(steps); });
    }
    void progress_step() override {
        post([r = runner_] { r->step_progress(); });
    }
    void progress_closed() override {
        post([r = runner_] { r->close_progress(); });
    }
    void message(const std::string& text) override {
        post([r = runner_, text] { r->queue_message(text); });
    }

  private:
    template <typename F>
    void post(F f) {
        QMetaObject::invokeMethod(runner_, std::move(f), Qt::QueuedConnection);
    }
    ImageTransferRunner* runner_;
};

ImageTransferRunner::ImageTransferRunner(TransferProgress& progress, std::function<bool()> has_cards,
                                         TransferSettings settings, QObject* parent)
    : QObject(parent), progress_(progress), has_cards_(std::move(has_cards)), settings_(settings) {}

ImageTransferRunner::~ImageTransferRunner() {
    if (worker_.joinable()) worker_.join();
}

bool ImageTransferRunner::start(const cardlink::CardTarget& target, const std::filesystem::path& image_file) {
    if (running_.load()) return false;
    if (worker_.joinable()) worker_.join();  // the previous one has ended; reclaim its thread
    running_ = true;
    worker_ = std::thread([this, target, image_file] {
        Bridge bridge(this);
        const TransferOutcome outcome = send_image(target, image_file, has_cards_, bridge, settings_);
        QMetaObject::invokeMethod(
            this,
            [this, outcome] {
                running_ = false;
                emit finished(outcome);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void ImageTransferRunner::open_progress(int steps) {
    progress_.progress_opened(steps);
}

void ImageTransferRunner::step_progress() {
    progress_.progress_step(kCardConfigName);
}

void ImageTransferRunner::close_progress() {
    progress_.progress_closed();
}

void ImageTransferRunner::queue_message(const std::string& text) {
    pending_.push_back(text);
    show_pending_messages();
}

void ImageTransferRunner::show_pending_messages() {
    // A message box runs its own event loop, which may deliver the next message: it waits its turn.
    if (showing_) return;
    showing_ = true;
    while (!pending_.empty()) {
        const std::string text = pending_.front();
        pending_.pop_front();
        platform::show_message(text);
    }
    showing_ = false;
}

}  // namespace screenconfig
