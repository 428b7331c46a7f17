#include "mainwindow/main_window.h"

#include "app/localise_dialog.h"
#include "app/startup.h"

MainWindow::MainWindow(QWidget* parent) : QDialog(parent) {
    localise_dialog(this, kDialogNumber);
    setWindowTitle(startup::main_window_title());
}

MainWindow::~MainWindow() = default;
