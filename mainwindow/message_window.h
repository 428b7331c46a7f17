// Message window (dialog 143, "提示信息"): a modeless window that shows one text, used for the
// duplicate-address warning so that discovery goes on while it is open. UI thread only.
#pragma once

#include <QDialog>

class QLabel;

class MessageWindow : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 143;
    static constexpr int kTextField = 1000;

    explicit MessageWindow(QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const;

  private:
    QLabel* text_ = nullptr;
};
