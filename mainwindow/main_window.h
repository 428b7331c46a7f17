// The main setup window (dialog 102): the program's only top-level window. It renders the card link's
// state and forwards the user's actions; card exchanges live in cardlink/, records in screenconfig/.
// UI thread only.
#pragma once

#include <QDialog>

class MainWindow : public QDialog {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    static constexpr int kDialogNumber = 102;
};
