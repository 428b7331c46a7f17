// "其他硬件参数" (dialog 154): the card's three gamma values, set per channel ("单独") or all together
// ("全部") with sliders whose position p stands for p * 0.1. Releasing a slider sends the gamma command
// to the card link's target at once; "保存参数" closes the dialog. It renders the values and forwards the
// releases to display_params; it never touches sockets itself. UI thread only.
#pragma once

#include <QDialog>

class QLineEdit;
class QRadioButton;
class QSlider;

namespace cardlink {
class CardLink;
}
namespace screenconfig {
class WorkingSet;
}

class GammaDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 154;
    enum Control : int {
        kSave = 1,  // "保存参数"
        kGreen = 1128,
        kBlue = 1129,
        kAll = 1130,
        kRed = 1136,
        kAllValue = 1137,
        kBlueValue = 1138,
        kGreenValue = 1139,
        kRedValue = 1140,
        // Texts the template left unnumbered, numbered here so they can be translated too.
        kGammaGroup = 2001,
        kSeparate = 2002,  // "单独"
        kTogether = 2003,  // "全部"
        kRedLabel = 2004,
        kGreenLabel = 2005,
        kBlueLabel = 2006,
        kAllLabel = 2007,
    };

    // Opens with the card's gamma values (information block offsets 576, 580, 584). `link` and
    // `working` must outlive the dialog.
    GammaDialog(const cardlink::CardLink& link, screenconfig::WorkingSet& working, float red, float green,
                float blue, QWidget* parent = nullptr);

    // The control with dialog control number `id` (for tests).
    QWidget* control(int id) const;
    bool togetherMode() const;

  private:
    void setTogether(bool together);
    void onChannelMoved(QSlider* slider, QLineEdit* value);
    void onAllMoved(int position);
    void sendChannels();
    void sendAll();

    const cardlink::CardLink& link_;
    screenconfig::WorkingSet& working_;
    QSlider* red_ = nullptr;
    QSlider* green_ = nullptr;
    QSlider* blue_ = nullptr;
    QSlider* all_ = nullptr;
    QLineEdit* red_value_ = nullptr;
    QLineEdit* green_value_ = nullptr;
    QLineEdit* blue_value_ = nullptr;
    QLineEdit* all_value_ = nullptr;
    QRadioButton* separate_ = nullptr;
    QRadioButton* together_ = nullptr;
};
