// "恢复控制卡设置" (dialog 151): restores a card's forgotten address by broadcast. The address field and
// "恢复" are enabled only while the code edit holds exactly the confirmation code; "恢复" refuses an
// address that ends in "255", ".1" or ".0" (IDS_MESSAGE_IP_IS_ERROR) or is no address at all, and
// otherwise hands the address to `restore`, which the window sends through the card link's endpoint
// (false: it was not sent, the user said no). Once sent, the dialog says what went out and closes the
// code again, so a second restore needs the code once more. Enter presses "恢复". The dialog never
// touches a socket. UI thread only.
#pragma once

#include <QDialog>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class RestoreIpDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 151;
    enum Control : int {
        kCode = 1122,
        kAddress = 1123,
        kRestore = 1124,
        kCodeLabel = 2001,  // "请输入确认码(47110815)"
        kAddressLabel = 2002,
        kExplanation = 2003,
    };

    RestoreIpDialog(std::function<bool(const std::string&)> restore, QWidget* parent = nullptr);

    QWidget* control(int id) const;
    // What was sent, once something was (empty before).
    QString resultText() const;

  private:
    void onCodeEdited(const QString& text);
    void onRestore();

    std::function<bool(const std::string&)> restore_;
    QLabel* result_ = nullptr;
    QLineEdit* code_ = nullptr;
    QLineEdit* address_ = nullptr;
    QPushButton* restore_button_ = nullptr;
};
