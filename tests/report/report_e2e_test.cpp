// The card's information read over TCP, and `vantor-cli report` run as a script runs it, against
// ledcard-sim on loopback addresses: the PDF read back with pdftotext holds the card's identifier and
// the module's values in English and Chinese; a silent, absent or wrongly answering card and an
// unwritable file end with the exit status and failure name of the convention.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cstdio>
#include <string>

#include "cardlink/card_info_read.h"
#include "common/frame.h"
#include "screenconfig/screen_files.h"
#include "simulator/sim.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono_literals;
using screenconfig::ParamsField;

namespace {

constexpr const char* kCard = "S730-413-00001";
constexpr const char* kAddress = "127.42.0.5";

struct Outcome {
    int code = -1;
    std::string out;
    QJsonObject json() const { return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object(); }
};

// Runs `command` (test-made words, file names without spaces), standard error discarded.
Outcome run(const std::string& command) {
    Outcome r;
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return r;
    std::array<char, 4096> buffer;
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

Outcome cli(const std::string& arguments) {
    return run(std::string(VANTOR_CLI) + " " + arguments);
}

class ReportCard : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::SimulatorConfig config;
        sim::CardConfig card;
        card.id = kCard;
        card.address = kAddress;
        card.screen_width = 192;
        card.screen_height = 96;
        card.software_version = 0x00080814;
        card.hardware_version = 0x00030002;
        config.cards.push_back(card);
        config.discovery_socket = false;
        auto started = sim::Simulator::start(config);
        ASSERT_TRUE(started) << started.error;
        simulator_ = std::move(started.simulator);
    }

    // The card takes a record as the wizard's Finish sends it: GRB, 1/8 scan, a traced row order.
    void send_record() {
        screenconfig::WorkingSet ws;
        ws.params.set(ParamsField::hubType, 4);
        ws.params.set(ParamsField::colourOrder, 2);
        ws.params.set(ParamsField::dataPolarity, 1);
        ws.params.set(ParamsField::scanCode, 1);
        ws.params.set(ParamsField::lineGroup, 8);
        ASSERT_TRUE(screenconfig::set_decode_order(ws.params, 2, "76543210dcba98"));
        ws.source = screenconfig::ParamSource::File;
        ASSERT_TRUE(screenconfig::params_exchange(ws, {kCard, kAddress})().ok());
    }

    std::string arguments(const support::TempDir& dir, const std::string& language) const {
        return std::string("report --card ") + kCard + " --address " + kAddress +
               " --site Hall-3 --technician Li-Wei --pdf " + dir.text("r.pdf") + " --html " +
               dir.text("r.html") + " --language " + language + " --json";
    }

    std::unique_ptr<sim::Simulator> simulator_;
};

}  // namespace

TEST_F(ReportCard, ReadCardInfoGivesTheCardsBlock) {
    send_record();
    const auto read = cardlink::read_card_info({kCard, kAddress});
    ASSERT_TRUE(read.ok());
    const auto info = card_info::decode_card_info(read.block);
    EXPECT_EQ(info.card_id, kCard);
    EXPECT_EQ(info.screen_width, 192u);
    EXPECT_EQ(info.software_version, 0x00080814u);
    EXPECT_EQ(bytes::get_u32le(info.screen_params.data() + 16), 2u);  // colourOrder: record offset 24
}

TEST_F(ReportCard, ReadCardInfoNamesWhatWentWrong) {
    const cardlink::ExchangeTimeouts quick{1000ms, 1000ms, 300ms};
    EXPECT_EQ(cardlink::read_card_info({kCard, "127.42.0.99"}, quick).error,
              cardlink::ExchangeError::NoConnection);
    struct Case {
        sim::Faults faults;
        cardlink::ExchangeError error;
    };
    const Case cases[] = {
        {{.silent = true}, cardlink::ExchangeError::NoAnswer},
        {{.malformed = sim::Malformed::Short}, cardlink::ExchangeError::NoAnswer},
        {{.malformed = sim::Malformed::OtherCommand}, cardlink::ExchangeError::AnswerRejected},
        {{.malformed = sim::Malformed::NoLeadIn}, cardlink::ExchangeError::AnswerRejected},
        {{.malformed = sim::Malformed::BogusLength}, cardlink::ExchangeError::AnswerRejected},
    };
    for (const Case& c : cases) {
        simulator_->set_faults(kCard, c.faults);
        EXPECT_EQ(cardlink::read_card_info({kCard, kAddress}, quick).error, c.error)
            << static_cast<int>(c.faults.malformed);
    }
}

TEST_F(ReportCard, PdfHoldsTheCardAndTheModuleInEnglishAndChinese) {
    send_record();
    struct Case {
        const char* language;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"English_zavo",
         {"Commissioning Report", kCard, "Hall-3", "Li-Wei", kAddress, "V8.814", "V3.2", "192 x 96 pixels",
          "GRB", "1/8 scan", "76543210dcba98", "1 (the module lights on data level 1)"}},
        {"Chinese_zavo_s",
         {"调试报告", kCard, "Hall-3", "V8.814", "192 x 96 像素", "GRB", "1/8 扫描", "76543210dcba98"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        support::TempDir dir;
        const Outcome r = cli(arguments(dir, c.language));
        ASSERT_EQ(r.code, 0) << r.out;
        EXPECT_TRUE(r.json()["ok"].toBool());
        EXPECT_EQ(r.json()["card"].toObject()["software_version"].toString(), "V8.814");
        const Outcome text = run("pdftotext -enc UTF-8 " + dir.text("r.pdf") + " -");
        ASSERT_EQ(text.code, 0);
        const std::string html = support::read_text(dir / "r.html");
        for (const std::string& e : c.expected) {
            EXPECT_NE(text.out.find(e), std::string::npos) << e << "\n" << text.out;
            EXPECT_NE(html.find(e), std::string::npos) << e;
        }
    }
}

TEST_F(ReportCard, FailuresEndWithTheirStatusAndName) {
    support::TempDir dir;
    simulator_->set_faults(kCard, {.silent = true});
    Outcome r = cli(arguments(dir, "English_zavo"));
    EXPECT_EQ(r.code, 4);
    EXPECT_EQ(r.json()["error"].toString(), "no_answer");
    EXPECT_FALSE(std::filesystem::exists(dir / "r.pdf"));  // nothing claims a report that was not made

    r = cli(std::string("report --address 127.42.0.99 --site a --technician b --pdf ") + dir.text("x.pdf") +
            " --json");
    EXPECT_EQ(r.code, 4);
    EXPECT_EQ(r.json()["error"].toString(), "no_connection");

    simulator_->set_faults(kCard, {});
    r = cli(std::string("report --card ") + kCard + " --address " + kAddress +
            " --site a --technician b --pdf " + dir.text("missing/x.pdf") + " --json");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.json()["error"].toString(), "write_failed");

    for (const std::string& usage : {
             std::string("report --address ") + kAddress + " --site a --technician b",  // no file
             std::string("report --address ") + kAddress +
                 " --site a --technician b --pdf x.pdf --language de",
             std::string("report --address ") + kAddress + " --technician b --pdf x.pdf",  // no site
         })
        EXPECT_EQ(cli(usage).code, 2) << usage;
}
