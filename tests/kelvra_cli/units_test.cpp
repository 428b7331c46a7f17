// The kelvra command line without a card: which arguments it takes and refuses, and what it prints
// from information blocks.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include <filesystem>

#include "options.h"
#include "progress.h"
#include "report.h"
#include "tests/support/temp_dir.h"

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
    EXPECT_EQ(o->address, "255.255.255.255");
    EXPECT_EQ(o->timeout_ms, 1500u);

    // --opt=value is the same as --opt value.
    o = parse(words("discover --address=127.255.255.255 --timeout=600000 --trace")).options;
    ASSERT_TRUE(o);
    EXPECT_EQ(o->address, "127.255.255.255");
    EXPECT_EQ(o->timeout_ms, 600000u);
    EXPECT_TRUE(o->trace);

    o = parse(words("send-file a.bin --quiet --address 1.2.3.4")).options;
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->quiet);

    o = parse(words("reset --card=S1 --transport=serial --port=/dev/ttyUSB0")).options;
    ASSERT_TRUE(o);
    EXPECT_EQ(o->port_device, "/dev/ttyUSB0");
    o = parse(words("brightness 08 --address 1.2.3.4")).options;
    ASSERT_TRUE(o) << "a leading zero does not make a number octal";
    EXPECT_EQ(o->brightness, 8);
}

TEST(KelvraCliOptions, HelpAndVersionArePrintedNotRun) {
    const auto help = parse(words("--help"), "1.2.3");
    EXPECT_FALSE(help.options);
    EXPECT_NE(help.output.find("Usage: kelvra"), std::string::npos) << help.output;
    EXPECT_NE(help.output.find("Exit status:"), std::string::npos) << help.output;
    // A command's own help names its options, not the program's command list.
    const auto info = parse(words("info --help"));
    EXPECT_NE(info.output.find("--address"), std::string::npos) << info.output;
    EXPECT_EQ(info.output.find("Subcommands:"), std::string::npos) << info.output;
    EXPECT_NE(parse(words("io set --help")).output.find("STATE"), std::string::npos);
    EXPECT_EQ(parse(words("-V"), "1.2.3").output, "kelvra 1.2.3\n");
    EXPECT_EQ(parse(words("--version"), "1.2.3").output, "kelvra 1.2.3\n");
}

