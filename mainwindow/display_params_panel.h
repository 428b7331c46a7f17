// The main window's display-parameter controls: gray level, scan clock, OE and data polarity,
// brightness, and the template's hidden duty cycle. They are built into the window's settings grid and
// are numbered controls of the window (MainWindow's control numbers); they show a card's report and
// say which command the user chose, which the window sends. UI thread only.
#pragma once

#include <QObject>
#include <QString>

#include "common/card_info.h"
#include "mainwindow/display_params.h"

class QButtonGroup;
class QComboBox;
class QGridLayout;
class QLineEdit;
class QSlider;
class QWidget;

class DisplayParamsPanel : public QObject {
    Q_OBJECT
  public:
    // Builds the rows of the controls from `first_row` of `grid`; `owner` (the window) owns them.
    DisplayParamsPanel(QWidget* owner, QGridLayout* grid, int first_row);

    void clear();
    // `restoring`: a value outside the lists clears the control instead of leaving it as it is.
    void show(const card_info::CardInfo& info, bool restoring = false);
    void setEnabled(bool enabled);

  signals:
    // Row `index` of the gray levels was chosen; `text` names it.
    void grayLevelChosen(int index, const QString& text);
    // The user chose `command`; `value` names the choice for the status line. `needs_card`: the choice
    // is dropped, unsaid, when no card is listed and no address is typed.
    void commandChosen(const display_params::DisplayCommand& command, const QString& value, bool needs_card);

  private:
    void onBrightnessMoved(int position);
    void onBrightnessReleased();

    QComboBox* gray_level_ = nullptr;
    QComboBox* scan_clock_ = nullptr;
    QButtonGroup* oe_polarity_ = nullptr;
    QButtonGroup* data_polarity_ = nullptr;
    QButtonGroup* duty_cycle_ = nullptr;
    QSlider* brightness_ = nullptr;
    QLineEdit* brightness_value_ = nullptr;
};
