// The report's content: a record's settings in words (from the record's bytes), the page (escaping,
// sections that appear only when there is something to show, the sends and their outcomes), the send
// log's choice of a card's sends, and the PDF Qt writes.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include <map>

#include "platform/localisation.h"
#include "report/module_words.h"
#include "report/report.h"
#include "report/report_writer.h"
#include "tests/support/temp_dir.h"

using namespace report;
using screenconfig::ParamsField;
using screenconfig::ScreenParams;
using namespace std::chrono_literals;

namespace {

void use_language(const char* name) {
    localisation::set_current_file(std::filesystem::path(TEST_SOURCE_DIR) / "lang" /
                                   (std::string(name) + ".ini"));
}

std::map<std::string, std::string> settings_of(const ScreenParams& params) {
    std::map<std::string, std::string> out;
    for (const Setting& s : module_settings(params)) out[s.label] = s.value;
    return out;
}

// The record a finished wizard leaves for a 1/16-scan GRB module with a traced order.
ScreenParams sample_record() {
    ScreenParams p;
    p.set(ParamsField::hubType, 4);
    p.set(ParamsField::decodeType, 0);
    p.set(ParamsField::dataPolarity, 1);
    p.set(ParamsField::oePolarity, 0);
    p.set(ParamsField::colourOrder, 2);
    p.set(ParamsField::lineGroup, 16);
    p.set(ParamsField::scanCode, 0);
    p.set(ParamsField::lineInterval, 1);
    EXPECT_TRUE(screenconfig::set_decode_order(p, 3, "ba9876543210dc"));
    p.set(ParamsField::pointFlags, 3u | (5u << 10));
    return p;
}

}  // namespace

TEST(ModuleWords, EachSettingReadFromItsWordOfTheRecord) {
    use_language("English_zavo");
    const auto s = settings_of(sample_record());
    EXPECT_EQ(s.at("HUB board type code"), "4");
    EXPECT_EQ(s.at("Row decoder"), "Normal (138 decoder)");
    EXPECT_EQ(s.at("Data polarity"), "1 (the module lights on data level 1)");
    EXPECT_EQ(s.at("OE polarity"), "0 (full brightness at OE level 0)");
    EXPECT_EQ(s.at("Colour order"), "GRB");
    EXPECT_EQ(s.at("Scan"), "1/16 scan");
    EXPECT_EQ(s.at("Row group"), "16");
    EXPECT_EQ(s.at("Row interval"), "1");
    EXPECT_EQ(s.at("Row-decode order"), "ba9876543210dc (class 3)");
    EXPECT_EQ(s.at("Column and row arrangement"), "columns 3, rows 5");
}

TEST(ModuleWords, CodesAndTheirWords) {
    use_language("English_zavo");
    struct Case {
        ParamsField field;
        std::uint32_t value;
        const char* label;
        const char* words;
    };
    const Case cases[] = {
        {ParamsField::colourOrder, 0, "Colour order", "RGB"},
        {ParamsField::colourOrder, 5, "Colour order", "RBG"},
        {ParamsField::colourOrder, 6, "Colour order", "code 6 (not a known value)"},
        {ParamsField::scanCode, 4, "Scan", "1/1 scan"},
        {ParamsField::scanCode, 1, "Scan", "1/8 scan"},
        {ParamsField::scanCode, 5, "Scan", "code 5 (not a known value)"},
        {ParamsField::decodeType, 3, "Row decoder", "Other decoder"},
        {ParamsField::decodeType, 4, "Row decoder", "code 4 (not a known value)"},
    };
    for (const Case& c : cases) {
        ScreenParams p;
        p.set(c.field, c.value);
        EXPECT_EQ(settings_of(p).at(c.label), c.words) << c.label << " " << c.value;
    }
}

TEST(ModuleWords, TheCardsCopyIsTheRecordsMiddle) {
    // The information block carries bytes 8..59 of the record the card last took.
    const ScreenParams sent = [] {
        ScreenParams p = sample_record();
        p.set(ParamsField::magic, 0x0044454C);      // "LED"
        p.set(ParamsField::endMarker, 0x00444E45);  // "END"
        p.seal();
        return p;
    }();
    std::array<std::uint8_t, card_info::kScreenParamsSize> middle{};
    std::copy_n(sent.bytes().begin() + 8, middle.size(), middle.begin());
    EXPECT_EQ(params_from_card(middle), sent);
    EXPECT_EQ(decode_order_text(sent), "ba9876543210dc");
}

TEST(ReportPage, TypedAndCardTextsAreEscaped) {
    use_language("English_zavo");
    CommissioningReport r;
    r.site = "Hall <3> & \"east\"";
    r.technician = "O'Neil";
    r.card.card_id = "S730<script>";
    const std::string page = render_html(r, {});
    EXPECT_NE(page.find("Hall &lt;3&gt; &amp; &quot;east&quot;"), std::string::npos);
    EXPECT_NE(page.find("O&#39;Neil"), std::string::npos);
    EXPECT_NE(page.find("S730&lt;script&gt;"), std::string::npos);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    use_language("Chinese_zavo_t");
    EXPECT_NE(render_html(r, {}).find("<html lang=\"zh-TW\">"), std::string::npos);
}

