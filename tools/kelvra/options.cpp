#include "options.h"

#include <arpa/inet.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <sstream>

namespace kelvra_cli {
namespace {

constexpr const char* kExitStatus = R"(Exit status:
  0  done
  1  the card refused, or the work broke off on the way
  2  the command line is wrong (nothing was sent)
  3  a local file or folder cannot be read, or is not what the command needs
  4  no card: no connection, no answer, or no card answered the discovery
  5  refused before sending: the card cannot take what was asked (a card name over 99 bytes)

See docs/command-line.md for the options and JSON output that kelvra and vantor-cli share.
)";

// "-h, --help" as manual pages write it (help2man reads these lines).
class Formatter final : public CLI::Formatter {
  public:
    std::string make_option_name(const CLI::Option* opt, bool positional) const override {
        std::string name = CLI::Formatter::make_option_name(opt, positional);
        for (std::size_t at = name.find(','); at != std::string::npos; at = name.find(',', at + 2))
            name.insert(at + 1, " ");
        return name;
    }
};

// Whole numbers are decimal, or hexadecimal after "0x"; a leading zero does not make one octal.
const CLI::Validator kNumber(
    [](std::string& text) -> std::string {
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        const std::size_t from = hex ? 2 : 0;
        const bool ok =
            text.size() > from &&
            std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), [hex](unsigned char c) {
                return hex ? std::isxdigit(c) != 0 : std::isdigit(c) != 0;
            });
        if (!ok) return "not a whole number: \"" + text + "\"";
        if (!hex) {
            const auto first = text.find_first_not_of('0');
            text = first == std::string::npos ? "0" : text.substr(first);
        }
        return {};
    },
    "", "number");

const CLI::Validator kAddress(
    [](std::string& text) -> std::string {
        return valid_ipv4(text) ? std::string()
                                : "not an IPv4 address (such as 192.168.0.7): \"" + text + "\"";
    },
    "", "address");

const CLI::Validator kCardId(
    [](std::string& text) -> std::string {
        return !text.empty() && text.size() <= 16 ? std::string()
                                                  : "a card id has 1 to 16 characters: \"" + text + "\"";
    },
    "", "card id");

void add_output_options(CLI::App* c, Options& o) {
    c->add_flag("--json", o.json, "print one JSON object on standard output (docs/command-line.md)");
}

void add_card_options(CLI::App* c, Options& o, std::string& transport, std::string& port) {
    c->add_option("--card", o.card_id,
                  "the card's id, e.g. S730-413-05862 (default: read from the card over TCP; needed with "
                  "--transport serial)")
        ->type_name("ID")
        ->check(kCardId);
    c->add_option("--address", o.address, "the card's IPv4 address (network transports)")
        ->type_name("IP")
        ->check(kAddress);
    c->add_option("--transport", transport,
                  "how commands travel: tcp (default), udp or serial. info, send-folder and upgrade use "
                  "TCP only, io get TCP or UDP")
        ->type_name("tcp|udp|serial")
        ->check(CLI::IsMember(std::vector<std::string>{"tcp", "udp", "serial"}).description(""));
    c->add_option("--port", port,
                  "serial line: COM number N (1..30: /dev/ttyS<N-1>, or the device $KELVRA_COM<N> names) "
                  "or a device path such as /dev/ttyUSB0 (default 1)")
        ->type_name("PORT");
    c->add_option("--baud", o.baud, "serial baud rate, 100 to 115200 (default 9600)")
        ->type_name("RATE")
        ->transform(kNumber)
        ->check(CLI::Range(100, 115200).description(""));
    c->add_flag("--trace", o.trace, "print every frame sent and received, in hex, on standard error");
    c->add_flag("-q,--quiet", o.quiet, "no progress bar");
    add_output_options(c, o);
}

void add_parameter_option(CLI::App* c, Options& o) {
    c->add_option("--parameter", o.parameter, "the frames' parameter word (default 0)")->transform(kNumber);
}

std::string subcommand_path(const CLI::App& app) {
    std::string path;
    for (const CLI::App* c = &app; c != nullptr;) {
        const auto subs = c->get_subcommands();
        if (subs.empty()) break;
        c = subs.front();
        path += (path.empty() ? "" : " ") + c->get_name();
    }
    return path;
}

