// The long-strip dialog (147, "超长条屏设置"): module size and the number of HUB ports that together
// carry one row of modules. "接线图预览" draws the wiring ("bbb.jpg"); "发送设置" builds the image and
// sends it. Neither closes the dialog. The layout itself is screenconfig/special_layout.h. UI thread.
#pragma once

#include <memory>

#include "screenconfig/screen_config.h"
#include "screenconfig/special_layout.h"
#include "specialscreens/dialog_context.h"
#include "specialscreens/layout_dialog.h"
#include "specialscreens/module_fields.h"

namespace specialscreens {

class LongStripDialog : public LayoutDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 147;
    static constexpr int kPortsLabel = 2003;
    static constexpr int kPreview = ModuleFields::kPreview;
    static constexpr int kSend = ModuleFields::kSend;
    static constexpr int kClose = ModuleFields::kClose;

    LongStripDialog(DialogContext context, QWidget* parent = nullptr);

    screenconfig::LongStripInput input() const;
    void preview();
    void send();

  private:
    std::unique_ptr<ModuleFields> fields_;
    screenconfig::ScreenConfig image_;  // this dialog's own image, built on each send
};

}  // namespace specialscreens
