// The edits every special-screen layout dialog shares: module width ("模组宽:"), module height
// ("模组高:") and one count (HUB ports, or module rows per port), digits only. An empty module edit reads
// as 0; an empty count as nothing. UI thread only.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>

#include "screenconfig/special_layout.h"

class QDialog;
class QGridLayout;
class QHBoxLayout;
class QLineEdit;
class QWidget;

namespace specialscreens {

class ModuleFields {
  public:
    static constexpr int kModuleWidth = 1001;
    static constexpr int kModuleHeight = 1002;
    static constexpr int kCount = 1003;
    static constexpr int kModuleWidthLabel = 2001;
    static constexpr int kModuleHeightLabel = 2002;
    static constexpr int kPreview = 1010;
    static constexpr int kSend = 1011;
    static constexpr int kClose = 2;

    // Adds the two module rows to `grid` (rows 0 and 1) and makes the count edit, for the caller to place.
    ModuleFields(QWidget* dialog, QGridLayout* grid);

    std::uint32_t module_width() const;
    std::uint32_t module_height() const;
    std::optional<std::uint32_t> count() const;
    QLineEdit* count_edit() const { return count_; }

    // Puts the focus where a refusal asks for it.
    void focus(screenconfig::LayoutField field) const;

  private:
    QLineEdit* width_ = nullptr;
    QLineEdit* height_ = nullptr;
    QLineEdit* count_ = nullptr;
};

// The row of buttons the strip and vertical dialogs end with: "接线图预览" calls `preview`, "发送设置"
// calls `send`, "退出" rejects the dialog.
QHBoxLayout* layout_buttons(QDialog* dialog, std::function<void()> preview, std::function<void()> send);

}  // namespace specialscreens
