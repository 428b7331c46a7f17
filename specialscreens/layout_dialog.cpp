#include "specialscreens/layout_dialog.h"

#include <QPointer>
#include <QPushButton>

#include "platform/localisation.h"
#include "platform/message_service.h"
#include "widgets/localise_dialog.h"

namespace specialscreens {

LayoutDialog::LayoutDialog(DialogContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {}

void LayoutDialog::setSendButton(int id) {
    for (QPushButton* button : findChildren<QPushButton*>())
        if (button->property(kControlIdProperty).toInt() == id) send_button_ = button;
    if (send_button_ != nullptr) send_button_->setDefault(true);
}

void LayoutDialog::sendImage(screenconfig::ScreenConfig& image) {
    if (sending_) return;
    // The dialog may be gone when the transfer ends (closed on the user's word).
    const QPointer<LayoutDialog> self(this);
    const auto start = [this, self](const std::filesystem::path& file) {
        return context_.start_transfer(file, [self](screenconfig::TransferOutcome) {
            if (self) self->setSending(false);
        });
    };
    if (send_built_image(image, context_.temp_sys, start) == SendOutcome::Started && self) setSending(true);
}

void LayoutDialog::setSending(bool sending) {
    sending_ = sending;
    if (send_button_ != nullptr) send_button_->setEnabled(!sending);
}

void LayoutDialog::reject() {
    if (sending_ &&
        platform::show_message(localisation::lookup("IDS_MESSAGE_SPECIAL_SEND_RUNNING_CLOSE"), {},
                               platform::MessageIcon::Question,
                               platform::MessageButtons::YesNoDefaultNo) != platform::MessageReply::Yes)
        return;
    QDialog::reject();
}

}  // namespace specialscreens
