// The smart-setup wizard (dialog 136): the step panels in one frame, the Previous / Next / Finish /
// Cancel rules, and the one card exchange every step uses. The panels render their step's controller
// (module_info.h, alternating_step.h, scan_lines.h, point_trace.h, line_check.h) and forward what the
// technician does; the frame runs every card exchange on the main window's exchange service, so the
// window never waits on a card.
//
// Finish (enabled by step 7) closes the wizard as accepted; the main window then saves and sends the
// working ScreenParams.
//
// Life: constructed by the main window for one modal run, on the UI thread; the working set and the
// exchange service outlive it.
#pragma once

#include <QDialog>
#include <QRect>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "cardlink/card_exchange.h"
#include "cardlink/exchange_service.h"
#include "screenconfig/working_set.h"
#include "wizard/outcome.h"
#include "wizard/step_sequence.h"

class QPushButton;
class QScrollArea;
class QWidget;

namespace wizard {

class ModuleInfoPage;
class AlternatingPage;
class ScanLinesPage;
class PointTracePage;
class LineCheckPage;

class SmartSetupWizard : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 136;
    enum Control : int { kCancel = 2, kPrevious = 12323, kNext = 12324, kFinish = 12325, kPanelArea = 1045 };

    SmartSetupWizard(cardlink::ExchangeService& exchanges, cardlink::CardTarget card,
                     screenconfig::WorkingSet& working, QWidget* parent = nullptr);
    ~SmartSetupWizard() override;

    int currentStep() const { return steps_.current(); }
    QPushButton* button(Control id) const;
    ModuleInfoPage* moduleInfoPage() const { return module_page_; }
    AlternatingPage* alternatingPage(int step) const;  // steps 2, 3, 4
    ScanLinesPage* scanLinesPage() const { return scan_page_; }
    PointTracePage* pointTracePage() const { return trace_page_; }
    LineCheckPage* lineCheckPage() const { return line_page_; }
    QWidget* page(int step) const;
    // The lit-row count minus one handed over when step 5 accepts (for the trace step).
    std::uint32_t litRowsHandedOver() const { return lit_rows_handed_over_; }
    // The alternation period (tests shorten it).
    void setAlternationPeriod(std::chrono::milliseconds period);

    screenconfig::WorkingSet& working() { return working_; }
    const cardlink::CardTarget& card() const { return card_; }

    // Runs `blocks` as screen-control frames on one connection on the exchange service; `done` gets the
    // result on the UI thread (dropped when `context` is gone).
    void sendBlocks(std::vector<Block> blocks, bool read_answer, QObject* context,
                    std::function<void(const cardlink::SequenceResult&)> done);
    // Lights points: each block on its own connection, no answer awaited, then a pause that lets the
    // card draw. `done` gets, per block, whether its connection opened.
    void sendPoints(std::vector<Block> blocks, QObject* context, std::function<void(std::vector<bool>)> done);
    static constexpr std::chrono::milliseconds kPointPause{100};
    void setPointPause(std::chrono::milliseconds pause) { point_pause_ = pause; }  // tests shorten it
    // Shows each message in order (keys localised).
    static void showMessages(const Messages& messages);

    void next();
    void previous();
    // Finish: a record no list choice filled is filled with the default order, then the wizard closes as
    // accepted.
    void finish();

    // Offered to the step panels: Next (step 6's grid mode turns it off), Finish (step 7's row walk),
    // and the frame's width (step 6 widens it for a wide module; steps 5 and 7 restore it).
    void setNextEnabled(bool on);
    void setFinishEnabled(bool on);
    void setFrameWidth(int width);
    QRect openedRect() const { return opened_rect_; }
    // The frame grows (within the screen's free area) until the shown step fits; what still does not
    // fit scrolls. Runs on every step change and whenever the shown panel's layout changes.
    void fitStep();
    // The room the shown step's panel needs at the panel's present width.
    QSize stepNeeds() const;
    QScrollArea* panelScroller() const { return scroll_; }

  public slots:
    void reject() override;  // Cancel, close and Escape: asks first

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void showStep(int n);
    void restoreFrame();
    void updateButtons();

    cardlink::ExchangeService& exchanges_;
    cardlink::CardTarget card_;
    screenconfig::WorkingSet& working_;
    StepSequence steps_;
    bool accepting_ = false;  // step 5's blocks are on their way: the buttons wait
    std::uint32_t lit_rows_handed_over_ = 1;
    ModuleInfoPage* module_page_ = nullptr;
    std::vector<AlternatingPage*> alternating_;
    ScanLinesPage* scan_page_ = nullptr;
    PointTracePage* trace_page_ = nullptr;
    LineCheckPage* line_page_ = nullptr;
    bool next_allowed_ = true;  // step 6's grid mode turns Next off
    std::chrono::milliseconds point_pause_ = kPointPause;
    QRect opened_rect_;
    QScrollArea* scroll_ = nullptr;
    bool fit_pending_ = false;
    std::vector<QWidget*> pages_;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* finish_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace wizard
