// The wizard's step panels (steps 1 to 5). Each renders its controller and forwards the technician's
// actions to it; card exchanges go through the frame. UI thread only.
#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <chrono>
#include <functional>

#include "wizard/alternating_step.h"
#include "wizard/module_info.h"
#include "wizard/scan_lines.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace wizard {

class SmartSetupWizard;

// A drawing of a HUB adapter board, for the step 1 pictures.
QPixmap hubBoardPicture(HubPicture picture);

class ModuleInfoPage : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 129;
    enum Control : int {
        kWidth = 1001,
        kHeight = 1002,
        kHubList = 1035,
        kHubGroup = 2101,
        kDecoderList = 1052,
        kCableGroups = 1177,
        kRgbGroups = 1178,
    };
    // Picture controls, by picture.
    static int pictureControl(HubPicture picture);

    explicit ModuleInfoPage(SmartSetupWizard& frame);

    ModuleInfo& controller() { return info_; }
    // The HUB group shown or hidden by the card's class (the frame calls it after first showing step 1).
    void applyHubVisibility();
    bool accept();
    QWidget* pictureOf(HubPicture picture) const;
    HubPicture shownPicture() const { return shown_picture_; }

  private:
    void readFields();
    void onHubChosen(int row);
    void onDecoderChosen(int index);

    SmartSetupWizard& frame_;
    ModuleInfo info_;
    HubPicture shown_picture_ = HubPicture::None;
    QLineEdit* width_ = nullptr;
    QLineEdit* height_ = nullptr;
    QComboBox* cables_ = nullptr;
    QComboBox* rgb_ = nullptr;
    QGroupBox* hub_group_ = nullptr;
    QComboBox* hub_ = nullptr;
    QComboBox* decoder_ = nullptr;
    std::array<QLabel*, 6> pictures_{};
};

// Steps 2, 3 and 4.
class AlternatingPage : public QWidget {
    Q_OBJECT
  public:
    enum Control : int { kAutoChange = 1034, kList1 = 1019, kList2 = 1026, kList3 = 1028, kList4 = 1035 };
    static constexpr int kRadioFirst = 1020;  // radio buttons "1".."4" are 1020..1023

    AlternatingPage(SmartSetupWizard& frame, Alternation kind);

    AlternatingStep& controller() { return step_; }
    int dialogNumber() const;
    // Entering the step: state 1 lit, the timer running. Leaving it: the timer stopped.
    void start();
    void stop();
    bool accept();
    bool timerActive() const { return timer_.isActive(); }
    void setPeriod(std::chrono::milliseconds period) { period_ = period; }
    bool exchangeUnderWay() const { return in_flight_; }
    QComboBox* list(int index) const { return lists_[static_cast<std::size_t>(index)]; }

  private:
    void showState(int k);
    void render();

    SmartSetupWizard& frame_;
    AlternatingStep step_;
    QTimer timer_;
    std::chrono::milliseconds period_ = kAlternationPeriod;
    bool in_flight_ = false;  // a state's exchange (or its messages) not finished: ticks wait
    QButtonGroup* radios_ = nullptr;
    QCheckBox* auto_change_ = nullptr;
    std::array<QComboBox*, 4> lists_{};
};

class ScanLinesPage : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 134;
    enum Control : int { kRowsLit = 1019, kRowsBetween = 1026 };

    explicit ScanLinesPage(SmartSetupWizard& frame);

    ScanLines& controller() { return scan_; }
    void lightRowPattern();
    // Next: refusals answer at once (false); otherwise the blocks go to the card and `done` gets
    // whether the step accepted.
    void accept(std::function<void(bool)> done);
    QComboBox* rowsLit() const { return rows_lit_; }
    QComboBox* rowsBetween() const { return rows_between_; }

  private:
    SmartSetupWizard& frame_;
    ScanLines scan_;
    QComboBox* rows_lit_ = nullptr;
    QComboBox* rows_between_ = nullptr;
};

}  // namespace wizard
