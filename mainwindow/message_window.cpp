#include "mainwindow/message_window.h"

#include <QDialogButtonBox>
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
