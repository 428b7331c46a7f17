// The special screen type dialog (146, "特殊屏体类型选择"): "超长条屏", "竖立屏" or "其他", then
// "下一步" (accepts) or "退出". UI thread.
#pragma once

#include <QDialog>

class QButtonGroup;

namespace specialscreens {

enum class ScreenType : int { LongStrip = 0, Vertical = 1, Other = 2 };

class TypeDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 146;
    static constexpr int kLongStrip = 1001;
    static constexpr int kVertical = 1002;
    static constexpr int kOther = 1003;
    static constexpr int kNext = 1;
    static constexpr int kExit = 2;

    explicit TypeDialog(QWidget* parent = nullptr);
    ScreenType choice() const;

  private:
    QButtonGroup* types_ = nullptr;
};

}  // namespace specialscreens
