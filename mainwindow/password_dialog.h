// "请输入口令" (dialog 156): one password-style edit with "确定" and "取消". The dialog only collects
// the text; the main window compares it with the password. UI thread only.
#pragma once

#include <QDialog>

class QLineEdit;

class PasswordDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 156;
    enum Control : int { kOk = 1, kCancel = 2, kPassword = 1125 };

    explicit PasswordDialog(QWidget* parent = nullptr);
    QString password() const;
    QWidget* control(int id) const;

  private:
    QLineEdit* edit_ = nullptr;
};
