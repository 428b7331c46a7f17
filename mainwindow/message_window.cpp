#include "mainwindow/message_window.h"

#include <QDialogButtonBox>
#include <QScreen>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/localise_dialog.h"

MessageWindow::MessageWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("提示信息"));
    auto* layout = new QVBoxLayout(this);
    text_ = numbered(new QLabel(this), kTextField);
    text_->setTextFormat(Qt::PlainText);  // card ids from the network: never markup
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text_->setWordWrap(true);
    layout->addWidget(text_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    numbered(buttons->button(QDialogButtonBox::Ok), 1);  // IDOK
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setModal(false);
    localise_dialog(this, kDialogNumber);
}

void MessageWindow::setText(const QString& text) {
    text_->setText(text);
    adjustSize();
}

QString MessageWindow::text() const {
    return text_->text();
}

std::optional<QPoint> place_beside(const QRect& frame, const QSize& size, const QRect& screen, int margin) {
    const QSize outer = size + QSize(margin, margin);
    const QPoint candidates[] = {
        {frame.right() + 1, frame.top()},
        {frame.left() - outer.width(), frame.top()},
        {frame.left(), frame.bottom() + 1},
        {frame.left(), frame.top() - outer.height()},
    };
    for (const QPoint& at : candidates)
        if (screen.contains(QRect(at, outer))) return at;
    return std::nullopt;
}

void MessageWindow::showBeside(QWidget* owner, const QRect& spare) {
    // Room for a title bar and borders the window manager adds around the window.
    constexpr int kFrameAllowance = 40;
    setMinimumWidth(0);
    setMaximumWidth(QWIDGETSIZE_MAX);
    adjustSize();
    const QRect screen = owner->screen() != nullptr ? owner->screen()->availableGeometry() : QRect();
    if (const auto at = place_beside(owner->frameGeometry(), size(), screen, kFrameAllowance)) {
        move(*at);
    } else {
        const QRect area(owner->mapToGlobal(spare.topLeft()), spare.size());
        const int width = std::max(1, std::min(size().width(), area.width() - kFrameAllowance / 2));
        setFixedWidth(width);
        const int wanted = hasHeightForWidth() ? heightForWidth(width) : sizeHint().height();
        const int height = std::max(wanted, minimumSizeHint().height());
        resize(width, height);
        move(area.left(), std::max(area.top(), area.bottom() + 1 - height - kFrameAllowance));
    }
    show();
    raise();
}
