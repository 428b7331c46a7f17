#include "cardlink/exchange_service.h"

#include <QMetaObject>

namespace cardlink {

ExchangeService::ExchangeService(QObject* parent) : QObject(parent) {}

ExchangeService::~ExchangeService() {
    // Before the QObject goes: the worker may be about to post a report to it. Reports already posted
    // are removed with the object.
    worker_.stop();
}

void ExchangeService::submit(Job job, QObject* context, Done done) {
    ++outstanding_;
    if (outstanding_ == 1) emit busyChanged(true);
    QPointer<QObject> guard(context);
    const bool has_context = context != nullptr;
    worker_.post([this, job = std::move(job), guard, has_context, done = std::move(done)]() mutable {
        ExchangeResult result = job();
        // Queued to the owner's thread; Qt drops the call when the service is gone.
        QMetaObject::invokeMethod(
            this,
            [this, result = std::move(result), guard, has_context, done = std::move(done)] {
                if (done && (!has_context || guard)) done(result);
                delivered();
            },
            Qt::QueuedConnection);
    });
}

void ExchangeService::submitCommand(const CardTarget& target, std::uint8_t command,
                                    std::vector<std::uint8_t> payload, bool read_answer, QObject* context,
                                    Done done) {
    submit(
        [target, command, payload = std::move(payload), read_answer, timeouts = timeouts_] {
            return ExchangeCommand(target, command, payload, read_answer, timeouts);
        },
        context, std::move(done));
}

void ExchangeService::delivered() {
    --outstanding_;
    if (outstanding_ == 0) emit busyChanged(false);
}

}  // namespace cardlink