TEST(KelvraCliOptions, RefusedCommandLinesSayWhy) {
    const struct {
        const char* line;
        const char* error;
    } cases[] = {
        {"", "no command given"},
        {"blink --address 1.2.3.4", "unknown command blink"},
        {"reset", "reset needs --address IP"},
        {"reset --address 1.2.3.4 --transport ipx", "ipx"},
        {"reset --transport serial", "--transport serial needs --card ID"},
        {"reset --address 1.2.3.4 --card 12345678901234567", "1 to 16 characters"},
        {"brightness 0 --address 1.2.3.4", "VALUE"},
        {"brightness 9 --address 1.2.3.4", "VALUE"},
        {"brightness --address 1.2.3.4", "VALUE is required"},
        {"brightness 5x --address 1.2.3.4", "not a whole number"},
        {"clock 1 2 3 --address 1.2.3.4", "clock takes no values"},
        {"io get 32 --address 1.2.3.4", "LINE"},
        {"io set 1 maybe --address 1.2.3.4", "maybe"},
        {"io get 1 --card X --transport serial", "io get needs an answer"},
        {"info --address 1.2.3.4 --transport udp", "info runs over TCP only"},
        {"send-folder f --address 1.2.3.4", "--base"},
        {"upgrade f --address 1.2.3.4 --transport serial --card X", "upgrade runs over TCP only"},
        {"discover --transport serial", "--transport"},
        {"reset --address 1.2.3.4 --port 31 --transport serial --card X", "a COM number is 1 to 30"},
        {"reset --address 1.2.3.4 --port ttyUSB0 --transport serial --card X", "or a device path"},
        {"reset --address", "--address"},
        {"reset --address 1.2.3.4 --colour red", "--colour"},
        // Addresses and times that are not what they claim: refused before anything is sent.
        {"reset --address 999.1.1.1", "not an IPv4 address"},
        {"reset --address 8.8.8.8x", "not an IPv4 address"},
        {"reset --address not-an-ip", "not an IPv4 address"},
        {"reset --address=", "--address"},
        {"reset --address 1.2.3", "not an IPv4 address"},
        {"discover --address 256.0.0.1", "not an IPv4 address"},
        {"discover --timeout 4294967295", "--timeout"},
        {"discover --timeout 0", "--timeout"},
        {"discover --timeout 600001", "--timeout"},
        {"discover --timeout -1", "not a whole number"},
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
    std::memcpy(more.data() + 20, "M\x07X", 3);  // a control byte: escaped in JSON, '?' in a table

    const auto r = kelvra_cli::read_report(info, &more);
    EXPECT_EQ(r.id, "S730-413-05862");
    EXPECT_EQ(r.address, "192.168.0.7");
    EXPECT_EQ(r.screen_width, 256u);
    EXPECT_EQ(kelvra_cli::version_text(r.software_version), "V8.814");
    const std::string table = kelvra_cli::report_table(r);
    EXPECT_NE(table.find("scan clock        8.0M\n"), std::string::npos) << table;
    EXPECT_NE(table.find("gamma             1.00 1.00 1.00\n"), std::string::npos) << table;
    EXPECT_NE(table.find("hardware          V9.120\n"), std::string::npos) << table;
    EXPECT_NE(table.find("free space        4096 KiB\n"), std::string::npos) << table;
    EXPECT_NE(table.find("model             M?X\n"), std::string::npos) << table;
    const auto json = kelvra_cli::card_json(r);
    EXPECT_EQ(json["mac_address"], "02:00:7f:00:05:01");
    EXPECT_EQ(json["model"], "M\x07X");
    EXPECT_NE(kelvra_cli::dump(json).find("\"model\": \"M\\u0007X\""), std::string::npos);
    EXPECT_EQ(json["software_version"], "V8.814");
    EXPECT_EQ(json["gamma"], nlohmann::json({1.0, 1.0, 1.0}));

    put(info.data() + 580, 0x7FC00000);  // a NaN
    EXPECT_EQ(kelvra_cli::card_json(kelvra_cli::read_report(info, &more))["gamma"],
              nlohmann::json({1.0, nullptr, 1.0}));

    const auto without_more = kelvra_cli::card_json(kelvra_cli::read_report(info, nullptr));
    EXPECT_FALSE(without_more.contains("mac_address"));
}

// Whatever bytes a card sends, the document stays valid JSON: bytes that are not UTF-8 become U+FFFD,
// and valid UTF-8 passes unchanged.
TEST(KelvraCliReport, AnyBytesFromTheCardGiveValidJson) {
    const struct {
        std::string id;
        std::string printed;
    } cases[] = {
        {"S730\xff-413", "S730\xef\xbf\xbd-413"},
        {"\xc3", "\xef\xbf\xbd"},  // a sequence cut short
        {"\xed\xa0\x80", ""},      // an encoded surrogate is not UTF-8 either
        {"caf\xc3\xa9", "caf\xc3\xa9"},
        {"a\"b\\c", "a\\\"b\\\\c"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const std::string text =
            kelvra_cli::dump(kelvra_cli::card_json(kelvra_cli::FoundCard{c.id, "127.0.0.2"}));
        EXPECT_TRUE(nlohmann::json::accept(text)) << text;
        const std::string wanted = c.printed.empty() ? "\xef\xbf\xbd" : "\"id\": \"" + c.printed + "\"";
        EXPECT_NE(text.find(wanted), std::string::npos) << text;
    }
}

// The serial ports of a made-up /sys/class/tty: devices only, no 8250 port without a UART.
TEST(KelvraCliPorts, ListsThePortsWithADeviceBehindThem) {
    support::TempDir sys;
    auto port = [&](const std::string& name, const char* driver, const char* type) {
        std::filesystem::create_directories(sys / "devices" / name / "driver-dir" / driver);
        std::filesystem::create_directories(sys / "class" / name);
        std::filesystem::create_directory_symlink(sys / "devices" / name, sys / "class" / name / "device");
        std::filesystem::create_directory_symlink(sys / "devices" / name / "driver-dir" / driver,
                                                  sys / "devices" / name / "driver");
        if (type != nullptr) support::write_file(sys / "class" / name / "type", std::string_view(type));
    };
    port("ttyUSB0", "ftdi_sio", nullptr);
    port("ttyS0", "serial8250", "4\n");
    port("ttyS1", "serial8250", "0\n");  // listed by the kernel, no UART there
    port("ttyACM0", "cdc_acm", nullptr);
    // A newer kernel's layout: tty -> serial-base port -> serial-base ctrl -> the UART's device.
    const auto uart = sys / "devices" / "pnp0";
    std::filesystem::create_directories(uart / "ctrl0" / "port0");
    std::filesystem::create_directories(sys / "bus" / "serial-base" / "drivers" / "port");
    std::filesystem::create_directories(sys / "bus" / "serial-base" / "drivers" / "ctrl");
    std::filesystem::create_directories(sys / "bus" / "pnp" / "drivers" / "serial");
    std::filesystem::create_directory_symlink(sys / "bus" / "serial-base" / "drivers" / "port",
                                              uart / "ctrl0" / "port0" / "driver");
    std::filesystem::create_directory_symlink(sys / "bus" / "serial-base" / "drivers" / "ctrl",
                                              uart / "ctrl0" / "driver");
    std::filesystem::create_directory_symlink(sys / "bus" / "pnp" / "drivers" / "serial", uart / "driver");
    std::filesystem::create_directories(sys / "class" / "ttyS4");
    std::filesystem::create_directory_symlink(uart / "ctrl0" / "port0", sys / "class" / "ttyS4" / "device");
    support::write_file(sys / "class" / "ttyS4" / "type", std::string_view("4\n"));
    std::filesystem::create_directories(sys / "class" / "tty0");  // a virtual terminal: no device
    const auto ports = kelvra_cli::serial_ports((sys / "class").string());
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0].path, "/dev/ttyACM0");
    EXPECT_EQ(ports[0].driver, "cdc_acm");
    EXPECT_EQ(ports[1].path, "/dev/ttyS0");
    EXPECT_EQ(ports[2].path, "/dev/ttyS4");
    EXPECT_EQ(ports[2].driver, "serial");
    EXPECT_EQ(ports[3].path, "/dev/ttyUSB0");
    EXPECT_EQ(ports[3].driver, "ftdi_sio");
    EXPECT_TRUE(kelvra_cli::serial_ports((sys / "absent").string()).empty());
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
