// The vertical-screen dialog (148, "竖立屏设置"): module size, the module rows chained on one HUB port,
// the wiring method (three check boxes, at most one ticked; method 3 shows after F3) and "由下到上".
// "接线图预览" draws the wiring ("bbb.gif"); "发送设置" builds the image and sends it. Neither button
// closes the dialog, and neither does Esc. UI thread.
#pragma once

#include <memory>

#include "screenconfig/screen_config.h"
#include "screenconfig/special_layout.h"
#include "specialscreens/dialog_context.h"
#include "specialscreens/layout_dialog.h"
#include "specialscreens/module_fields.h"

class QCheckBox;

namespace specialscreens {

class VerticalDialog : public LayoutDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 148;
    static constexpr int kRowsBefore = 2003;  // "一个HUB接口带"
    static constexpr int kRowsAfter = 2004;   // "行模组"
    static constexpr int kMethod1 = 1004;
    static constexpr int kMethod2 = 1005;
    static constexpr int kMethod3 = 1006;
    static constexpr int kBottomToTop = 1007;
    static constexpr int kPreview = ModuleFields::kPreview;
    static constexpr int kSend = ModuleFields::kSend;
    static constexpr int kClose = ModuleFields::kClose;

    VerticalDialog(DialogContext context, QWidget* parent = nullptr);

    screenconfig::VerticalInput input() const;
    void preview();
    void send();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void refuse(const screenconfig::LayoutRefusal& refusal);

    std::unique_ptr<ModuleFields> fields_;
    QCheckBox* methods_[3] = {};
    QCheckBox* bottom_to_top_ = nullptr;
    screenconfig::ScreenConfig image_;
};

}  // namespace specialscreens
