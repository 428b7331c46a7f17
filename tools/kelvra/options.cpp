#include "options.h"

#include <charconv>
#include <map>
#include <string_view>

namespace kelvra_cli {

const char* const kUsage = R"(usage: kelvra COMMAND [OPTIONS]
Drives LED control cards through libkelvra.

Commands:
  discover [--json]                  broadcast a discovery and list the cards that answer
  info [--json]                      the card's information (address, screen, display, versions)
  reset                              restart the card
  brightness VALUE                   set the screen brightness, 1 (dim) to 8 (bright)
  clock [Y M D h m s WEEKDAY]        set the card's clock: the seven values given, or the local
                                     time now (weekday 0 = Sunday)
  io get LINE                        read an output line (and every output and input line)
  io set LINE on|off                 switch an output line
  send-file PATH [--name NAME] [--folder FOLDER] [--type N] [--parameter N]
                                     send a file; the card stores it as FOLDER\NAME
                                     (default: the file's own name, no folder; type 4)
  send-folder PATH --base NAME [--parameter N]
                                     send every file below PATH; card folders start at the
                                     folder named NAME ("prog/Program/Area0/a.bmp", --base Program:
                                     "Program\Area0")
  upgrade PATH [--base NAME] [--parameter N]
                                     firmware upgrade with the files below the folder PATH (the
                                     card must consent first); NAME defaults to PATH's own name
  show-picture PATH [--parameter N]  show a BMP, JPEG or GIF picture on the screen at once

Card options:
  --address A                        the card's IPv4 address (network transports)
  --card ID                          the card's id, e.g. S730-413-05862 (default: read from the
                                     card over TCP; needed with --transport serial)
  --transport tcp|udp|serial         how commands travel (default tcp). info, send-folder and
                                     upgrade always use TCP, io get TCP or UDP, discover the network
  --port N                           serial port COM<N> (1..30, default 1): /dev/ttyS<N-1>, or the
                                     device named by the environment variable KELVRA_COM<N>
  --baud RATE                        serial baud rate (default 9600)
Other:
  --json                             machine-readable output (discover, info)
  --quiet                            no progress bar
  --help, --version

Exit status: 0 done; 1 the card could not be reached, did not answer or refused; 2 usage error;
3 a local file or folder could not be read.
)";

namespace {

const std::map<std::string_view, Command>& commands() {
    static const std::map<std::string_view, Command> table = {
        {"discover", Command::Discover},
        {"info", Command::Info},
        {"reset", Command::Reset},
        {"brightness", Command::Brightness},
        {"clock", Command::Clock},
        {"send-file", Command::SendFile},
        {"send-folder", Command::SendFolder},
        {"upgrade", Command::Upgrade},
        {"show-picture", Command::ShowPicture},
    };
    return table;
}

template <typename T>
bool number(std::string_view text, T& out) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return false;
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return ec == std::errc() && p == text.data() + text.size();
}

bool needs_card(Command c) {
    return c != Command::Discover;
}

}  // namespace

