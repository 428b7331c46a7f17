#include "simulator/config.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <fstream>
#include <sstream>

namespace sim {

const char* const kUsage = R"(usage: ledcard-sim [OPTIONS]
Simulated LED control cards on real sockets: UDP 31296 (discovery; one shared 0.0.0.0:31296 socket
hears broadcasts and every card answers from its own address) and TCP + UDP 31298 on each card's
address. Runs until SIGINT or SIGTERM.

Cards:
  --card ID@ADDRESS[,KEY=VALUE...]  one card, e.g. --card S730-413-05862@127.0.0.2,sw=0x80814
  --cards N                         N generated cards at consecutive addresses
  --first-address ADDRESS           address of the first generated card (default 127.0.0.2)
  --family mixed|plain|complement   ids of generated cards: S730-413-NNNNN (plain sum),
                                    A901-200-NNNNN (complement), alternating for mixed (default)
  --allow-duplicates                let two card ids share one address (both answer discovery)
Card keys:
  sw=WORD hw=WORD                   software / hardware version words (offsets 1032 / 1036)
  mask=TEXT gateway=TEXT width=N height=N
  form=exact|stream|fixed           wire form of the answers (default exact, n + 29 bytes)
  follow=0|1                        move to a new address set by save-settings / restore-IP (default 1)
  answer-apply=0|1                  answer the apply frame (screen control 23): "Success!" for a whole,
                                    intact Config.sys, else "Error!" (default 0: no answer)
  module=FILE                       a virtual LED module with the profile in FILE (docs/virtual-module.md);
                                    its picture is written to <card folder>/module.png on every change
Faults (card keys):
  error=1                           status answers say "Error!"
  delay=MS                          answers leave MS milliseconds late
  silent=1                          never answer
  close-after=N                     close a TCP connection after N file-data frames
  read-rate=BYTES                   take at most BYTES per second off each TCP connection
  stop-reading-after=BYTES          take nothing more off a TCP connection after BYTES
  malformed=short|no-lead-in|bogus-length|garbage|other-command
  fault-command=CODE                the faults hit only this command code (e.g. 0x84)
Other:
  --config FILE                     read cards and options from FILE, one per line:
                                      card ID ADDRESS [KEY=VALUE ...]
                                      cards N [FIRST-ADDRESS [FAMILY]]
                                      allow-duplicates | storage DIR | journal FILE | no-discovery-socket
                                    ('#' starts a comment)
  --storage DIR                     card folders DIR/<card id> for received files (default: a new
                                    folder under /tmp, removed at exit); each card writes what its
                                    display windows show to <card folder>/screen.png (docs/card-screen.md)
  --journal FILE                    one JSON line per received frame ("-": standard output)
  --no-discovery-socket             do not bind 0.0.0.0:31296 (cards then hear only unicast)
  --show                            open a window that draws every card's virtual module, live
                                    (the program ledcard-sim-show beside ledcard-sim)
  --help                            this text
)";

namespace {

bool parse_number(std::string_view text, std::uint64_t& out) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return false;
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return ec == std::errc() && p == text.data() + text.size();
}

template <typename T>
std::string number_into(std::string_view key, std::string_view value, T& out, std::uint64_t max) {
    std::uint64_t v = 0;
    if (!parse_number(value, v) || v > max)
        return "bad value for " + std::string(key) + ": " + std::string(value);
    out = static_cast<T>(v);
    return {};
}

std::optional<IdFamily> family_of(std::string_view text) {
    if (text == "mixed") return IdFamily::Mixed;
    if (text == "plain") return IdFamily::PlainSum;
    if (text == "complement") return IdFamily::Complement;
    return std::nullopt;
}

