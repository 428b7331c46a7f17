#include "mainwindow/hcp_dialogs.h"

#include <QFileDialog>
#include <QPointer>

namespace {

std::optional<std::filesystem::path> run(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    return std::filesystem::path(files.front().toStdString());
}

void common_setup(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(QString::fromUtf8(kHcpFilter));
}

}  // namespace

screenconfig::OpenChooser open_hcp_chooser(QWidget* parent) {
    return [parent = QPointer<QWidget>(parent)]() -> std::optional<std::filesystem::path> {
        QFileDialog dialog(parent);
        common_setup(dialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        return run(dialog);
    };
}

screenconfig::SaveChooser save_hcp_chooser(QWidget* parent) {
    return [parent =
                QPointer<QWidget>(parent)](const std::string& title) -> std::optional<std::filesystem::path> {
        QFileDialog dialog(parent, QString::fromStdString(title));
        common_setup(dialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QStringLiteral("hcp"));
        return run(dialog);
    };
}
