// The "模组库" dialog and the save-as-profile dialog with Qt Test, against simulated cards on
// loopback: damaged profiles listed and never applied, the filter, the apply to every listed card with
// each card's result, and a profile of a ".hcp" file giving a second card the first card's parameters.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "cardlink/exchange_service.h"
#include "common/frame.h"
#include "mainwindow/module_library_dialog.h"
#include "mainwindow/save_profile_dialog.h"
#include "platform/localisation.h"
#include "profile_fixture.h"
#include "screenconfig/screen_files.h"
#include "tests/support/messages.h"
#include "tests/support/qt/pump.h"
#include "tests/support/qt/widget_tests_main.h"
#include "tests/support/sim_cards.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using namespace profiles;

bool g_private_network = false;

struct DialogFixture : ::testing::Test {
    support::TempDir dir;
    support::RecordingMessages messages;
    cardlink::ExchangeService exchanges;
    screenconfig::WorkingSet working;
    std::vector<cardlink::CardTarget> listed;
    std::optional<cardlink::CardTarget> selected;

    ProfileLibrary library() const { return ProfileLibrary(dir / "profiles"); }

    void SetUp() override {
        localisation::set_current_file(std::filesystem::path(TEST_SOURCE_DIR) / "lang/English_zavo.ini");
        cardlink::ExchangeTimeouts timeouts;
        timeouts.receive = 500ms;
        exchanges.setTimeouts(timeouts);
        auto lib = library();
        Profile outdoor = profiles_test::sample_profile("P10 outdoor");
        outdoor.maker = "Qiangli";
        ASSERT_TRUE(lib.save(outdoor, false).ok());
        Profile indoor = profiles_test::sample_profile("P4 indoor");
        indoor.maker = "Absen";
        ASSERT_TRUE(lib.save(indoor, false).ok());
        std::string bad = serialise_profile(profiles_test::sample_profile("bad"));
        support::write_file(lib.folder() / "cut.vmp", bad.substr(0, bad.size() / 2));
    }

    std::unique_ptr<ModuleLibraryDialog> open() {
        ModuleLibraryDialog::Cards cards;
        cards.selected = [this] { return selected; };
        cards.listed = [this] { return listed; };
        return std::make_unique<ModuleLibraryDialog>(library(), exchanges, cards, working);
    }

    static int rowOf(const ModuleLibraryDialog& d, const std::string& name) {
        for (int row = 0; row < d.list()->count(); ++row)
            if (d.list()->item(row)->text().startsWith(QString::fromStdString(name))) return row;
        return -1;
    }
};

TEST_F(DialogFixture, ListsFiltersAndNeverAppliesADamagedProfile) {
    auto d = open();
    ASSERT_EQ(d->list()->count(), 3);
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Module Library"));
    EXPECT_EQ(d->list()->item(0)->text(), QStringLiteral("P10 outdoor"));
    const int damaged = rowOf(*d, "cut.vmp");
    ASSERT_EQ(damaged, 2);
    EXPECT_TRUE(d->list()->item(damaged)->text().contains(QStringLiteral("Damaged")));
    EXPECT_TRUE(d->list()->item(damaged)->text().contains(QStringLiteral("truncated")));

    d->list()->setCurrentRow(0);
    EXPECT_TRUE(d->details()->text().contains(QStringLiteral("Colour order: GRB")));
    EXPECT_TRUE(d->details()->text().contains(QStringLiteral("Scan: 1/8")));
    EXPECT_TRUE(d->details()->text().contains(QStringLiteral("Size (LEDs): 32 x 16")));
    EXPECT_TRUE(d->button(ModuleLibraryDialog::kApplyAll)->isEnabled());

    selected = cardlink::CardTarget{"S730-413-00001", "127.42.31.1"};
    listed = {*selected};
    d->list()->setCurrentRow(damaged);
    EXPECT_TRUE(d->details()->text().contains(QStringLiteral("Damaged")));
    EXPECT_FALSE(d->button(ModuleLibraryDialog::kApplySelected)->isEnabled());
    EXPECT_FALSE(d->button(ModuleLibraryDialog::kApplyAll)->isEnabled());
    EXPECT_FALSE(d->button(ModuleLibraryDialog::kExport)->isEnabled());
    // Even forced, the controller refuses it.
    EXPECT_FALSE(d->library().apply(*d->entryOfRow(damaged), listed));

    QTest::keyClicks(d->filter(), "ABSEN");
    ASSERT_EQ(d->list()->count(), 1);
    EXPECT_EQ(d->list()->item(0)->text(), QStringLiteral("P4 indoor"));
    d->filter()->clear();
    EXPECT_EQ(d->list()->count(), 3);
}