bool is_command(const CLI::App& app, const std::string& name) {
    const std::function<bool(const CLI::App*)> named = [&name](const CLI::App* c) {
        return c->get_name() == name;
    };
    return !app.get_subcommands(named).empty();
}

}  // namespace

bool valid_ipv4(const std::string& text) {
    // inet_pton takes exactly four decimal parts of 0..255 and nothing around them.
    in_addr a{};
    return text.size() <= 15 && inet_pton(AF_INET, text.c_str(), &a) == 1;
}

Parsed parse(const std::vector<std::string>& args, const std::string& version) {
    Parsed result;
    Options o;
    std::string transport = "tcp";
    std::string port = "1";
    std::vector<std::string> clock_words;
    std::string io_state;

    CLI::App app("kelvra drives LED control cards through libkelvra.", "kelvra");
    app.formatter(std::make_shared<Formatter>());
    app.get_formatter()->column_width(34);
    app.footer(kExitStatus);
    app.set_version_flag("-V,--version", "kelvra " + version);
    app.require_subcommand(1);
    app.option_defaults()->always_capture_default(false);

    auto* discover = app.add_subcommand("discover", "search for cards and list those that answer");
    discover
        ->add_option("--address", o.address,
                     "where the search goes (default 255.255.255.255, every card on the network)")
        ->type_name("IP")
        ->check(kAddress);
    discover
        ->add_option("--timeout", o.timeout_ms,
                     "how long answers are collected, in milliseconds, 1 to 600000 (default 1500)")
        ->type_name("MS")
        ->transform(kNumber)
        ->check(CLI::Range(std::uint32_t{1}, kMaxDiscoveryMs).description(""));
    discover->add_flag("--trace", o.trace, "print every frame sent and received, in hex, on standard error");
    add_output_options(discover, o);

    auto* ports = app.add_subcommand("ports", "list the serial ports present");
    add_output_options(ports, o);

    auto* info = app.add_subcommand("info", "the card's information (address, screen, display, versions)");
    add_card_options(info, o, transport, port);

    auto* reset = app.add_subcommand("reset", "restart the card");
    add_card_options(reset, o, transport, port);

    auto* brightness = app.add_subcommand("brightness", "set the screen brightness");
    brightness->add_option("VALUE", o.brightness, "1 (dim) to 8 (bright)")
        ->required()
        ->transform(kNumber)
        ->check(CLI::Range(1, 8).description(""));
    add_card_options(brightness, o, transport, port);

    auto* clock = app.add_subcommand("clock",
                                     "set the card's clock: the seven values Y M D h m s WEEKDAY (weekday 0 "
                                     "= Sunday), or the local time now when none are given");
    clock->add_option("VALUES", clock_words, "year month day hour minute second weekday")
        ->expected(0, 7)
        ->transform(kNumber);
    add_card_options(clock, o, transport, port);

    auto* io = app.add_subcommand("io", "read or switch the card's output lines");
    io->require_subcommand(1);
    auto* io_get = io->add_subcommand("get", "read an output line (and every output and input line)");
    io_get->add_option("LINE", o.line, "0 to 31")
        ->required()
        ->transform(kNumber)
        ->check(CLI::Range(0, 31).description(""));
    add_card_options(io_get, o, transport, port);
    auto* io_set = io->add_subcommand("set", "switch an output line");
    io_set->add_option("LINE", o.line, "0 to 31")
        ->required()
        ->transform(kNumber)
        ->check(CLI::Range(0, 31).description(""));
    io_set->add_option("STATE", io_state, "on or off")
        ->required()
        ->check(CLI::IsMember(std::vector<std::string>{"on", "off", "1", "0"}).description(""));
    add_card_options(io_set, o, transport, port);

    auto* send_file = app.add_subcommand(
        "send-file", "send a file; the card stores it as FOLDER\\NAME (default: the file's own name)");
    send_file->add_option("PATH", o.local_path, "the local file")->required();
    send_file->add_option("--name", o.card_name, "the name on the card");
    send_file->add_option("--folder", o.card_folder, "the card folder (default: none)");
    send_file->add_option("--type", o.file_type, "the file type word (default 4)")->transform(kNumber);
    add_parameter_option(send_file, o);
    add_card_options(send_file, o, transport, port);

    auto* send_folder =
        app.add_subcommand("send-folder",
                           "send every file below PATH; card folders start at the folder named NAME "
                           "(\"prog/Program/Area0/a.bmp\" with --base Program: \"Program\\Area0\")");
    send_folder->add_option("PATH", o.local_path, "the local folder")->required();
    send_folder->add_option("--base", o.base_folder, "the folder where card folders start")->required();
    add_parameter_option(send_folder, o);
    add_card_options(send_folder, o, transport, port);

    auto* upgrade = app.add_subcommand("upgrade",
                                       "firmware upgrade with the files below the folder PATH (the card must "
                                       "consent first)");
    upgrade->add_option("PATH", o.local_path, "the firmware folder")->required();
    upgrade->add_option("--base", o.base_folder,
                        "the folder where card folders start (default: PATH's name)");
    add_parameter_option(upgrade, o);
    add_card_options(upgrade, o, transport, port);

    auto* show_picture =
        app.add_subcommand("show-picture", "show a BMP, JPEG or GIF picture on the screen at once");
    show_picture->add_option("PATH", o.local_path, "the picture")->required();
    add_parameter_option(show_picture, o);
    add_card_options(show_picture, o, transport, port);

    std::vector<const char*> argv{"kelvra"};
    for (const auto& a : args) argv.push_back(a.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::Success& e) {  // --help, --version
        std::ostringstream out, err;
        app.exit(e, out, err);
        result.output = out.str() + err.str();
        return result;
    } catch (const CLI::ParseError& e) {
        result.error = e.what();
        if (args.empty()) result.error = "no command given";
        const auto& first = args.empty() ? std::string() : args.front();
        if (!first.empty() && first.front() != '-' && !is_command(app, first))
            result.error = "unknown command " + first;
        return result;
    }

    const std::string name = subcommand_path(app);
    const std::pair<const CLI::App*, Command> table[] = {
        {discover, Command::Discover},
        {ports, Command::Ports},
        {info, Command::Info},
        {reset, Command::Reset},
        {brightness, Command::Brightness},
        {clock, Command::Clock},
        {io_get, Command::IoGet},
        {io_set, Command::IoSet},
        {send_file, Command::SendFile},
        {send_folder, Command::SendFolder},
        {upgrade, Command::Upgrade},
        {show_picture, Command::ShowPicture},
    };
    for (const auto& [sub, command] : table)
        if (sub->parsed()) o.command = command;

    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };
    o.transport = transport == "udp"      ? Transport::Udp
                  : transport == "serial" ? Transport::Serial
                                          : Transport::Tcp;
    if (!port.empty() && port.front() == '/') {
        o.port_device = port;
    } else {
        std::string n = port;
        if (!kNumber(n).empty())
            return fail("--port: a COM number 1 to 30 or a device path, not \"" + port + "\"");
        o.serial_port = n.size() <= 2 ? std::stoi(n, nullptr, 0) : 0;
        if (o.serial_port < 1 || o.serial_port > 30)
            return fail("--port: a COM number is 1 to 30, not \"" + port + "\"");
    }
    if (o.command == Command::IoSet) o.line_on = io_state == "on" || io_state == "1";
    if (o.command == Command::Clock && !clock_words.empty()) {
        if (clock_words.size() != 7) return fail("clock takes no values (the time now) or seven values");
        std::vector<std::int32_t> values;
        for (const auto& w : clock_words) {
            const unsigned long long v = w.size() <= 10 ? std::stoull(w, nullptr, 0) : ~0ull;
            if (v > INT32_MAX) return fail("a clock value is at most 2147483647: " + w);
            values.push_back(static_cast<std::int32_t>(v));
        }
        o.clock_values = values;
    }

    const bool needs_card = o.command != Command::Discover && o.command != Command::Ports;
    if (needs_card) {
        if (o.transport == Transport::Serial) {
            if (o.card_id.empty()) return fail("--transport serial needs --card ID");
        } else if (o.address.empty()) {
            return fail(name + " needs --address IP");
        }
    }
    // Commands whose exports have one transport of their own.
    const bool tcp_only =
        o.command == Command::Info || o.command == Command::SendFolder || o.command == Command::Upgrade;
    if (tcp_only && o.transport != Transport::Tcp) return fail(name + " runs over TCP only");
    if (o.command == Command::IoGet && o.transport == Transport::Serial)
        return fail("io get needs an answer: --transport tcp or udp");
    if (o.command == Command::Discover && o.address.empty()) o.address = kDefaultDiscoveryAddress;
    result.options = o;
    return result;
}

}  // namespace kelvra_cli
