// Takes the pictures of the wizard's steps for docs/: opens the wizard on a card at 127.0.0.2 (a
// simulated card with a virtual module, started by scripts/wizard-screenshots.sh), fills each step as
// a technician would and saves each panel as "<prefix>-step<N>.png" (step 6 twice: its list and, as
// "-step6-grid", a few traced points), then finishes, saves the record as "<prefix>-finished.hcp" and
// shows that file's fields as "<prefix>-finished-hcp.png".
//   wizard_screenshots LANGUAGE_FILE CARD_ID OUTPUT_PREFIX
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "platform/localisation.h"
#include "platform/message_service.h"
#include "screenconfig/record_files.h"
#include "widgets/grid_control.h"
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

void click(widgets::GridControl* grid, int row, int column, cardlink::ExchangeService& service) {
    emit grid->cellClicked(row, column);
    settle(service);
}

// The messages of the walk answered as the technician would: every question with Yes.
class Answers final : public platform::MessageService {
  public:
    Answers() : previous_(platform::install_message_service(this)) {}
    ~Answers() override { platform::install_message_service(previous_); }
    platform::MessageReply show(const std::string& text, const std::string&, platform::MessageIcon,
                                platform::MessageButtons) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return platform::MessageReply::Yes;
    }

  private:
    platform::MessageService* previous_;
};