TEST_F(DialogFixture, AppliesToEveryListedCardAfterAskingAndShowsEachCardsResult) {
    if (!g_private_network) GTEST_SKIP() << "needs a private network namespace";
    auto config = support::SimCards::config(16, "127.42.31.1");
    config.cards[2].faults.silent = true;
    config.cards[7].faults.answer_error = true;
    support::SimCards cards;
    ASSERT_TRUE(cards.start(config));
    for (std::size_t i = 0; i < cards.count(); ++i) listed.push_back({cards.id(i), cards.ip(i)});

    auto d = open();
    d->show();
    d->list()->setCurrentRow(rowOf(*d, "P10 outdoor"));
    messages.set_reply(platform::MessageReply::No);
    QTest::mouseClick(d->button(ModuleLibraryDialog::kApplyAll), Qt::LeftButton);
    ASSERT_EQ(messages.texts().size(), 1u);
    for (std::size_t i = 0; i < cards.count(); ++i)
        EXPECT_NE(messages.texts()[0].find(cards.id(i)), std::string::npos) << cards.id(i);
    EXPECT_FALSE(d->library().running());  // No: nothing sent

    messages.set_reply(platform::MessageReply::Yes);
    QTest::mouseClick(d->button(ModuleLibraryDialog::kApplyAll), Qt::LeftButton);
    EXPECT_TRUE(d->library().running());
    EXPECT_FALSE(d->button(ModuleLibraryDialog::kApplyAll)->isEnabled());
    EXPECT_EQ(d->progress()->maximum(), 16);
    EXPECT_TRUE(d->statusLine().startsWith(QStringLiteral("Applying the profile \"P10 outdoor\"")));
    ASSERT_TRUE(support::pump_until([&] { return !d->library().running(); }, 20s));
    EXPECT_EQ(d->progress()->value(), 16);
    ASSERT_EQ(d->results()->count(), 16);
    for (std::size_t i = 0; i < cards.count(); ++i) {
        const QString want = i == 2   ? QStringLiteral("no answer")
                             : i == 7 ? QStringLiteral("refused")
                                      : QStringLiteral("done");
        EXPECT_EQ(d->results()->item(static_cast<int>(i))->text(),
                  QString::fromStdString(cards.id(i) + " (" + cards.ip(i) + "): ") + want);
    }
    EXPECT_EQ(d->statusLine(),
              QStringLiteral("Profile \"P10 outdoor\": 14 of 16 cards took it, 1 no answer, 1 refused."));
    const auto record = profiles_test::sample_profile().record;
    const std::vector<std::uint8_t> expected(record.bytes().begin() + 8, record.bytes().begin() + 60);
    std::map<std::string, int> frames;
    for (const auto& e : cards.frames(frame::CMD_SCREEN_CONTROL)) {
        EXPECT_EQ(std::vector<std::uint8_t>(e.data.begin() + 12, e.data.begin() + 64), expected) << e.card;
        ++frames[e.card];
    }
    for (std::size_t i = 0; i < cards.count(); ++i) EXPECT_EQ(frames[cards.id(i)], 1) << cards.id(i);
}

