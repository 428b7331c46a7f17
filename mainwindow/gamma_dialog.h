// "其他硬件参数" (dialog 154): the card's three gamma values, set per channel ("单独") or all together
// ("全部") with sliders whose position p stands for p * 0.1. One gamma command goes to the card per
// settled value: when a dragged slider is released, or once keys or the wheel have stopped moving it
// (kSettle). It goes through the exchange service; a value that settles while another exchange runs is
// sent when that one has ended. The edits show the card's own values, and a channel whose slider was not
// moved keeps the card's value in the commands (a slider holds only 0.0..4.0 in steps of 0.1). Each
// command is announced with commandSent() and its end with commandEnded(), so the window that opened the
// dialog can say in its status line what happened. "保存参数" closes the dialog. UI thread only.
#pragma once

#include <QDialog>
#include <QTimer>

#include <chrono>
#include <functional>

#include "cardlink/card_exchange.h"
#include "mainwindow/display_params.h"

class QLineEdit;
class QRadioButton;
class QSlider;

namespace cardlink {
class ExchangeService;
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

    // Keys and the wheel move a slider step by step: the value has settled once they pause this long.
    static constexpr std::chrono::milliseconds kSettle{400};

    // Opens with the card's gamma values (information block offsets 576, 580, 584). `exchanges` must
    // outlive the dialog; `target` says where a command goes at the moment it is sent.
    GammaDialog(cardlink::ExchangeService& exchanges, std::function<cardlink::CardTarget()> target, float red,
                float green, float blue, QWidget* parent = nullptr);

    // The control with dialog control number `id` (for tests).
    QWidget* control(int id) const;
    bool togetherMode() const;

  signals:
    // `what` names the command and its values in the chosen language ("Gamma: 2.2 / 2.2 / 2.2").
    void commandSent(const QString& what, const cardlink::CardTarget& target);
    void commandEnded(const QString& what, const cardlink::CardTarget& target,
                      const cardlink::ExchangeResult& result, const display_params::DisplayCommand& command);

  private:
    void setTogether(bool together);
    void onChannelMoved(QSlider* slider, QLineEdit* value);
    void onAllMoved(int position);
    // A value has settled: send it now, or once the exchange under way has ended.
    void settled();
    void sendPending();

    cardlink::ExchangeService& exchanges_;
    std::function<cardlink::CardTarget()> target_;
    QTimer settle_;
    bool pending_ = false;
    float red_gamma_, green_gamma_, blue_gamma_, all_gamma_;  // what the commands carry
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
