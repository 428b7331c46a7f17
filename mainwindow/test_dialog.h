// "测试" (dialog 157): lights a moving grid or a gray ramp on the selected card's screen and stops it.
// Each button builds one block (mainwindow/test_patterns.h) and hands it to `send`, which the window
// passes to the exchange service; no answer is awaited. With no line ticked the grid test ticks "横线",
// with no colour ticked the gray test ticks "红", before sending. UI thread only.
#pragma once

#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>

#include "common/screen_control.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;

class TestDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 157;
    enum Control : int {
        kGridRed = 1141,
        kGridGreen = 1142,
        kGridBlue = 1143,
        kGridWhite = 1144,
        kHorizontal = 1145,
        kVertical = 1146,
        kDiagonal = 1147,
        kSpacing = 1148,
        kGridSpeed = 1149,
        kGridTest = 1150,
        kGrayRed = 1151,
        kGrayGreen = 1152,
        kGrayBlue = 1153,
        kGrayWhite = 1154,
        kGraySpeed = 1155,
        kGrayTest = 1156,
        kStop = 1157,
        kGridGroup = 2001,  // "网格测试"
        kGrayGroup = 2002,  // "灰度测试"
        kSpacingLabel = 2003,
        kGridSpeedLabel = 2004,
        kGraySpeedLabel = 2005,
    };

    using Block = std::array<std::uint8_t, screen_control::kSize>;
    explicit TestDialog(std::function<void(const Block&)> send, QWidget* parent = nullptr);

    QWidget* control(int id) const;

  private:
    void onGridTest();
    void onGrayTest();

    std::function<void(const Block&)> send_;
    QButtonGroup* grid_colour_ = nullptr;
    QCheckBox* horizontal_ = nullptr;
    QCheckBox* vertical_ = nullptr;
    QCheckBox* diagonal_ = nullptr;
    QLineEdit* spacing_ = nullptr;
    QLineEdit* grid_speed_ = nullptr;
    QCheckBox* gray_red_ = nullptr;
    QCheckBox* gray_green_ = nullptr;
    QCheckBox* gray_blue_ = nullptr;
    QCheckBox* gray_white_ = nullptr;
    QLineEdit* gray_speed_ = nullptr;
};
