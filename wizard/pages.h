// The wizard's step panels. Each renders its controller and forwards the technician's actions to it;
// card exchanges go through the frame. UI thread only.
#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>

#include "wizard/alternating_step.h"
#include "wizard/kelvra_pictures.h"
#include "wizard/line_check.h"
#include "wizard/module_info.h"
#include "wizard/point_trace.h"
#include "wizard/scan_lines.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace widgets {
class GridControl;
}

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
    // The module's width as the technician typed it (up to 64), which the panel's field no longer shows
    // once Next has limited it to 32: step 7 numbers its columns by it.
    std::uint32_t enteredWidth() const { return entered_width_; }

  private:
    void readFields();
    void onHubChosen(int row);
    void onDecoderChosen(int index);

    SmartSetupWizard& frame_;
    ModuleInfo info_;
    HubPicture shown_picture_ = HubPicture::None;
    std::uint32_t entered_width_ = 16;
    bool writing_back_ = false;  // the limited size written into the fields is not the technician's
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

// A drawing of a module split into `bands` bands of `scan` rows with the top band marked: the rows
// step 5 asks to count.
QPixmap bandPicture(std::uint32_t bands, std::uint32_t scan);

class ScanLinesPage : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 134;
    enum Control : int {
        kRowsLit = 1019,
        kRowsBetween = 1026,
        kRowsLitLabel = 2111,
        kBandNote = 2114,
        kBandPicture = 2115,
    };

    explicit ScanLinesPage(SmartSetupWizard& frame);

    ScanLines& controller() { return scan_; }
    // Entering step 5: the note and picture of the band to count, for the module of step 1.
    void showBand();
    QLabel* bandNote() const { return band_note_; }
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
    QLabel* band_note_ = nullptr;
    QLabel* band_picture_ = nullptr;
};

// The rectangle of a picture of `grid`'s first `columns` x `rows` cells, in the coordinates of the
// grid's window (what SaveWndJpg takes).
KelvraRect gridPictureRect(const widgets::GridControl& grid, int columns, int rows);

// Step 6: the standard row-decode orders, or tracing the module's points in a grid.
class PointTracePage : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 135;
    enum Control : int {
        kCancel = 2,  // the panel's own "完成" and "取消" do nothing, so they are not shown
        kChosen = 1001,
        kBack = 1012,
        kGrid = 1036,
        kListRadio = 1039,
        kGridRadio = 1040,
        kDone = 1048,
        kReset = 1049,
        kGridHint = 1051,
        kList = 1053,
        kListHint = 2110,
        kDoneHint = 2111,  // shown when the tracing is complete: how to go on to step 7
    };
    static constexpr std::uint32_t kNumbered = 0xCCCCFF;  // 0x00BBGGRR

    explicit PointTracePage(SmartSetupWizard& frame);

    PointTrace& controller() { return trace_; }
    widgets::GridControl* grid() const { return grid_; }
    QComboBox* list() const { return list_; }
    QLineEdit* chosen() const { return chosen_; }
    QRadioButton* radio(PointTrace::Mode mode) const;
    QPushButton* backButton() const { return back_; }
    QPushButton* resetButton() const { return reset_; }
    QLabel* doneHint() const { return done_hint_; }
    bool exchangeUnderWay() const { return in_flight_; }
    std::size_t clicksWaiting() const { return waiting_.size(); }

    // Entering step 6: the grid laid out (the frame widened for a wide module), point 1 lit, and the
    // standard list filled for the module.
    void enter();

  private:
    void layOutGrid();
    void chooseMode(PointTrace::Mode mode);
    void onListChosen(int index);
    void onCellClicked(int row, int column);
    void onBack();
    void light(Block block, std::function<void(bool)> done);
    void setBusy(bool busy);
    // The exchange has ended: the grid is ready again and takes the next click that waited.
    void settle();
    void savePicture(int columns, int rows);
    void render();

    SmartSetupWizard& frame_;
    PointTrace trace_;
    bool in_flight_ = false;                   // a point on its way: clicks wait
    std::deque<std::pair<int, int>> waiting_;  // cells clicked meanwhile, in order
    std::unique_ptr<KelvraPictures> kelvra_;
    QButtonGroup* modes_ = nullptr;
    QComboBox* list_ = nullptr;
    QLineEdit* chosen_ = nullptr;
    QLabel* grid_hint_ = nullptr;
    QLabel* done_hint_ = nullptr;
    widgets::GridControl* grid_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* reset_ = nullptr;
};

// Step 7: the column and row walks, the test line and its question.
class LineCheckPage : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 144;
    enum Control : int {
        kColumnRedo = 1000,
        kRowRedo = 1001,
        kRowGrid = 1037,
        kColumnGrid = 1054,
        kColumnHint = 1069,
        kRowHint = 1070,
        kColumnsNote = 2114,  // which of the module's columns the column grid stands for
    };

    explicit LineCheckPage(SmartSetupWizard& frame);

    LineCheck& controller() { return check_; }
    widgets::GridControl* columnGrid() const { return columns_; }
    widgets::GridControl* rowGrid() const { return rows_; }
    QLabel* columnsNote() const { return columns_note_; }
    bool exchangeUnderWay() const { return in_flight_; }
    std::size_t clicksWaiting() const { return waiting_.size(); }

    // Entering step 7 (and the column "重新选择"): the column walk starts.
    void enter();

  private:
    void onClicked(widgets::GridControl* grid, int row, int column);
    void setBusy(bool busy);
    // The exchanges of a click have ended: the grids are ready again and take the next click that
    // waited.
    void settle();
    void numberModuleColumns();
    void run(LineCheck::Actions actions);
    void sendFlags(std::optional<Block> flags, std::optional<Block> test_line);
    void lightTestLine(Block test_line);
    void render();
    void showRows(bool shown);

    SmartSetupWizard& frame_;
    LineCheck check_;
    bool in_flight_ = false;
    struct Waiting {
        widgets::GridControl* grid;
        int row, column;
    };
    std::deque<Waiting> waiting_;  // cells clicked while a point was on its way, in order
    widgets::GridControl* columns_ = nullptr;
    QLabel* columns_note_ = nullptr;
    widgets::GridControl* rows_ = nullptr;
    QLabel* row_hint_ = nullptr;
    QPushButton* row_redo_ = nullptr;
};

}  // namespace wizard
