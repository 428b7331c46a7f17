// The kelvra command line without a card: which arguments it takes and refuses, and what it prints
// from information blocks.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "options.h"
#include "progress.h"
#include "report.h"

namespace {

using kelvra_cli::Command;
using kelvra_cli::parse;
using kelvra_cli::Transport;

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::string w;
    for (char c : line + " ") {
        if (c == ' ') {
            if (!w.empty()) out.push_back(w);
            w.clear();
        } else {
            w += c;
        }
    }
    return out;
}

TEST(KelvraCliOptions, AcceptedCommandLines) {
    auto o = parse(words("send-file a.bin --name b.bin --folder F --type 7 --parameter 0x10 --card S1 "
                         "--address 1.2.3.4 "
                         "--transport udp"))
                 .options;
    ASSERT_TRUE(o);
    EXPECT_EQ(o->command, Command::SendFile);
    EXPECT_EQ(o->local_path, "a.bin");
    EXPECT_EQ(o->card_name, "b.bin");
    EXPECT_EQ(o->card_folder, "F");
    EXPECT_EQ(o->file_type, 7u);
    EXPECT_EQ(o->parameter, 16u);
    EXPECT_EQ(o->transport, Transport::Udp);

    o = parse(words("io set 31 off --address 1.2.3.4")).options;
    ASSERT_TRUE(o);
    EXPECT_EQ(o->command, Command::IoSet);
    EXPECT_EQ(o->line, 31);
    EXPECT_FALSE(o->line_on);

    o = parse(words("clock 2026 12 31 23 59 59 4 --card X --transport serial --port 30 --baud 115200"))
            .options;
    ASSERT_TRUE(o);
    ASSERT_TRUE(o->clock_values);
    EXPECT_EQ(o->clock_values->at(6), 4);
    EXPECT_EQ(o->serial_port, 30);

    o = parse(words("show-picture p.jpg --address 1.2.3.4 --parameter 3")).options;
    ASSERT_TRUE(o);
    EXPECT_EQ(o->command, Command::ShowPicture);
    EXPECT_EQ(o->local_path, "p.jpg");

    o = parse(words("discover --json")).options;
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->json);
    EXPECT_TRUE(parse(words("--help")).help);
}

