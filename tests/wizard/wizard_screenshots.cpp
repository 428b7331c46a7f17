// Takes the pictures of the wizard's steps for docs/: opens the wizard on a card at 127.0.0.2 (a
// simulated card with a virtual module, started by scripts/wizard-screenshots.sh), fills each step as
// a technician would and saves each panel as "<prefix>-step<N>.png".
//   wizard_screenshots LANGUAGE_FILE CARD_ID OUTPUT_PREFIX
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/localisation.h"
#include "widgets/localise_dialog.h"
#include "wizard/pages.h"
#include "wizard/smart_setup_wizard.h"

namespace {

template <typename W>
W* control(QWidget* parent, int id) {
    for (W* w : parent->findChildren<W*>())
        if (w->property(kControlIdProperty).toInt() == id) return w;
    return nullptr;
}

void settle(cardlink::ExchangeService& service) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    } while (service.busy() && std::chrono::steady_clock::now() < deadline);
}

void choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: wizard_screenshots LANGUAGE_FILE CARD_ID OUTPUT_PREFIX\n");
        return 2;
    }
    localisation::set_current_file(argv[1]);
    const QString prefix = QString::fromLocal8Bit(argv[3]);
    cardlink::ExchangeService service;
    screenconfig::WorkingSet working;
    wizard::SmartSetupWizard wizard(service, cardlink::CardTarget{argv[2], "127.0.0.2"}, working);
    wizard.resize(640, 560);
    wizard.show();
    auto save = [&](int step) {
        settle(service);
        wizard.grab().save(prefix + QStringLiteral("-step%1.png").arg(step));
    };
    using wizard::ModuleInfoPage;
    auto* info = wizard.moduleInfoPage();
    control<QLineEdit>(info, ModuleInfoPage::kWidth)->setText(QStringLiteral("32"));
    control<QLineEdit>(info, ModuleInfoPage::kHeight)->setText(QStringLiteral("16"));
    control<QComboBox>(info, ModuleInfoPage::kCableGroups)->setCurrentIndex(0);
    control<QComboBox>(info, ModuleInfoPage::kRgbGroups)->setCurrentIndex(1);
    const auto& rows = wizard::hub_boards();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].name == "LINSN_90")
            choose(control<QComboBox>(info, ModuleInfoPage::kHubList), static_cast<int>(i));
    choose(control<QComboBox>(info, ModuleInfoPage::kDecoderList), 0);
    save(1);
    wizard.next();
    choose(wizard.alternatingPage(2)->list(0), 1);
    save(2);
    wizard.next();
    choose(wizard.alternatingPage(3)->list(0), 1);
    save(3);
    wizard.next();
    auto* colour = wizard.alternatingPage(4);
    choose(colour->list(0), 2);
    choose(colour->list(1), 1);
    choose(colour->list(2), 3);
    save(4);
    wizard.next();
    choose(wizard.scanLinesPage()->rowsLit(), 3);
    choose(wizard.scanLinesPage()->rowsBetween(), 2);
    save(5);
    return 0;
}
