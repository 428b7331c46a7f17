#include "mainwindow/password_dialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/localise_dialog.h"

PasswordDialog::PasswordDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("请输入口令"));
    auto* root = new QVBoxLayout(this);
    edit_ = numbered(new QLineEdit(this), kPassword);
    edit_->setEchoMode(QLineEdit::Password);
    root->addWidget(edit_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = numbered(new QPushButton(QStringLiteral("确定"), this), kOk);
    auto* cancel = numbered(new QPushButton(QStringLiteral("取消"), this), kCancel);
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    root->addLayout(buttons);
    localise_dialog(this, kDialogNumber);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString PasswordDialog::password() const {
    return edit_->text();
}

QWidget* PasswordDialog::control(int id) const {
    return numbered_control(this, id);
}