// The fields of a ".hcp" file as a table: offset, field, value.
QPixmap hcp_picture(const std::filesystem::path& file) {
    const auto loaded = screenconfig::load_hcp(file);
    static constexpr std::pair<int, const char*> kFields[] = {
        {0, "magic"},         {8, "hubType"},      {12, "decodeType"},  {16, "dataPolarity"},
        {20, "oePolarity"},   {24, "colourOrder"}, {28, "lineGroup"},   {32, "scan code"},
        {36, "lineInterval"}, {40, "decodeOrder"}, {44, "decodeWordA"}, {48, "decodeWordB"},
        {52, "pointFlags"},   {60, "end marker"},  {68, "word sum"},
    };
    auto* table = new QTableWidget(static_cast<int>(std::size(kFields)), 3);
    table->setWindowTitle(QString::fromStdString(file.filename().string()));
    table->setHorizontalHeaderLabels(
        {QStringLiteral("offset"), QStringLiteral("field"), QStringLiteral("value")});
    table->verticalHeader()->hide();
    int row = 0;
    for (const auto& [offset, name] : kFields) {
        const auto value = loaded.record.get(static_cast<screenconfig::ParamsField>(offset));
        table->setItem(row, 0, new QTableWidgetItem(QString::number(offset)));
        table->setItem(row, 1, new QTableWidgetItem(QString::fromLatin1(name)));
        table->setItem(row, 2,
                       new QTableWidgetItem(QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'))));
        ++row;
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    table->resize(360, table->verticalHeader()->length() + table->horizontalHeader()->height() + 4);
    table->show();
    QCoreApplication::processEvents();
    QPixmap picture = table->grab();
    delete table;
    return picture;
}

}  // namespace

// The steps that depend on the module's size, for one module: steps 1 to 5 answered without looking
// (any card takes the answers), then "<prefix>-step5.png", "<prefix>-step6-grid.png" (a few points
// traced) and "<prefix>-step7.png" (the column walk done, the row walk all but its last point).
int module_shots(int argc, char** argv) {
    if (argc != 10) {
        std::fprintf(stderr,
                     "usage: wizard_screenshots --module LANGUAGE_FILE CARD_ID OUTPUT_PREFIX WIDTH HEIGHT "
                     "CABLES_INDEX RGB_INDEX ROWS_LIT_INDEX\n");
        return 2;
    }
    localisation::set_current_file(argv[2]);
    const QString prefix = QString::fromLocal8Bit(argv[4]);
    cardlink::ExchangeService service;
    screenconfig::WorkingSet working;
    wizard::SmartSetupWizard wizard(service, cardlink::CardTarget{argv[3], "127.0.0.2"}, working);
    wizard.setPointPause(std::chrono::milliseconds(1));
    wizard.show();
    Answers answers;
    using wizard::ModuleInfoPage;
    auto* info = wizard.moduleInfoPage();
    control<QLineEdit>(info, ModuleInfoPage::kWidth)->setText(QString::fromLocal8Bit(argv[5]));
    control<QLineEdit>(info, ModuleInfoPage::kHeight)->setText(QString::fromLocal8Bit(argv[6]));
    control<QComboBox>(info, ModuleInfoPage::kCableGroups)->setCurrentIndex(std::atoi(argv[7]));
    control<QComboBox>(info, ModuleInfoPage::kRgbGroups)->setCurrentIndex(std::atoi(argv[8]));
    const auto& rows = wizard::hub_boards();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].name == "LINSN_90")
            choose(control<QComboBox>(info, ModuleInfoPage::kHubList), static_cast<int>(i));
    choose(control<QComboBox>(info, ModuleInfoPage::kDecoderList), 0);
    settle(service);
    wizard.next();
    for (int step = 2; step <= 4; ++step) {
        auto* page = wizard.alternatingPage(step);
        for (int list = 0; list < (step == 4 ? 3 : 1); ++list) choose(page->list(list), list + 1);
        settle(service);
        wizard.next();
    }
    settle(service);
    choose(wizard.scanLinesPage()->rowsLit(), std::atoi(argv[9]));
    choose(wizard.scanLinesPage()->rowsBetween(), 2);
    settle(service);
    wizard.grab().save(prefix + QStringLiteral("-step5.png"));
    wizard.next();
    settle(service);
    if (wizard.currentStep() != 6) {
        std::fprintf(stderr, "step 5 was not accepted\n");
        return 1;
    }
    auto* trace = wizard.pointTracePage();
    trace->radio(wizard::PointTrace::Mode::Grid)->click();
    settle(service);
    for (int c = 1; c < std::min(7, trace->grid()->columnCount()); ++c) click(trace->grid(), 1, c, service);
    settle(service);
    wizard.grab().save(prefix + QStringLiteral("-step6-grid.png"));
    trace->radio(wizard::PointTrace::Mode::List)->click();
    settle(service);
    wizard.next();
    settle(service);
    auto* check = wizard.lineCheckPage();
    const int used = check->columnGrid()->columnCount() - 1;
    for (int n = 1; n <= used; ++n) click(check->columnGrid(), 1, used + 1 - n, service);
    for (int r = 1; r < check->rowGrid()->rowCount() - 1; ++r) click(check->rowGrid(), r, 1, service);
    settle(service);
    wizard.grab().save(prefix + QStringLiteral("-step7.png"));
    return 0;
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc > 1 && std::string_view(argv[1]) == "--module") return module_shots(argc, argv);
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

    Answers answers;
    wizard.next();
    settle(service);
    // The demo module's rows follow the fourth standard entry: the one that shows a clean cross.
    auto* trace = wizard.pointTracePage();
    choose(trace->list(), 3);
    save(6);
    // The grid: the first points of the module's top rows traced.
    trace->radio(wizard::PointTrace::Mode::Grid)->click();
    settle(service);
    for (int c = 1; c <= 6; ++c) click(trace->grid(), 1, c, service);
    settle(service);
    wizard.grab().save(prefix + QStringLiteral("-step6-grid.png"));
    trace->resetButton()->click();
    trace->radio(wizard::PointTrace::Mode::List)->click();
    choose(trace->list(), 3);
    settle(service);
    wizard.next();
    settle(service);

    auto* check = wizard.lineCheckPage();
    // Its columns swap in pairs: column point n shows in grid column 16 - ((n - 1) XOR 1).
    for (int n = 1; n <= 16; ++n) click(check->columnGrid(), 1, 16 - ((n - 1) ^ 1), service);
    for (int r = 1; r < check->rowGrid()->rowCount() - 1; ++r) click(check->rowGrid(), r, 1, service);
    save(7);
    click(check->rowGrid(), check->rowGrid()->rowCount() - 1, 1, service);  // the test line: Yes
    if (wizard.result() != QDialog::Accepted) {
        std::fprintf(stderr, "the wizard did not finish\n");
        return 1;
    }
    const std::filesystem::path hcp = (prefix + QStringLiteral("-finished.hcp")).toStdString();
    if (screenconfig::save_hcp(hcp, working.params) != screenconfig::WriteStatus::Ok) return 1;
    hcp_picture(hcp).save(prefix + QStringLiteral("-finished-hcp.png"));
    return 0;
}