std::string add_generated(SimulatorConfig& config, std::string_view count, std::string_view first,
                          std::string_view family) {
    std::uint64_t n = 0;
    if (!parse_number(count, n) || n == 0 || n > 65536) return "bad card count: " + std::string(count);
    const auto fam = family_of(family);
    if (!fam) return "bad family: " + std::string(family);
    auto cards = make_cards(n, first, *fam);
    if (cards.empty()) return "bad address: " + std::string(first);
    config.cards.insert(config.cards.end(), cards.begin(), cards.end());
    return {};
}

std::string add_card(SimulatorConfig& config, std::string_view card_text) {
    const auto at = card_text.find('@');
    if (at == std::string_view::npos || at == 0) return "card needs ID@ADDRESS: " + std::string(card_text);
    CardConfig card;
    card.id = std::string(card_text.substr(0, at));
    std::vector<std::string_view> parts;
    for (std::string_view rest = card_text.substr(at + 1);;) {
        const auto comma = rest.find(',');
        parts.push_back(rest.substr(0, comma));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    card.address = std::string(parts.front());
    for (std::size_t i = 1; i < parts.size(); ++i)
        if (auto err = apply_card_option(card, parts[i]); !err.empty()) return err;
    config.cards.push_back(std::move(card));
    return {};
}

}  // namespace

std::string apply_card_option(CardConfig& card, std::string_view option) {
    const auto eq = option.find('=');
    if (eq == std::string_view::npos) return "card option needs KEY=VALUE: " + std::string(option);
    const auto key = option.substr(0, eq);
    const auto value = option.substr(eq + 1);
    auto& f = card.faults;
    if (key == "sw") return number_into(key, value, card.software_version, 0xFFFFFFFFu);
    if (key == "hw") return number_into(key, value, card.hardware_version, 0xFFFFFFFFu);
    if (key == "width") return number_into(key, value, card.screen_width, 0xFFFFFFFFu);
    if (key == "height") return number_into(key, value, card.screen_height, 0xFFFFFFFFu);
    if (key == "mask") {
        card.subnet_mask = std::string(value);
        return {};
    }
    if (key == "gateway") {
        card.gateway = std::string(value);
        return {};
    }
    if (key == "form") {
        if (value == "exact")
            card.answer_form = WireForm::Exact;
        else if (value == "stream")
            card.answer_form = WireForm::Stream;
        else if (value == "fixed")
            card.answer_form = WireForm::Fixed;
        else
            return "bad form: " + std::string(value);
        return {};
    }
    if (key == "module") {
        std::ifstream in{std::string(value)};
        if (!in) return "cannot read module profile " + std::string(value);
        std::stringstream text;
        text << in.rdbuf();
        ModuleProfile profile;
        if (auto err = parse_module_profile(text.str(), profile); !err.empty())
            return "module profile " + std::string(value) + ": " + err;
        card.module = profile;
        return {};
    }
    if (key == "follow") return number_into(key, value, card.follow_address_changes, 1);
    if (key == "answer-apply") return number_into(key, value, card.answer_apply, 1);
    if (key == "error") return number_into(key, value, f.answer_error, 1);
    if (key == "silent") return number_into(key, value, f.silent, 1);
    if (key == "delay") return number_into(key, value, f.delay_ms, 600000);
    if (key == "close-after") return number_into(key, value, f.close_after_data_frames, 1u << 30);
    if (key == "read-rate") return number_into(key, value, f.read_rate, 1u << 30);
    if (key == "stop-reading-after") return number_into(key, value, f.stop_reading_after, 1u << 30);
    if (key == "fault-command") return number_into(key, value, f.only_command, 0xFF);
    if (key == "malformed") {
        if (value == "short")
            f.malformed = Malformed::Short;
        else if (value == "no-lead-in")
            f.malformed = Malformed::NoLeadIn;
        else if (value == "bogus-length")
            f.malformed = Malformed::BogusLength;
        else if (value == "garbage")
            f.malformed = Malformed::Garbage;
        else if (value == "other-command")
            f.malformed = Malformed::OtherCommand;
        else if (value == "none")
            f.malformed = Malformed::None;
        else
            return "bad malformed kind: " + std::string(value);
        return {};
    }
    return "unknown card option: " + std::string(key);
}

