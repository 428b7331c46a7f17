#include "widgets/message_box_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace platform {
namespace {

MessageReply show_box(const std::string& text, const std::string& caption, MessageIcon icon,
                      MessageButtons buttons) {
    QMessageBox box;
    // Texts come from language files and from the cards themselves: shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setWindowTitle(caption.empty() ? QApplication::applicationDisplayName()
                                       : QString::fromStdString(caption));
    switch (icon) {
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MessageIcon::None:
            break;
    }
    switch (buttons) {
        case MessageButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MessageButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MessageButtons::YesNoDefaultNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::No);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Ok:
            return MessageReply::Ok;
        case QMessageBox::Yes:
            return MessageReply::Yes;
        case QMessageBox::No:
            return MessageReply::No;
        case QMessageBox::Cancel:
            return MessageReply::Cancel;
        default:  // closed without a button: the negative answer where there is one
            return buttons == MessageButtons::OkCancel ? MessageReply::Cancel
                   : buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoDefaultNo
                       ? MessageReply::No
                       : MessageReply::Ok;
    }
}

}  // namespace

MessageReply QtMessageService::show(const std::string& text, const std::string& caption, MessageIcon icon,
                                    MessageButtons buttons) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread())
        return show_box(text, caption, icon, buttons);
    MessageReply reply = MessageReply::Ok;
    QMetaObject::invokeMethod(
        app, [&] { reply = show_box(text, caption, icon, buttons); }, Qt::BlockingQueuedConnection);
    return reply;
}

}  // namespace platform