Parsed parse(const std::vector<std::string>& args) {
    Parsed result;
    Options o;
    std::vector<std::string> positional;
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            result.help = true;
            return result;
        } else if (a == "--version") {
            result.version = true;
            return result;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--quiet" || a == "-q") {
            o.quiet = true;
        } else if (a == "--card" || a == "--address" || a == "--transport" || a == "--port" ||
                   a == "--baud" || a == "--name" || a == "--folder" || a == "--type" || a == "--parameter" ||
                   a == "--base") {
            if (!value(v)) return fail("option " + a + " needs a value");
            if (a == "--card") {
                if (v.empty() || v.size() > 16) return fail("a card id has 1 to 16 characters: " + v);
                o.card_id = v;
            } else if (a == "--address") {
                o.address = v;
            } else if (a == "--transport") {
                if (v == "tcp")
                    o.transport = Transport::Tcp;
                else if (v == "udp")
                    o.transport = Transport::Udp;
                else if (v == "serial")
                    o.transport = Transport::Serial;
                else
                    return fail("unknown transport " + v + " (tcp, udp or serial)");
            } else if (a == "--port") {
                if (!number(v, o.serial_port) || o.serial_port < 1 || o.serial_port > 30)
                    return fail("a serial port is 1 to 30: " + v);
            } else if (a == "--baud") {
                if (!number(v, o.baud) || o.baud < 100 || o.baud > 115200)
                    return fail("a baud rate is 100 to 115200: " + v);
            } else if (a == "--name") {
                o.card_name = v;
            } else if (a == "--folder") {
                o.card_folder = v;
            } else if (a == "--type") {
                if (!number(v, o.file_type)) return fail("a file type is a number: " + v);
            } else if (a == "--parameter") {
                if (!number(v, o.parameter)) return fail("a parameter is a number: " + v);
            } else {
                o.base_folder = v;
            }
        } else if (a.starts_with("--") && a.size() > 2) {
            return fail("unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.empty()) return fail("no command given");
    const std::string name = positional.front();
    positional.erase(positional.begin());
    if (name == "io") {
        if (positional.empty()) return fail("io needs get or set");
        const std::string op = positional.front();
        positional.erase(positional.begin());
        if (op == "get")
            o.command = Command::IoGet;
        else if (op == "set")
            o.command = Command::IoSet;
        else
            return fail("io needs get or set, not " + op);
    } else if (auto it = commands().find(name); it != commands().end()) {
        o.command = it->second;
    } else {
        return fail("unknown command " + name);
    }

    auto want = [&](std::size_t n, const char* what) -> bool {
        if (positional.size() != n) {
            result.error = name + " takes " + what;
            return false;
        }
        return true;
    };
    switch (o.command) {
        case Command::Discover:
        case Command::Info:
        case Command::Reset:
            if (!want(0, "no arguments")) return result;
            break;
        case Command::Brightness:
            if (!want(1, "one value, 1 to 8")) return result;
            if (!number(positional[0], o.brightness) || o.brightness < 1 || o.brightness > 8)
                return fail("brightness is 1 to 8: " + positional[0]);
            break;
        case Command::Clock:
            if (!positional.empty()) {
                if (!want(7, "no values (the time now) or seven values")) return result;
                std::vector<std::int32_t> values;
                for (const auto& p : positional) {
                    std::int32_t n = 0;
                    if (!number(p, n)) return fail("a clock value is a number: " + p);
                    values.push_back(n);
                }
                o.clock_values = values;
            }
            break;
        case Command::IoGet:
        case Command::IoSet:
            if (o.command == Command::IoGet ? !want(1, "a line number")
                                            : !want(2, "a line number and on or off"))
                return result;
            if (!number(positional[0], o.line) || o.line < 0 || o.line > 31)
                return fail("a line number is 0 to 31: " + positional[0]);
            if (o.command == Command::IoSet) {
                if (positional[1] == "on" || positional[1] == "1")
                    o.line_on = true;
                else if (positional[1] == "off" || positional[1] == "0")
                    o.line_on = false;
                else
                    return fail("a line is switched on or off, not " + positional[1]);
            }
            break;
        case Command::SendFile:
        case Command::SendFolder:
        case Command::Upgrade:
        case Command::ShowPicture:
            if (!want(1, "one path")) return result;
            o.local_path = positional[0];
            if (o.command == Command::SendFolder && o.base_folder.empty())
                return fail("send-folder needs --base NAME (the folder where card folders start)");
            break;
    }

    if (needs_card(o.command)) {
        if (o.transport == Transport::Serial) {
            if (o.card_id.empty()) return fail("--transport serial needs --card ID");
        } else if (o.address.empty()) {
            return fail(name + " needs --address A");
        }
    }
    // Commands whose exports have one transport of their own.
    const bool tcp_only =
        o.command == Command::Info || o.command == Command::SendFolder || o.command == Command::Upgrade;
    if (tcp_only && o.transport != Transport::Tcp) return fail(name + " runs over TCP only");
    if (o.command == Command::IoGet && o.transport == Transport::Serial)
        return fail("io get needs an answer: --transport tcp or udp");
    if (o.command == Command::Discover && o.transport == Transport::Serial)
        return fail("discover runs on the network (answers on a serial line carry no address)");
    result.options = o;
    return result;
}

}  // namespace kelvra_cli
