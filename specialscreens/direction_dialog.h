// The screen direction dialog (152, "其他屏体设置"): the combo "屏体方向" with the nine directions, and
// "发送设置", which builds the turned or mirrored image and sends it; the dialog stays open. UI thread.
#pragma once

#include "screenconfig/screen_config.h"
#include "screenconfig/special_layout.h"
#include "specialscreens/dialog_context.h"
#include "specialscreens/layout_dialog.h"

class QComboBox;

namespace specialscreens {

class DirectionDialog : public LayoutDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 152;
    static constexpr int kDirection = 1001;
    static constexpr int kDirectionLabel = 2001;
    static constexpr int kSend = 1011;
    static constexpr int kClose = 2;

    DirectionDialog(DialogContext context, QWidget* parent = nullptr);

    // The selected direction (an index outside the list when nothing is selected).
    screenconfig::Direction direction() const;
    void send();

  private:
    QComboBox* direction_ = nullptr;
    screenconfig::ScreenConfig image_;
};

}  // namespace specialscreens