TEST(KelvraCliOptions, RefusedCommandLinesSayWhy) {
    const struct {
        const char* line;
        const char* error;
    } cases[] = {
        {"", "no command given"},
        {"blink --address 1.2.3.4", "unknown command blink"},
        {"reset", "reset needs --address A"},
        {"reset --address 1.2.3.4 --transport ipx", "unknown transport ipx"},
        {"reset --transport serial", "--transport serial needs --card ID"},
        {"reset --address 1.2.3.4 --card 12345678901234567", "1 to 16 characters"},
        {"brightness 0 --address 1.2.3.4", "brightness is 1 to 8"},
        {"brightness 9 --address 1.2.3.4", "brightness is 1 to 8"},
        {"brightness --address 1.2.3.4", "brightness takes one value"},
        {"clock 1 2 3 --address 1.2.3.4", "clock takes no values"},
        {"io get 32 --address 1.2.3.4", "a line number is 0 to 31"},
        {"io set 1 maybe --address 1.2.3.4", "on or off"},
        {"io get 1 --card X --transport serial", "io get needs an answer"},
        {"info --address 1.2.3.4 --transport udp", "info runs over TCP only"},
        {"send-folder f --address 1.2.3.4", "send-folder needs --base NAME"},
        {"upgrade f --address 1.2.3.4 --transport serial --card X", "upgrade runs over TCP only"},
        {"discover --transport serial", "discover runs on the network"},
        {"reset --address 1.2.3.4 --port 31 --transport serial --card X", "a serial port is 1 to 30"},
        {"reset --address", "option --address needs a value"},
        {"reset --address 1.2.3.4 --colour red", "unknown option --colour"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto parsed = parse(words(c.line));
        EXPECT_FALSE(parsed.options);
        EXPECT_NE(parsed.error.find(c.error), std::string::npos) << parsed.error;
    }
}

TEST(KelvraCliReport, ReadsTheInformationBlocks) {
    std::array<unsigned char, kelvra_cli::kInfoBlockSize> info{};
    std::array<unsigned char, kelvra_cli::kMoreBlockSize> more{};
    auto put = [](unsigned char* p, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
    };
    std::memcpy(info.data(), "S730-413-05862", 14);
    std::memcpy(info.data() + 60, "192.168.0.7", 11);
    put(info.data() + 132, 256);
    put(info.data() + 544, 8);
    put(info.data() + 548, 6);
    for (int i = 0; i < 3; ++i) put(info.data() + 576 + 4 * i, 0x3F800000);  // 1.0f
    put(info.data() + 1032, 0x00080814);
    put(info.data() + 1036, 0x00090120);
    std::memcpy(more.data() + 56, "02:00:7f:00:05:01", 17);
    put(more.data() + 92, 4096);
    info[30] = 0x07;  // a control byte inside a text field does not reach the output

    const auto r = kelvra_cli::read_report(info, &more);
    EXPECT_EQ(r.id, "S730-413-05862");
    EXPECT_EQ(r.ip_address, "192.168.0.7");
    EXPECT_EQ(r.screen_width, 256u);
    EXPECT_EQ(kelvra_cli::version_text(r.software_version), "V8.814");
    const std::string table = kelvra_cli::report_table(r);
    EXPECT_NE(table.find("scan clock        8.0M\n"), std::string::npos) << table;
    EXPECT_NE(table.find("gamma             1.00 1.00 1.00\n"), std::string::npos) << table;
    EXPECT_NE(table.find("hardware          V9.120\n"), std::string::npos) << table;
    EXPECT_NE(table.find("free space        4096 KiB\n"), std::string::npos) << table;
    const std::string json = kelvra_cli::report_json(r);
    EXPECT_NE(json.find("\"mac_address\": \"02:00:7f:00:05:01\",\n"), std::string::npos) << json;
    EXPECT_EQ(json.substr(json.size() - 3), "\n}\n");

    put(info.data() + 580, 0x7FC00000);  // a NaN
    EXPECT_NE(kelvra_cli::report_json(kelvra_cli::read_report(info, &more)).find("\"gamma\": [1, null, 1]"),
              std::string::npos);

    const auto without_more = kelvra_cli::read_report(info, nullptr);
    EXPECT_EQ(kelvra_cli::report_json(without_more).find("mac_address"), std::string::npos);
}

TEST(KelvraCliReport, JsonTextsAreEscaped) {
    EXPECT_EQ(kelvra_cli::json_string("a\"b\\c\n"), "\"a\\\"b\\\\c\\u000a\"");
    EXPECT_EQ(kelvra_cli::cards_json({}), "[]\n");
    EXPECT_EQ(kelvra_cli::cards_json({{"S1", "127.0.0.2"}}),
              "[\n  {\"id\": \"S1\", \"address\": \"127.0.0.2\"}\n]\n");
}

TEST(KelvraCliProgress, TheBarFollowsTheLibrarysPace) {
    using std::chrono::milliseconds;
    // One empty file: its header and one empty data packet, then the pause after the file.
    EXPECT_EQ(kelvra_cli::expected_send_time(0, 1), milliseconds(120));
    // 4000 bytes: header, two full pieces and the closing empty one.
    EXPECT_EQ(kelvra_cli::expected_send_time(4000, 1), milliseconds(140));
    EXPECT_EQ(kelvra_cli::progress_line("x", 0.5, 500, 1000, 10), "[#####.....]  50%  500 B / 1000 B  x");
    EXPECT_EQ(kelvra_cli::progress_line("x", 2.0, 0, 0, 4), "[####] 100%  0 B / 0 B  x");
}

}  // namespace
