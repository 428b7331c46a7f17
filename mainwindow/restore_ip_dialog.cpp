#include "mainwindow/restore_ip_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "mainwindow/network_settings.h"
#include "mainwindow/status_text.h"
#include "platform/localisation.h"
#include "platform/message_service.h"
#include "widgets/localise_dialog.h"

RestoreIpDialog::RestoreIpDialog(std::function<bool(const std::string&)> restore, QWidget* parent)
    : QDialog(parent), restore_(std::move(restore)) {
    setWindowTitle(QStringLiteral("恢复控制卡设置"));
    auto* root = new QVBoxLayout(this);
    auto* explanation = numbered(
        new QLabel(QStringLiteral("控制卡的出厂IP地址为192.168.0.x，x为控制卡序列号的最后两位数加100。\n"
                                  "本功能用于忘记控制卡IP地址的情况；网络中只能连接一块控制卡。\n"
                                  "本功能只恢复控制卡的网络地址。"),
                   this),
        kExplanation);
    explanation->setWordWrap(true);
    explanation->setTextFormat(Qt::PlainText);
    root->addWidget(explanation);
    auto* grid = new QGridLayout;
    grid->addWidget(numbered(new QLabel(QStringLiteral("请输入确认码(47110815)"), this), kCodeLabel), 0, 0);
    code_ = numbered(new QLineEdit(this), kCode);
    code_->setEchoMode(QLineEdit::Password);
    code_->setMaxLength(network_settings::kRestoreCodeMaxLength);
    grid->addWidget(code_, 0, 1);
    grid->addWidget(numbered(new QLabel(QStringLiteral("控制卡的新IP地址"), this), kAddressLabel), 1, 0);
    address_ = numbered(new QLineEdit(this), kAddress);
    address_->setMaxLength(15);
    address_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral(R"(^(\d{1,3}(\.\d{0,3}){0,3})?$)")), address_));
    address_->setPlaceholderText(QStringLiteral("192.168.0.100"));
    grid->addWidget(address_, 1, 1);
    root->addLayout(grid);
    restore_button_ = numbered(new QPushButton(QStringLiteral("恢复"), this), kRestore);
    restore_button_->setDefault(true);
    root->addWidget(restore_button_, 0, Qt::AlignRight);
    result_ = new QLabel(this);
    result_->setWordWrap(true);
    result_->setTextFormat(Qt::PlainText);
    root->addWidget(result_);
    localise_dialog(this, kDialogNumber);

    address_->setEnabled(false);
    restore_button_->setEnabled(false);
    connect(code_, &QLineEdit::textChanged, this, &RestoreIpDialog::onCodeEdited);
    connect(restore_button_, &QPushButton::clicked, this, &RestoreIpDialog::onRestore);
}

QWidget* RestoreIpDialog::control(int id) const {
    return numbered_control(this, id);
}

QString RestoreIpDialog::resultText() const {
    return result_->text();
}

void RestoreIpDialog::onCodeEdited(const QString& text) {
    const bool open = text.toStdString() == network_settings::kRestoreCode;
    address_->setEnabled(open);
    restore_button_->setEnabled(open);
}

void RestoreIpDialog::onRestore() {
    const std::string address = address_->text().toStdString();
    if (network_settings::restore_address_refused(address)) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_IP_IS_ERROR"));
        return;
    }
    // A text that is no address would be broadcast to every card as their new address.
    if (!network_settings::valid_address(address)) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_ADDRESS_MALFORMED"));
        return;
    }
    if (!restore_(address)) return;
    result_->setText(QString::fromStdString(
        status_text::fill(localisation::lookup("IDS_MESSAGE_RESTORE_IP_SENT"), {address})));
    // Every card that heard it has the new address now: a second press needs the code again.
    code_->clear();
}
