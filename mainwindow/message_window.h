// Message window (dialog 143, "提示信息"): a modeless window that shows one text, used for the
// duplicate-address warning so that discovery goes on while it is open. UI thread only.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

class QLabel;

// Where a window of `size` goes beside the main window's `frame` on a screen whose free area is
// `screen`: to its right, else to its left, else below it, else above it, top or left edges aligned;
// nothing when it fits on no side. `margin` leaves room for the window manager's frame.
std::optional<QPoint> place_beside(const QRect& frame, const QSize& size, const QRect& screen, int margin);

class MessageWindow : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 143;
    static constexpr int kTextField = 1000;

    explicit MessageWindow(QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const;
    // Shows the window where it covers nothing of `owner`'s controls but `spare` (a rectangle of the
    // owner, in its coordinates): beside the owner when the screen has room, else over the lower part
    // of `spare`, no wider than it (the text wraps).
    void showBeside(QWidget* owner, const QRect& spare);

  private:
    QLabel* text_ = nullptr;
};
