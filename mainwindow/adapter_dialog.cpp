#include "mainwindow/adapter_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/localisation.h"
#include "platform/message_service.h"
#include "widgets/localise_dialog.h"

AdapterDialog::AdapterDialog(std::vector<cardlink::LocalAddress> adapters, int current, QWidget* parent)
    : QDialog(parent), adapters_(std::move(adapters)) {
    setWindowTitle(QStringLiteral("计算机多网卡选择"));
    auto* root = new QVBoxLayout(this);
    auto* title = numbered(new QLabel(QStringLiteral("请选择与LED屏幕连接的网卡对应的IP地址"), this), kTitle);
    title->setTextFormat(Qt::PlainText);
    root->addWidget(title);
    list_ = numbered(new QListWidget(this), kList);
    for (const auto& a : adapters_) list_->addItem(entryText(a));
    if (current >= 0 && current < list_->count()) list_->setCurrentRow(current);
    root->addWidget(list_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = numbered(new QPushButton(QStringLiteral("确定"), this), kOk);
    auto* cancel = numbered(new QPushButton(QStringLiteral("取消"), this), kCancel);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    root->addLayout(buttons);
    localise_dialog(this, kDialogNumber);
    connect(ok, &QPushButton::clicked, this, &AdapterDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString AdapterDialog::entryText(const cardlink::LocalAddress& adapter) {
    return QString::fromStdString(adapter.interface + "  " + adapter.address);
}

QWidget* AdapterDialog::control(int id) const {
    return numbered_control(this, id);
}

void AdapterDialog::accept() {
    if (adapters_.size() >= 2) {
        const auto selected = list_->selectedItems();
        if (selected.isEmpty()) {
            platform::show_message(localisation::lookup("IDS_MESSAGE_PLEASE_SELECT"));
            return;
        }
        chosen_ = list_->row(selected.front());
    } else {
        chosen_ = adapters_.empty() ? -1 : 0;
    }
    QDialog::accept();
}