TEST_F(DialogFixture, AProfileSavedFromALoadedHcpGivesASecondCardTheFirstCardsParameters) {
    if (!g_private_network) GTEST_SKIP() << "needs a private network namespace";
    auto config = support::SimCards::config(2, "127.42.31.1");
    support::SimCards cards;
    ASSERT_TRUE(cards.start(config));
    // The first card gets the ".hcp" file the main window's way.
    auto record = profiles_test::sample_record(3);
    ASSERT_EQ(screenconfig::save_hcp(dir / "module.hcp", record), screenconfig::WriteStatus::Ok);
    ASSERT_EQ(
        screenconfig::load_hcp_file(working, true, [&] { return std::optional(dir / "module.hcp"); }).status,
        screenconfig::LoadStatus::Ok);
    ASSERT_TRUE(screenconfig::params_exchange(working, {cards.id(0), cards.ip(0)})().ok());
    working.config.set(screenconfig::ConfigField::moduleWidthLimited, 32);
    working.config.set(screenconfig::ConfigField::moduleHeightLimited, 16);

    auto d = open();
    ASSERT_TRUE(d->button(ModuleLibraryDialog::kSaveCurrent)->isEnabled());
    bool saved = false;
    QTimer::singleShot(0, [&] {
        auto* save = qobject_cast<SaveProfileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(save, nullptr);
        EXPECT_EQ(save->nameEdit()->text(), QStringLiteral("32x16 1/8"));
        save->widthBox()->setValue(64);  // the proposal follows the size until a name is typed
        EXPECT_EQ(save->nameEdit()->text(), QStringLiteral("64x16 1/8"));
        save->nameEdit()->clear();
        QTest::keyClicks(save->nameEdit(), "hall A");
        save->heightBox()->setValue(32);
        EXPECT_EQ(save->nameEdit()->text(), QStringLiteral("hall A"));
        QTest::keyClicks(save->makerEdit(), "Qiangli");
        save->accept();
        saved = save->savedName() == "hall A";
    });
    QTest::mouseClick(d->button(ModuleLibraryDialog::kSaveCurrent), Qt::LeftButton);
    ASSERT_TRUE(saved);
    const int row = rowOf(*d, "hall A");
    ASSERT_GE(row, 0);
    d->list()->setCurrentRow(row);
    EXPECT_TRUE(d->details()->text().contains(QStringLiteral("Size (LEDs): 64 x 32")));

    selected = cardlink::CardTarget{cards.id(1), cards.ip(1)};
    QTest::mouseClick(d->button(ModuleLibraryDialog::kApplySelected), Qt::LeftButton);
    ASSERT_TRUE(support::pump_until([&] { return !d->library().running(); }, 10s));
    EXPECT_EQ(d->results()->item(0)->text(),
              QString::fromStdString(cards.id(1) + " (" + cards.ip(1) + "): done"));
    const auto taken = cards.frames(frame::CMD_SCREEN_CONTROL);
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].card, cards.id(0));
    EXPECT_EQ(taken[1].card, cards.id(1));
    EXPECT_EQ(taken[1].data, taken[0].data);
}

TEST_F(DialogFixture, SavingUnderATakenNameAsksFirst) {
    SaveProfileDialog save(library(), profiles_test::sample_record(), 32, 16);
    save.nameEdit()->setText(QStringLiteral("P10 outdoor"));
    QTest::keyClicks(save.makerEdit(), "someone else");
    messages.set_reply(platform::MessageReply::No);
    save.accept();
    EXPECT_TRUE(save.savedName().empty());
    EXPECT_EQ(library().find("P10 outdoor")->profile.maker, "Qiangli");
    EXPECT_EQ(messages.texts().back(), "A profile named \"P10 outdoor\" exists. Replace it?");
    messages.set_reply(platform::MessageReply::Yes);
    save.accept();
    EXPECT_EQ(save.savedName(), "P10 outdoor");
    EXPECT_EQ(library().find("P10 outdoor")->profile.maker, "someone else");

    save.nameEdit()->setText(QStringLiteral(" "));
    messages.clear();
    save.accept();
    EXPECT_EQ(messages.texts().size(), 1u);
}

}  // namespace

int main(int argc, char** argv) {
    return support::run_widget_tests_in_private_network(argc, argv, g_private_network);
}
