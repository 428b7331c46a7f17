#include "app/startup.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>
#include <fstream>

#include "app/single_instance.h"
#include "mainwindow/main_window.h"
#include "specialscreens/special_screens.h"
#include "widgets/message_box_qt.h"
#include "platform/paths.h"

namespace startup {
namespace {

QString resource_path(int number) {
    switch (number) {
        case kEnglishLanguage:
            return QStringLiteral(":/owner_data/lang/English_zavo.ini");
        case kSimplifiedLanguage:
            return QStringLiteral(":/owner_data/lang/Chinese_zavo_s.ini");
        case kTraditionalLanguage:
            return QStringLiteral(":/owner_data/lang/Chinese_zavo_t.ini");
        case kSettings:
            return QStringLiteral(":/owner_data/app/setting.ini");
        default:
            return {};
    }
}

}  // namespace

bool extract_resource(int number, const std::filesystem::path& file) {
    QString path = resource_path(number);
    if (path.isEmpty()) return false;
    QFile resource(path);
    if (!resource.open(QIODevice::ReadOnly)) return false;
    QByteArray bytes = resource.readAll();
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (out) out.write(bytes.constData(), bytes.size());
    return true;
}

void write_default_language_files(const std::filesystem::path& language_folder) {
    extract_resource(kEnglishLanguage, language_folder / "Multi_eng_zavo.ini");
    extract_resource(kSimplifiedLanguage, language_folder / "Multi_ch_zavo_s.ini");
    // Given the ".ini" extension so that the language search can find it.
    extract_resource(kTraditionalLanguage, language_folder / "Multi_ch_zavo_t.ini");
}

std::filesystem::path settings_file(const std::filesystem::path& program_folder) {
    return program_folder / "setting.ini";
}

localisation::Choice prepare(const std::filesystem::path& program_folder,
                             const std::filesystem::path& shared_folder) {
    std::filesystem::path settings = settings_file(program_folder);
    if (!std::filesystem::exists(settings)) extract_resource(kSettings, settings);
    return localisation::choose_language(program_folder, settings, {}, write_default_language_files,
                                         shared_folder);
}

bool install_qt_translation() {
    static QPointer<QTranslator> installed;
    auto* app = QCoreApplication::instance();
    if (app == nullptr) return false;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed.data();
    }
    const QLocale locale(QString::fromStdString(localisation::locale_name()));
    QLocale::setDefault(locale);
    auto* translator = new QTranslator(app);
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

int run(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Vantor"));
    platform::QtMessageService message_service;
    platform::install_message_service(&message_service);

    prepare(paths::settings_folder(), paths::shared_data_folder());
    install_qt_translation();

    SingleInstance instance;
    if (!instance.check(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName())) {
        platform::install_message_service(nullptr);
        return 0;
    }

    int result;
    {
        MainWindow window;
        new specialscreens::SpecialScreens(window);  // the window's child: shows "特殊屏体设置"
        window.start();
        QObject::connect(&instance, &SingleInstance::raiseRequested, &window,
                         [&window] { bring_to_front(&window); });
        result = window.exec();
    }
    platform::install_message_service(nullptr);
    (void)result;  // the dialog's own result is not the program's: the program simply ends
    return 0;
}

}  // namespace startup
