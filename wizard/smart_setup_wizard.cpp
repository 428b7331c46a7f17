#include "wizard/smart_setup_wizard.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <thread>

#include "common/frame.h"
#include "platform/localisation.h"
#include "platform/message_service.h"
#include "widgets/localise_dialog.h"
#include "wizard/pages.h"
#include "wizard/point_trace.h"

namespace wizard {

SmartSetupWizard::SmartSetupWizard(cardlink::ExchangeService& exchanges, cardlink::CardTarget card,
                                   screenconfig::WorkingSet& working, QWidget* parent)
    : QDialog(parent), exchanges_(exchanges), card_(std::move(card)), working_(working), steps_(kStepCount) {
    setProperty(kDialogIdProperty, kDialogNumber);
    setWindowTitle(QStringLiteral("智能设置向导"));
    auto* layout = new QVBoxLayout(this);
    // Every panel covers the same area: the frame's panel group box. It scrolls when a panel needs more
    // room than the screen gives the frame, so no control is ever out of reach.
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    auto* area = numbered(new QGroupBox, kPanelArea);
    area->setFlat(true);
    auto* area_layout = new QVBoxLayout(area);
    area_layout->setContentsMargins(0, 0, 0, 0);
    scroll_->setWidget(area);
    layout->addWidget(scroll_, 1);

    module_page_ = new ModuleInfoPage(*this);
    pages_.push_back(module_page_);
    for (auto kind : {Alternation::DataPolarity, Alternation::Oe, Alternation::Colour}) {
        alternating_.push_back(new AlternatingPage(*this, kind));
        pages_.push_back(alternating_.back());
    }
    scan_page_ = new ScanLinesPage(*this);
    pages_.push_back(scan_page_);
    trace_page_ = new PointTracePage(*this);
    pages_.push_back(trace_page_);
    line_page_ = new LineCheckPage(*this);
    pages_.push_back(line_page_);
    for (QWidget* p : pages_) {
        p->setParent(area);
        area_layout->addWidget(p);
        p->hide();
        p->installEventFilter(this);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    previous_ = numbered(new QPushButton(QStringLiteral("上一步(&P)"), this), kPrevious);
    next_ = numbered(new QPushButton(QStringLiteral("下一步(&N)"), this), kNext);
    finish_ = numbered(new QPushButton(QStringLiteral("完成(&F)"), this), kFinish);
    cancel_ = numbered(new QPushButton(QStringLiteral("取消(&C)"), this), kCancel);
    for (QPushButton* b : {previous_, next_, finish_, cancel_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(previous_, &QPushButton::clicked, this, &SmartSetupWizard::previous);
    connect(next_, &QPushButton::clicked, this, &SmartSetupWizard::next);
    connect(finish_, &QPushButton::clicked, this, &SmartSetupWizard::finish);
    connect(cancel_, &QPushButton::clicked, this, &SmartSetupWizard::reject);
    localise_dialog(this, kDialogNumber);

    showStep(1);
    module_page_->applyHubVisibility();
}

SmartSetupWizard::~SmartSetupWizard() {
    for (auto* p : alternating_) p->stop();
}

QPushButton* SmartSetupWizard::button(Control id) const {
    switch (id) {
        case kPrevious:
            return previous_;
        case kNext:
            return next_;
        case kFinish:
            return finish_;
        case kCancel:
            return cancel_;
        default:
            return nullptr;
    }
}

AlternatingPage* SmartSetupWizard::alternatingPage(int step) const {
    return step >= 2 && step <= 4 ? alternating_[static_cast<std::size_t>(step - 2)] : nullptr;
}

QWidget* SmartSetupWizard::page(int step) const {
    return step >= 1 && step <= static_cast<int>(pages_.size()) ? pages_[static_cast<std::size_t>(step - 1)]
                                                                : nullptr;
}

void SmartSetupWizard::setAlternationPeriod(std::chrono::milliseconds period) {
    for (auto* p : alternating_) p->setPeriod(period);
}

void SmartSetupWizard::sendBlocks(std::vector<Block> blocks, bool read_answer, QObject* context,
                                  std::function<void(const cardlink::SequenceResult&)> done) {
    std::vector<std::vector<std::uint8_t>> payloads;
    for (const auto& b : blocks) {
        const auto bytes = screen_control::encode(b);
        payloads.emplace_back(bytes.begin(), bytes.end());
    }
    // The job fills `result` on the worker; `done` reads it on the UI thread after the job has ended.
    auto result = std::make_shared<cardlink::SequenceResult>();
    exchanges_.submit(
        [result, target = card_, payloads = std::move(payloads), read_answer,
         timeouts = exchanges_.timeouts()] {
            *result = cardlink::exchange_sequence(target, frame::CMD_SCREEN_CONTROL, payloads, read_answer,
                                                  timeouts);
            cardlink::ExchangeResult summary;
            if (!result->connected) summary.error = cardlink::ExchangeError::NoConnection;
            return summary;
        },
        context, [result, done = std::move(done)](const cardlink::ExchangeResult&) { done(*result); });
}

void SmartSetupWizard::sendPoints(std::vector<Block> blocks, QObject* context,
                                  std::function<void(std::vector<bool>)> done) {
    auto opened = std::make_shared<std::vector<bool>>();
    exchanges_.submit(
        [opened, target = card_, blocks = std::move(blocks), timeouts = exchanges_.timeouts(),
         pause = point_pause_] {
            for (const auto& b : blocks) {
                const auto bytes = screen_control::encode(b);
                const auto r = cardlink::exchange_sequence(
                    target, frame::CMD_SCREEN_CONTROL,
                    {std::vector<std::uint8_t>(bytes.begin(), bytes.end())}, false, timeouts);
                opened->push_back(r.connected);
                // The card draws the point before the next command reaches it.
                if (r.connected) std::this_thread::sleep_for(pause);
            }
            return cardlink::ExchangeResult{};
        },
        context, [opened, done = std::move(done)](const cardlink::ExchangeResult&) { done(*opened); });
}

void SmartSetupWizard::showMessages(const Messages& messages) {
    for (const auto& m : messages) platform::show_message(message_text(m));
}

void SmartSetupWizard::showStep(int n) {
    const int shown = steps_.show(n);
    for (int s = 1; s <= static_cast<int>(pages_.size()); ++s) page(s)->setVisible(s == shown);
    // At most one alternation runs: the one of the step shown.
    for (int s = 2; s <= 4; ++s)
        if (s != shown) alternatingPage(s)->stop();
    if (auto* p = alternatingPage(shown)) p->start();
    if (shown != 6) next_allowed_ = true;
    if (shown == 5) {
        scan_page_->showBand();
        scan_page_->lightRowPattern();
        restoreFrame();
    }
    updateButtons();
    if (shown == 6) trace_page_->enter();
    if (shown == 7) {
        restoreFrame();
        line_page_->enter();
    }
    fitStep();
}

QSize SmartSetupWizard::stepNeeds() const {
    // The panel area holds the shown panel alone (the hidden ones take no room), with its margins.
    QWidget* area = scroll_->widget();
    const int width = std::max(area->minimumSizeHint().width(), scroll_->viewport()->width());
    const int height = area->hasHeightForWidth() ? area->heightForWidth(width) : area->sizeHint().height();
    return {width, std::max(height, area->minimumSizeHint().height())};
}

void SmartSetupWizard::fitStep() {
    if (!isVisible()) return;
    const QSize needs = stepNeeds();
    // What lies around the panel: the frame's margins and buttons.
    const QSize around = size() - scroll_->viewport()->size();
    QSize wanted(std::max(width(), needs.width() + around.width()),
                 std::max(height(), needs.height() + around.height()));
    QRect rect(geometry().topLeft(), wanted);
    if (const QScreen* s = screen()) {
        // The frame grows only as far as the screen reaches; the panel scrolls for the rest.
        const QRect free = s->availableGeometry();
        const QSize decoration = frameGeometry().size() - size();
        rect.setSize(wanted.boundedTo(free.size() - decoration));
        const QPoint inner_top_left = free.topLeft() + (geometry().topLeft() - frameGeometry().topLeft());
        const QPoint inner_bottom_right =
            free.bottomRight() - (frameGeometry().bottomRight() - geometry().bottomRight());
        if (rect.right() > inner_bottom_right.x()) rect.moveRight(inner_bottom_right.x());
        if (rect.bottom() > inner_bottom_right.y()) rect.moveBottom(inner_bottom_right.y());
        if (rect.left() < inner_top_left.x()) rect.moveLeft(inner_top_left.x());
        if (rect.top() < inner_top_left.y()) rect.moveTop(inner_top_left.y());
    }
    if (rect != geometry()) setGeometry(rect);
}

bool SmartSetupWizard::eventFilter(QObject* watched, QEvent* event) {
    // A panel whose controls appear or change size (the trace grid shown, step 7's row grid, a longer
    // text) asks for room once its layout has settled.
    if (event->type() == QEvent::LayoutRequest && watched == page(steps_.current()) && !fit_pending_) {
        fit_pending_ = true;
        QTimer::singleShot(0, this, [this] {
            fit_pending_ = false;
            fitStep();
        });
    }
    return QDialog::eventFilter(watched, event);
}

void SmartSetupWizard::updateButtons() {
    previous_->setEnabled(steps_.previous_enabled() && !accepting_);
    next_->setEnabled(steps_.next_enabled() && next_allowed_ && !accepting_);
    finish_->setEnabled(steps_.finish_enabled() && !accepting_);
    cancel_->setEnabled(true);
}

void SmartSetupWizard::next() {
    if (accepting_ || !next_->isEnabled()) return;
    const int step = steps_.current();
    bool accepted = false;
    if (step == 1)
        accepted = module_page_->accept();
    else if (auto* p = alternatingPage(step))
        accepted = p->accept();
    else if (step == 6)
        accepted = true;  // whether a list entry was chosen or not
    else if (step == 5) {
        accepting_ = true;
        updateButtons();
        scan_page_->accept([this](bool ok) {
            accepting_ = false;
            if (ok) {
                lit_rows_handed_over_ = scan_page_->controller().lit_rows_minus_one();
                showStep(steps_.after_accept());
            } else {
                updateButtons();
            }
        });
        return;
    }
    if (accepted) showStep(steps_.after_accept());
}

void SmartSetupWizard::finish() {
    if (!steps_.finish_enabled()) return;
    fill_unfilled_record(working_);
    for (auto* p : alternating_) p->stop();
    QDialog::accept();
}

void SmartSetupWizard::setNextEnabled(bool on) {
    next_allowed_ = on;
    updateButtons();
}

void SmartSetupWizard::setFinishEnabled(bool on) {
    steps_.set_finish_enabled(on);
    updateButtons();
}

void SmartSetupWizard::setFrameWidth(int width) {
    if (!opened_rect_.isValid()) return;
    QRect r = opened_rect_;
    r.setWidth(width + 50);
    setGeometry(r);
}

void SmartSetupWizard::restoreFrame() {
    if (opened_rect_.isValid() && geometry() != opened_rect_) setGeometry(opened_rect_);
}

void SmartSetupWizard::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!opened_rect_.isValid()) opened_rect_ = geometry();
    fitStep();
}

void SmartSetupWizard::previous() {
    if (accepting_ || steps_.current() <= 1) return;
    showStep(steps_.current() - 1);
}

void SmartSetupWizard::reject() {
    const auto reply =
        platform::show_message(localisation::lookup("IDS_MESSAGE_DUDO_QUIT_XIANGDAO"), {},
                               platform::MessageIcon::Question, platform::MessageButtons::OkCancel);
    if (reply != platform::MessageReply::Ok) return;
    for (auto* p : alternating_) p->stop();
    QDialog::reject();
}

}  // namespace wizard
