// vantor-cli as a script runs it: its images byte for byte against the layout functions, its refusals,
// exit codes and JSON, the previews, and the transfers and discovery against ledcard-sim on loopback
// addresses (discovery inside the test's private network namespace).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cstdio>
#include <string>

#include "common/frame.h"
#include "screenconfig/screen_params.h"
#include "screenconfig/special_layout.h"
#include "simulator/sim.h"
#include "tests/support/netns.h"
#include "tests/support/temp_dir.h"
#include "tests/support/sim_cards.h"

using namespace screenconfig;
using namespace std::chrono_literals;

namespace {

struct CliRun {
    int code = -1;
    std::string out;
    QJsonObject json() const { return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object(); }
};

// Runs vantor-cli with `arguments` (test-made words without quotes), standard error discarded.
CliRun cli(const std::string& arguments) {
    CliRun run;
    const std::string command = std::string(VANTOR_CLI) + " " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> buffer;
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

support::Bytes finished(ScreenConfig& image) {
    finish(image);
    return support::Bytes(image.bytes().begin(), image.bytes().end());
}

ScreenConfig read_image(const std::filesystem::path& file) {
    ScreenConfig image;
    const auto bytes = support::read_bytes(file);
    EXPECT_EQ(bytes.size(), kImageSize);
    if (bytes.size() == kImageSize) std::copy(bytes.begin(), bytes.end(), image.bytes().begin());
    return image;
}

}  // namespace

TEST(CliLayout, ImagesEqualTheLayoutFunctionsByteForByte) {
    support::TempDir dir;
    struct Case {
        std::string arguments;
        std::function<std::optional<LayoutRefusal>(ScreenConfig&)> build;
    };
    const std::vector<Case> cases = {
        {"strip --width 1920 --height 32 --module-width 32 --module-height 16 --ports 2",
         [](ScreenConfig& i) {
             return build_long_strip({1920, 32, 32, 16, 2}, i);
         }},
        {"vertical --width 64 --height 128 --module-width 16 --module-height 16 --rows 4 --method 2",
         [](ScreenConfig& i) {
             return build_vertical({64, 128, 16, 16, 4, VerticalMethod::UnitBoard, false}, i);
         }},
        {"vertical --width 64 --height 64 --module-width 32 --module-height 16 --rows 2 --bottom-to-top",
         [](ScreenConfig& i) {
             return build_vertical({64, 64, 32, 16, 2, VerticalMethod::CabinetWidth, true}, i);
         }},
        {"direction --width 64 --height 32 --direction 4",
         [](ScreenConfig& i) { return build_direction(64, 32, Direction::MirrorHorizontal, i); }},
        {"direction --width 64 --height 32 --direction 8",
         [](ScreenConfig& i) { return build_direction(64, 32, Direction::Turn180Mirror, i); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const auto file = dir / "image.sys";
        const CliRun run = cli("layout " + c.arguments + " -o " + file.string() + " --json");
        ASSERT_EQ(run.code, 0) << run.out;
        EXPECT_TRUE(run.json()["ok"].toBool());
        ScreenConfig expected;
        ASSERT_EQ(c.build(expected), std::nullopt);
        EXPECT_TRUE(support::read_bytes(file) == finished(expected));
        EXPECT_EQ(run.json()["table_width"].toInteger(), expected.get(ConfigField::tableWidth));
        EXPECT_EQ(run.json()["word_sum"].toInteger(), expected.get(ConfigField::wordSum));
    }

    // The worked examples, read back from the files the program wrote.
    ASSERT_EQ(cli("layout strip --width 1920 --height 32 --module-width 32 --module-height 16 --ports 2 -o " +
                  dir.text("strip.sys"))
                  .code,
              0);
    const ScreenConfig strip = read_image(dir / "strip.sys");
    EXPECT_EQ(strip.get(ConfigField::tableWidth), 2048u);
    EXPECT_EQ(strip.get(ConfigField::tableHeight), 256u);
    EXPECT_EQ(strip.entry(1, 1023), 1023u);            // wide row 0, column 2,047: the end of port 0's row 0
    EXPECT_EQ(strip.entry(0, 128), 32u * 1024 + 64u);  // wide row 0, column 128: port 1 starts

    ASSERT_EQ(cli("layout direction --width 64 --height 32 --direction 4 -o " + dir.text("d4.sys")).code, 0);
    EXPECT_EQ(read_image(dir / "d4.sys").entry(0, 960), 1023u);
    ASSERT_EQ(cli("layout direction --width 64 --height 32 --direction 5 -o " + dir.text("d5.sys")).code, 0);
    ASSERT_EQ(cli("layout direction --width 64 --height 32 --direction 8 -o " + dir.text("d8.sys")).code, 0);
    const ScreenConfig d5 = read_image(dir / "d5.sys");
    const ScreenConfig d8 = read_image(dir / "d8.sys");
    EXPECT_TRUE(MappingMatrix::load(d5) == MappingMatrix::load(d8));
    EXPECT_EQ(d8.get(ConfigField::rotation), 2u);
    EXPECT_EQ(d8.get(ConfigField::mirror), 0u);
    EXPECT_EQ(d8.get(ConfigField::swapAxes), 0u);
}

TEST(CliLayout, RefusalsAndUsageErrorsHaveTheirExitCodes) {
    support::TempDir dir;
    const std::string out = " -o " + dir.text("x.sys") + " --json";
    struct Case {
        std::string arguments;
        int code;
        std::string key;  // for refusals
    };
    const std::vector<Case> cases = {
        {"layout vertical --width 205 --height 64 --module-width 16 --module-height 16 --rows 5" + out, 5,
         "RetraceTimes too large"},
        {"layout strip --width 1920 --height 32 --module-width 32 --module-height 16 --ports 1" + out, 5,
         "IDS_MESSAGE_SPECIAL_TIP3"},
        {"layout strip --width 64 --height 32 --module-width 6 --module-height 16 --ports 2" + out, 5,
         "IDS_MESSAGE_STEP1_3"},
        {"layout strip --width 1920 --height 176 --module-width 32 --module-height 16 --ports 3" + out, 5,
         "IDS_MESSAGE_SPECIAL_OUTSIDE_TABLE"},
        {"layout direction --width 600 --height 32 --direction 1" + out, 5,
         "IDS_MESSAGE_SPECIAL_OUTSIDE_TABLE"},
        {"layout strip --width 64 --height 32 --module-width 32 --module-height 16" + out, 2, ""},
        {"layout strip --width 64x --height 32 --module-width 32 --module-height 16 --ports 2" + out, 2, ""},
        {"layout strip --width 64 --height 32 --module-width 32 --module-height 16 --ports 2 --colour red" +
             out,
         2, ""},
        {"layout direction --width 64 --height 32 --direction 9" + out, 2, ""},
        {"layout circle --width 64 --height 32" + out, 2, ""},
        {"layout direction --width 64 --height 32 --direction 1 --preview a.png" + out, 2, ""},
        {"layout strip --width=-1 --height 32 --module-width 32 --module-height 16 --ports 2" + out, 2, ""},
        {"frobnicate", 2, ""},
        {"", 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliRun run = cli(c.arguments);
        EXPECT_EQ(run.code, c.code);
        if (c.code == 5) {
            EXPECT_EQ(run.json()["key"].toString().toStdString(), c.key);
            EXPECT_FALSE(run.json()["ok"].toBool());
            EXPECT_FALSE(run.json()["message"].toString().isEmpty());
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x.sys")) << "a refused layout writes nothing";
    EXPECT_EQ(cli("--help").code, 0);
    EXPECT_NE(cli("layout --help").out.find("vertical"), std::string::npos);
    EXPECT_NE(cli("layout vertical --help").out.find("--bottom-to-top"), std::string::npos);
    EXPECT_EQ(cli("-V").out.rfind("vantor-cli ", 0), 0u);
}

TEST(CliLayout, PreviewsAreWrittenInTheFormatTheirNameAsks) {
    support::TempDir dir;
    const std::string strip =
        "layout strip --width 1920 --height 32 --module-width 32 --module-height 16 --ports 2";
    const std::string vertical =
        "layout vertical --width 64 --height 128 --module-width 16 --module-height 16 --rows 4";
    ASSERT_EQ(cli(strip + " --preview " + dir.text("a.png")).code, 0);
    ASSERT_EQ(cli(strip + " --preview " + dir.text("a.jpg")).code, 0);
    ASSERT_EQ(cli(vertical + " --method 2 --preview " + dir.text("a.gif")).code, 0);
    auto starts = [&](const char* name, support::Bytes magic) {
        const auto bytes = support::read_bytes(dir / name);
        return bytes.size() > 1000 && std::equal(magic.begin(), magic.end(), bytes.begin());
    };
    EXPECT_TRUE(starts("a.png", {0x89, 'P', 'N', 'G'}));
    EXPECT_TRUE(starts("a.jpg", {0xFF, 0xD8, 0xFF}));
    EXPECT_TRUE(starts("a.gif", {'G', 'I', 'F', '8'}));
    // Method 3 has no preview; the image is still built when asked for.
    const CliRun m3 = cli(vertical + " --method 3 --preview " + dir.text("m3.png") + " --json");
    EXPECT_EQ(m3.code, 5);
    EXPECT_EQ(m3.json()["problem"].toString(), QStringLiteral("MethodNotDrawn"));
    EXPECT_FALSE(std::filesystem::exists(dir / "m3.png"));
    // 25,000 module columns are not drawn.
    const CliRun huge =
        cli("layout strip --width 99999 --height 32 --module-width 4 --module-height 16 --ports 2 "
            "--preview " +
            dir.text("huge.png") + " --json");
    EXPECT_EQ(huge.code, 5);
    EXPECT_EQ(huge.json()["error"].toString(), QStringLiteral("too_many_modules"));
    EXPECT_FALSE(std::filesystem::exists(dir / "huge.png"));
}

namespace {

// The card the sends go to: it answers the apply frame, as the command line reads that answer.
sim::SimulatorConfig one_card(const std::filesystem::path& folder, bool discovery = false) {
    auto config = support::SimCards::config(1, "127.0.0.71");
    config.cards[0].id = "A901-200-00001";
    config.cards[0].screen_width = 192;
    config.cards[0].screen_height = 96;
    config.cards[0].answer_apply = true;
    config.storage_root = folder / "cards";
    config.discovery_socket = discovery;
    return config;
}

}  // namespace

TEST(CliSend, AnImageIsStoredAsConfigSysAndApplied) {
    support::TempDir dir;
    support::SimCards card;
    ASSERT_TRUE(card.start(one_card(dir.path())));
    const auto image = dir / "temp.sys";
    ASSERT_EQ(cli("layout strip --width 1920 --height 32 --module-width 32 --module-height 16 --ports 2 -o " +
                  image.string())
                  .code,
              0);
    const CliRun run =
        cli("send-image --address 127.0.0.71 --card A901-200-00001 " + image.string() + " --json");
    ASSERT_EQ(run.code, 0) << run.out;
    EXPECT_TRUE(run.json()["ok"].toBool());
    const auto stored = card->stored_files("A901-200-00001");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].card_path, "Config.sys");
    EXPECT_TRUE(support::read_bytes(stored[0].local_path) == support::read_bytes(image));
    EXPECT_TRUE(card->wait_for_frame("A901-200-00001", frame::CMD_SCREEN_CONTROL, 2s)) << "the apply frame";

    // A damaged image is not sent; an absent card is named.
    auto bytes = support::read_bytes(image);
    bytes[5000] ^= 1;
    const auto damaged = dir.write("damaged.sys", bytes);
    EXPECT_EQ(cli("send-image --address 127.0.0.71 " + damaged.string()).code, 3);
    EXPECT_EQ(cli("send-image --address 127.0.0.71 " + dir.text("absent.sys")).code, 3);
    EXPECT_EQ(cli("send-image --address 127.0.0.72 " + image.string()).code, 4);
    EXPECT_EQ(cli("send-image " + image.string()).code, 2);
    EXPECT_EQ(cli("send-image --card 127.0.0.71 " + image.string()).code, 2) << "--card is the identifier";
}

// "Applied" and exit 0 only when the card acknowledges the apply frame.
TEST(CliSend, TheExitStatusFollowsTheCardsAnswerToTheApplyFrame) {
    support::TempDir dir;
    support::SimCards card;
    ASSERT_TRUE(card.start(one_card(dir.path())));
    const auto image = dir / "temp.sys";
    ASSERT_EQ(cli("layout direction --width 64 --height 32 --direction 0 -o " + image.string()).code, 0);
    const auto faults = [](bool error, bool silent, std::uint8_t only) {
        sim::Faults f;
        f.answer_error = error;
        f.silent = silent;
        f.only_command = only;
        return f;
    };
    const struct {
        const char* name;
        sim::Faults faults;
        int code;
        const char* error;
    } cases[] = {
        {"acknowledges", faults(false, false, 0), 0, ""},
        {"refuses the apply frame", faults(true, false, frame::CMD_SCREEN_CONTROL), 1, "refused"},
        {"answers every command with Error!", faults(true, false, 0), 1, "refused"},
        {"is silent", faults(false, true, 0), 4, "no_answer"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(card->set_faults("A901-200-00001", c.faults));
        const CliRun run =
            cli("send-image --address 127.0.0.71 --card A901-200-00001 " + image.string() + " --json");
        EXPECT_EQ(run.code, c.code) << c.name << ": " << run.out;
        EXPECT_EQ(run.json()["ok"].toBool(), c.code == 0) << c.name;
        EXPECT_EQ(run.json()["error"].toString().toStdString(), c.error) << c.name;
    }
}

TEST(CliSend, ScreenParametersGoToTheCard) {
    support::TempDir dir;
    support::SimCards card;
    ASSERT_TRUE(card.start(one_card(dir.path())));
    ScreenParams params;
    params.set(ParamsField::magic, kLedMarker);
    params.set(ParamsField::hubType, 3);
    params.set(ParamsField::colourOrder, 2);
    params.set(ParamsField::endMarker, kEndMarker);
    params.seal();
    const auto hcp = dir.write("p10.hcp", support::Bytes(params.bytes().begin(), params.bytes().end()));
    const auto from = card->journal_end();
    const CliRun run = cli("send-hcp --address=127.0.0.71 --card=A901-200-00001 " + hcp.string() + " --json");
    ASSERT_EQ(run.code, 0) << run.out;
    const auto sent = card->wait_for_frame("A901-200-00001", frame::CMD_SCREEN_CONTROL, 2s, from);
    ASSERT_TRUE(sent);
    ASSERT_GE(sent->data.size(), 64u);
    EXPECT_EQ(sent->data[0], 1u);
    EXPECT_TRUE(std::equal(sent->data.begin() + 12, sent->data.begin() + 64, params.bytes().begin() + 8));

    auto bad = support::Bytes(params.bytes().begin(), params.bytes().end());
    bad[8] ^= 1;
    const auto damaged = dir.write("bad.hcp", bad);
    EXPECT_EQ(cli("send-hcp --address 127.0.0.71 " + damaged.string()).code, 3);
    EXPECT_EQ(cli("send-hcp --address 127.0.0.71 --force " + damaged.string()).code, 0);
    EXPECT_EQ(
        cli("send-hcp --address 127.0.0.71 " + dir.write("short.hcp", std::string(10, 'x')).string()).code,
        3);
}

TEST(CliDiscover, ListsTheCardsThatAnswerWithTheirInformation) {
    REQUIRE_PRIVATE_NETNS();
    support::TempDir dir;
    support::SimCards card;
    ASSERT_TRUE(card.start(one_card(dir.path(), true)));
    const CliRun run = cli("discover --address 127.255.255.255 --timeout 1500 --json");
    ASSERT_EQ(run.code, 0) << run.out;
    const QJsonArray cards = run.json()["cards"].toArray();
    ASSERT_EQ(cards.size(), 1);
    const QJsonObject c = cards[0].toObject();
    EXPECT_EQ(c["id"].toString(), QStringLiteral("A901-200-00001"));
    EXPECT_EQ(c["address"].toString(), QStringLiteral("127.0.0.71"));
    EXPECT_EQ(c["screen_width"].toInt(), 192);
    EXPECT_EQ(c["screen_height"].toInt(), 96);
    EXPECT_TRUE(c["software_version"].toString().startsWith(QStringLiteral("V")));
    EXPECT_TRUE(c["hardware_version"].toString().startsWith(QStringLiteral("V")));

    card->stop();
    EXPECT_EQ(cli("discover --address 127.255.255.255 --timeout 300").code, 4);
}