std::string parse_config_text(std::string_view text, SimulatorConfig& config) {
    std::istringstream in{std::string(text)};
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;) w.push_back(s);
        if (w.empty()) continue;
        std::string err;
        const auto& k = w[0];
        if (k == "card" && w.size() >= 3) {
            CardConfig card;
            card.id = w[1];
            card.address = w[2];
            for (std::size_t i = 3; i < w.size() && err.empty(); ++i) err = apply_card_option(card, w[i]);
            if (err.empty()) config.cards.push_back(std::move(card));
        } else if (k == "cards" && w.size() >= 2 && w.size() <= 4) {
            err =
                add_generated(config, w[1], w.size() > 2 ? w[2] : "127.0.0.2", w.size() > 3 ? w[3] : "mixed");
        } else if (k == "allow-duplicates" && w.size() == 1) {
            config.allow_duplicate_addresses = true;
        } else if (k == "no-discovery-socket" && w.size() == 1) {
            config.discovery_socket = false;
        } else if (k == "storage" && w.size() == 2) {
            config.storage_root = w[1];
        } else if (k == "journal" && w.size() == 2) {
            config.journal_file = w[1] == "-" ? "/dev/stdout" : w[1];
        } else {
            err = "cannot read this line";
        }
        if (!err.empty()) return "line " + std::to_string(number) + ": " + err;
    }
    return {};
}

ParsedArgs parse_args(const std::vector<std::string>& args) {
    ParsedArgs out;
    auto& c = out.config;
    std::string count, first = "127.0.0.2", family = "mixed";
    // The help is kUsage (it also lists the card keys): CLI11 reads the options only. Cards from --card
    // and --config keep the order they were given in, so their options take effect as they are read.
    CLI::App app("Simulated LED control cards", "ledcard-sim");
    app.set_help_flag();
    app.add_flag("-h,--help", out.help);
    auto note = [&out](std::string error) {
        if (out.error.empty()) out.error = std::move(error);
    };
    app.add_option_function<std::string>("--card", [&](const std::string& v) { note(add_card(c, v)); })
        ->trigger_on_parse()
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option_function<std::string>("--config",
                                         [&](const std::string& path) {
                                             std::ifstream f(path);
                                             if (!f) return note("cannot read " + path);
                                             std::stringstream text;
                                             text << f.rdbuf();
                                             if (auto err = parse_config_text(text.str(), c); !err.empty())
                                                 note(path + ": " + err);
                                         })
        ->trigger_on_parse()
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--cards", count);
    app.add_option("--first-address", first);
    app.add_option("--family", family);
    app.add_flag_callback("--allow-duplicates", [&c] { c.allow_duplicate_addresses = true; });
    app.add_flag_callback("--no-discovery-socket", [&c] { c.discovery_socket = false; });
    app.add_flag("--show", out.show);
    app.add_option("--storage", c.storage_root);
    app.add_option_function<std::string>(
        "--journal", [&c](const std::string& v) { c.journal_file = v == "-" ? "/dev/stdout" : v; });

    std::vector<const char*> argv{"ledcard-sim"};
    for (const auto& a : args) argv.push_back(a.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ExtrasError& e) {
        note("unknown option: " + (e.what() + std::string()).substr(std::string(e.what()).rfind(' ') + 1));
    } catch (const CLI::ArgumentMismatch& e) {
        note(std::string(e.what()) + " (the option needs a value)");
    } catch (const CLI::ParseError& e) {
        note(e.what());
    }
    if (out.help) {
        out.error.clear();
        return out;
    }
    if (out.error.empty() && !count.empty()) out.error = add_generated(c, count, first, family);
    if (out.error.empty() && c.cards.empty()) out.error = "no cards: give --card, --cards or --config";
    return out;
}

}  // namespace sim
