#include "tests/support/qt/file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

namespace support {

void choose_file_when_asked(const std::filesystem::path& file, QObject* owner) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, [timer, file] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (dialog == nullptr || !dialog->isVisible()) continue;
            dialog->selectFile(QString::fromStdString(file.string()));
            static_cast<QDialog*>(dialog)->accept();
            timer->stop();
            timer->deleteLater();
            return;
        }
    });
    timer->start(10);
}

}  // namespace support
