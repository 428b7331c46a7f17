#include "specialscreens/direction_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/localisation.h"
#include "widgets/localise_dialog.h"
#include "specialscreens/layout_note.h"

namespace specialscreens {

using namespace screenconfig;

DirectionDialog::DirectionDialog(DialogContext context, QWidget* parent)
    : LayoutDialog(std::move(context), parent) {
    auto* root = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(numbered(new QLabel(QStringLiteral("屏体方向"), this), kDirectionLabel));
    direction_ = numbered(new QComboBox(this), kDirection);
    for (int i = 0; i < kDirectionCount; ++i)
        direction_->addItem(
            QString::fromStdString(localisation::lookup(direction_key(static_cast<Direction>(i)))));
    direction_->setCurrentIndex(0);
    row->addWidget(direction_, 1);
    root->addLayout(row);

    auto* buttons = new QHBoxLayout;
    auto* send_button = numbered(new QPushButton(QStringLiteral("发送设置"), this), kSend);
    auto* close_button = numbered(new QPushButton(QStringLiteral("退出"), this), kClose);
    for (QPushButton* b : {send_button, close_button}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    root->addLayout(buttons);
    connect(send_button, &QPushButton::clicked, this, &DirectionDialog::send);
    connect(close_button, &QPushButton::clicked, this, &QDialog::reject);
    localise_dialog(this, kDialogNumber);
    setSendButton(kSend);
    // The dialog's own image starts as the identity table.
    build_blank(image_);
}

Direction DirectionDialog::direction() const {
    return static_cast<Direction>(direction_->currentIndex());
}

void DirectionDialog::send() {
    if (const auto refusal = build_direction(context_.width, context_.height, direction(), image_)) {
        show_refusal(*refusal);
        return;
    }
    if (context_.note_layout)
        context_.note_layout(layout_note(direction_->currentText().toStdString() + "  " +
                                             std::to_string(context_.width) + " x " +
                                             std::to_string(context_.height),
                                         nullptr, {}));
    sendImage(image_);
}

}  // namespace specialscreens
