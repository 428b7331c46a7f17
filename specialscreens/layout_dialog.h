// What the special-screen layout dialogs (147, 148, 152) share around "发送设置": it is the default
// button (Enter presses it); while the dialog's image is on its way to the card it is disabled, so a
// second send cannot start, and closing the dialog asks first (default No). The send runs on the main
// window's transfer worker with its progress window; on Yes it goes on there, and the main window's
// status line and message say how it ended. UI thread only.
#pragma once

#include <QDialog>

#include "screenconfig/screen_config.h"
#include "specialscreens/dialog_context.h"

class QPushButton;

namespace specialscreens {

class LayoutDialog : public QDialog {
    Q_OBJECT
  public:
    // Whether this dialog's image is on its way to the card.
    bool sending() const { return sending_; }

  public slots:
    void reject() override;

  protected:
    LayoutDialog(DialogContext context, QWidget* parent);

    // The dialog's "发送设置" (the button numbered `id`), made the default button.
    void setSendButton(int id);
    // Finishes `image`, writes it to "temp.sys" and starts the transfer.
    void sendImage(screenconfig::ScreenConfig& image);

    DialogContext context_;

  private:
    void setSending(bool sending);

    QPushButton* send_button_ = nullptr;
    bool sending_ = false;
};

}  // namespace specialscreens
