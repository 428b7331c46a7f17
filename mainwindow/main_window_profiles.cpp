// The main window's part of the module library: the "模组库" button and the profile offered after the
// wizard's Finish.
#include <QPointer>

#include "mainwindow/main_window.h"
#include "mainwindow/module_library_dialog.h"
#include "mainwindow/save_profile_dialog.h"
#include "wizard/kelvra_pictures.h"

void MainWindow::onModuleLibrary() {
    ModuleLibraryDialog::Cards cards;
    cards.selected = [this] { return commandTarget(); };
    cards.listed = [this] {
        std::vector<cardlink::CardTarget> listed;
        for (const std::string& id : link_.table().list())
            if (const auto address = link_.table().address_of(id)) listed.push_back({id, *address});
        return listed;
    };
    ModuleLibraryDialog dialog(profiles::ProfileLibrary(), exchanges_, std::move(cards), working_, this);
    connect(&dialog, &ModuleLibraryDialog::applied, this,
            [this](const QString& line) { setStatusLine(line.toStdString()); });
    dialog.exec();
}

void MainWindow::offerProfile() {
    // Offered, not asked: the dialog waits beside the window, and closing it saves nothing.
    const auto& config = working_.config;
    auto* dialog = new SaveProfileDialog(profiles::ProfileLibrary(), working_.params,
                                         config.get(screenconfig::ConfigField::moduleWidthLimited),
                                         config.get(screenconfig::ConfigField::moduleHeightLimited),
                                         wizard::traced_picture_path(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    dialog->show();
}
