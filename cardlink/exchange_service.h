// ExchangeService: card exchanges off the user-interface thread. Every dialog that talks to a card over
// TCP (the main window, the gamma dialog, the wizard and special-screen dialogs to come) submits its
// exchanges here instead of waiting for the card itself.
//
//   service.submit(job, context, done)
//     job     runs on the service's worker thread, after every job submitted before it; it may block,
//             bounded by its time-outs (ExchangeCommand is such a job; submitCommand() wraps one).
//     done    runs afterwards on the thread that owns the service, through its event loop, in the order
//             the jobs were submitted; it is dropped when `context` was destroyed in the meantime.
//
// busy() is true from a submit until the last `done` has run; busyChanged() tells when that flips, so a
// window can refuse new commands (and show a busy cursor) while one is under way. That keeps the order
// the user gave and nothing runs later against a state that changed meanwhile.
//
// Threading: construct, submit and destroy on one thread (the owner's), which runs a Qt event loop.
// Jobs must not touch the owner's objects: they receive copies. The destructor lets the running job end
// (bounded), drops the jobs not started and every report not yet delivered. Qt Core only; no widgets.
#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "cardlink/card_exchange.h"
#include "cardlink/exchange_worker.h"

namespace cardlink {

class ExchangeService : public QObject {
    Q_OBJECT
  public:
    using Job = std::function<ExchangeResult()>;
    using Done = std::function<void(const ExchangeResult&)>;

    explicit ExchangeService(QObject* parent = nullptr);
    ~ExchangeService() override;

    // Queues `job`; `done` (may be empty) runs on the owner's thread once it has ended.
    void submit(Job job, QObject* context, Done done);
    // One ExchangeCommand with `target` as it is now.
    void submitCommand(const CardTarget& target, std::uint8_t command, std::vector<std::uint8_t> payload,
                       bool read_answer, QObject* context, Done done);

    bool busy() const { return outstanding_ > 0; }

    // Bounds of the exchanges submitCommand() runs (tests shorten them).
    void setTimeouts(const ExchangeTimeouts& timeouts) { timeouts_ = timeouts; }
    const ExchangeTimeouts& timeouts() const { return timeouts_; }

  signals:
    void busyChanged(bool busy);

  private:
    void delivered();

    int outstanding_ = 0;
    ExchangeTimeouts timeouts_;
    ExchangeWorker worker_;
};

}  // namespace cardlink