TEST(ReportPage, PicturesAndLayoutOnlyWhenThereAreAny) {
    use_language("English_zavo");
    CommissioningReport r;
    const std::string plain = render_html(r, {});
    EXPECT_EQ(plain.find("Traced grid"), std::string::npos);
    EXPECT_EQ(plain.find("Special screen"), std::string::npos);
    EXPECT_EQ(plain.find("Module profile"), std::string::npos);
    // Without the session's sends (the command line) there is no sends section at all; with an empty
    // record, the report says nothing was sent.
    EXPECT_EQ(plain.find("Sends in this session"), std::string::npos);
    r.sends.emplace();
    EXPECT_NE(render_html(r, {}).find("Nothing was sent to this card in this session."), std::string::npos);

    r.grid_picture = "/x/ncp.jpg";
    r.layout = LayoutNote{"Long strip 1920 x 32", std::filesystem::path("/x/bbb.jpg")};
    r.profile_name = "P10 outdoor";
    const std::string page = render_html(r, [](const std::filesystem::path& p) {
        return p.filename() == "ncp.jpg" ? std::string("grid-src") : std::string();
    });
    EXPECT_NE(page.find("Traced grid"), std::string::npos);
    EXPECT_NE(page.find("<img src=\"grid-src\""), std::string::npos);
    EXPECT_NE(page.find("Long strip 1920 x 32"), std::string::npos);
    EXPECT_NE(page.find("The picture bbb.jpg could not be read."), std::string::npos);
    EXPECT_NE(page.find("P10 outdoor"), std::string::npos);
}

TEST(ReportPage, EachSendWithItsOutcome) {
    use_language("English_zavo");
    using cardlink::ExchangeError;
    struct Case {
        ExchangeError error;
        std::chrono::milliseconds bound;
        const char* words;
    };
    const Case cases[] = {
        {ExchangeError::None, 3000ms, "done"},
        {ExchangeError::NoAnswer, 3000ms, "no answer within 3 s"},
        {ExchangeError::NoAnswer, 1500ms, "no answer within 1.5 s"},
        {ExchangeError::AnswerRejected, 3000ms, "refused by the card"},
        {ExchangeError::NoConnection, 3000ms, "the card could not be reached"},
        {ExchangeError::SendFailed, 3000ms, "not sent whole"},
    };
    CommissioningReport r;
    r.sends.emplace();
    for (const Case& c : cases) {
        SendRecord s{
            std::chrono::system_clock::now(), "Screen parameters", {"S1", "127.0.0.2"}, c.error, c.bound};
        EXPECT_EQ(outcome_text(s), c.words);
        r.sends->push_back(s);
    }
    const std::string page = render_html(r, {});
    for (const Case& c : cases) EXPECT_NE(page.find(c.words), std::string::npos) << c.words;
    EXPECT_EQ(page.find("Nothing was sent"), std::string::npos);
}

TEST(SendLog, ACardsSendsByIdentifierOrAddress) {
    SendLog log;
    const auto at = std::chrono::system_clock::now();
    log.append({at, "a", {"S1", "127.0.0.2"}, {}, {}});
    log.append({at, "b", {"S2", "127.0.0.3"}, {}, {}});
    log.append({at, "c", {"S730-413-05862", "127.0.0.2"}, {}, {}});  // address mode, to S1's address
    log.append({at, "d", {"S1", "127.0.0.9"}, {}, {}});              // S1 after an address change
    std::string whats;
    for (const auto& r : log.to_card({"S1", "127.0.0.2"})) whats += r.what;
    EXPECT_EQ(whats, "acd");
}

TEST(ReportFiles, PdfAndHtmlWrittenWithThePictureInside) {
    use_language("English_zavo");
    support::TempDir dir;
    QImage grid(40, 20, QImage::Format_RGB32);
    grid.fill(Qt::red);
    ASSERT_TRUE(grid.save(QString::fromStdString((dir / "ncp.jpg").string()), "JPEG"));
    CommissioningReport r;
    r.site = "Hall 3";
    r.card.card_id = "S730-413-00001";
    r.grid_picture = dir / "ncp.jpg";
    EXPECT_EQ(write_report(r, dir / "r.pdf", dir / "r.html"), ReportWrite::Written);
    EXPECT_EQ(support::read_text(dir / "r.pdf").substr(0, 5), "%PDF-");
    const std::string page = support::read_text(dir / "r.html");
    EXPECT_NE(page.find("src=\"data:image/jpeg;base64,/9j/"), std::string::npos);

    EXPECT_EQ(write_report(r, dir / "none" / "r.pdf", std::nullopt), ReportWrite::PdfFailed);
    EXPECT_EQ(write_report(r, dir / "r2.pdf", dir / "none" / "r.html"), ReportWrite::HtmlFailed);
    EXPECT_FALSE(std::filesystem::exists(dir / "r2.pdf"));  // nothing after the failure is tried
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
