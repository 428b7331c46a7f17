#include "cli/command_line.h"

#include <arpa/inet.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <sstream>

#include "fleet/inventory.h"

namespace cli {
namespace {

constexpr const char* kFooter =
    R"(Without --card, frames carry the identifier the desktop program uses for a card given by address.
--json prints one JSON object on standard output (docs/command-line.md).

Exit status:
  0  done
  1  the card refused, or the transfer broke off
  2  the command line is wrong (nothing was sent)
  3  a file cannot be read or written, or is not what the command needs
  4  no card: no connection, no answer, or no card answered the search
  5  the layout is refused (its inputs, or it does not fit the card's mapping table), or a fleet plan
     is refused because its cards or firmware changed since it was made (nothing was sent)

See docs/command-line.md for the options and JSON output that vantor-cli and kelvra share, and
docs/fleet.md for the fleet commands, their plan file and state file.
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

// Whole numbers are decimal digits only: "64x", "-1" and "" are usage errors, not 64, a wrap or 0.
const CLI::Validator kNumber(
    [](std::string& text) -> std::string {
        if (text.empty() ||
            !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
            return "not a whole number: \"" + text + "\"";
        const auto first = text.find_first_not_of('0');
        text = first == std::string::npos ? "0" : text.substr(first);
        return {};
    },
    "", "number");

const CLI::Validator kAddress(
    [](std::string& text) -> std::string {
        in_addr a{};
        return text.size() <= 15 && inet_pton(AF_INET, text.c_str(), &a) == 1
                   ? std::string()
                   : "not an IPv4 address (such as 192.168.0.7): \"" + text + "\"";
    },
    "", "address");

const CLI::Validator kCardId(
    [](std::string& text) -> std::string {
        return !text.empty() && text.size() <= 16 ? std::string()
                                                  : "a card id has 1 to 16 characters: \"" + text + "\"";
    },
    "", "card id");

void add_output(CLI::App* c, Output& o, bool trace) {
    c->add_flag("--json", o.json, "print one JSON object on standard output");
    if (trace)
        c->add_flag("--trace", o.trace, "print every frame sent and received, in hex, on standard error");
}

CLI::Option* add_size(CLI::App* c, const char* name, std::uint32_t& value, const char* what) {
    return c->add_option(name, value, what)->required()->transform(kNumber);
}

void add_layout_sizes(CLI::App* c, LayoutOptions& o, bool modules) {
    add_size(c, "--width", o.width, "screen width in pixels");
    add_size(c, "--height", o.height, "screen height in pixels");
    if (modules) {
        add_size(c, "--module-width", o.module_width, "module width in pixels");
        add_size(c, "--module-height", o.module_height, "module height in pixels");
    }
}

void add_files(CLI::App* c, LayoutOptions& o, bool preview) {
    c->add_option("-o,--output", o.file, "write the screen configuration image to FILE")->type_name("FILE");
    if (preview)
        c->add_option("--preview", o.preview,
                      "draw the wiring to PICTURE (PNG, or JPEG/GIF by the name's extension)")
            ->type_name("PICTURE");
}

void add_send(CLI::App* c, SendOptions& o, const char* file_help) {
    c->add_option("--card", o.card_id, "the card's identifier, e.g. S730-413-05862")
        ->type_name("ID")
        ->check(kCardId);
    c->add_option("--address", o.address, "the card's IPv4 address")
        ->type_name("IP")
        ->required()
        ->check(kAddress);
    c->add_option("FILE", o.file, file_help)->required();
    add_output(c, o.output, true);
}

CLI::App* add_report(CLI::App& app, ReportOptions& o) {
    auto* c = app.add_subcommand(
        "report",
        "write the commissioning report of a card (its identifier, address, versions, screen size and the "
        "module's settings in words, read from the card) as PDF and HTML");
    c->add_option("--card", o.card_id, "the card's identifier, e.g. S730-413-05862")
        ->type_name("ID")
        ->check(kCardId);
    c->add_option("--address", o.address, "the card's IPv4 address")
        ->type_name("IP")
        ->required()
        ->check(kAddress);
    c->add_option("--profile", o.profile, "the module profile the card's settings came from")
        ->type_name("NAME");
    c->add_option("--site", o.site, "where the screen stands, as it is to appear in the report")
        ->type_name("TEXT")
        ->required();
    c->add_option("--technician", o.technician, "who commissioned it")->type_name("TEXT")->required();
    c->add_option("--pdf", o.pdf, "write the report as PDF to FILE")->type_name("FILE");
    c->add_option("--html", o.html, "write the report as an HTML page to FILE")->type_name("FILE");
    c->add_option(
         "--language", o.language,
         "English_zavo (default), Chinese_zavo_s (simplified) or Chinese_zavo_t (traditional Chinese)")
        ->type_name("NAME")
        ->check(
            CLI::IsMember(std::vector<std::string>(std::begin(kReportLanguages), std::end(kReportLanguages)))
                .description(""));
    add_output(c, o.output, true);
    return c;
}

const CLI::Validator kVersion(
    [](std::string& text) -> std::string {
        return fleet::parse_version(text) ? std::string() : "not a version such as V9.120: \"" + text + "\"";
    },
    "", "version");

void add_search(CLI::App* c, FleetSearch& s) {
    c->add_option("--address", s.address,
                  "where the search goes (default 255.255.255.255, every card on the network)")
        ->type_name("IP")
        ->check(kAddress);
    c->add_option("--timeout", s.timeout_ms,
                  "how long answers to the search are collected, in milliseconds, 1 to 600000 (default 1500)")
        ->type_name("MS")
        ->transform(kNumber)
        ->check(CLI::Range(std::uint32_t{1}, kMaxDiscoveryMs).description(""));
    c->add_option("--parallel", s.parallel, "cards worked on at once, 1 to 256 (default 8)")
        ->type_name("N")
        ->transform(kNumber)
        ->check(CLI::Range(std::uint32_t{1}, kMaxFleetParallel).description(""));
}

void add_plan(CLI::App* c, FleetPlanOptions& o, const char* source_name, const char* source_help) {
    add_search(c, o.search);
    c->add_option(source_name, o.source, source_help)->required();
    c->add_option("--plan", o.plan_file, "write the plan to FILE")->type_name("FILE")->required();
    c->add_option("--cards", o.cards, "only these cards (identifiers, separated by commas)")
        ->type_name("ID,...")
        ->delimiter(',')
        ->check(kCardId);
    c->add_option("--below", o.below, "only cards whose software version is below VERSION (e.g. V9.200)")
        ->type_name("VERSION")
        ->check(kVersion);
    c->add_flag("--stop-on-failure", o.stop_on_failure,
                "start no further card once one has failed (default: go on with the others)");
    c->add_flag("--json", o.output.json, "print one JSON object on standard output");
}

bool is_command(const CLI::App& app, const std::string& name) {
    const std::function<bool(const CLI::App*)> named = [&name](const CLI::App* c) {
        return c->get_name() == name;
    };
    return !app.get_subcommands(named).empty();
}

}  // namespace

ParsedCommandLine parse_command_line(const std::vector<std::string>& args, const std::string& version) {
    ParsedCommandLine result;
    DiscoverOptions discover_options;
    LayoutOptions strip_options, vertical_options, direction_options;
    SendOptions image_options, hcp_options;
    ReportOptions report_options;
    strip_options.kind = LayoutKind::Strip;
    vertical_options.kind = LayoutKind::Vertical;
    direction_options.kind = LayoutKind::Direction;

    CLI::App app("vantor-cli: LED control card set-up from the command line.", "vantor-cli");
    app.formatter(std::make_shared<Formatter>());
    app.get_formatter()->column_width(34);
    app.footer(kFooter);
    app.set_version_flag("-V,--version", "vantor-cli " + version);
    app.require_subcommand(1);

    auto* discover = app.add_subcommand(
        "discover",
        "search for control cards (UDP broadcast, port 31296) and list those that answer: identifier, "
        "address, hardware and software versions, screen size");
    discover
        ->add_option("--address", discover_options.address,
                     "where the search goes (default 255.255.255.255, every card on the network)")
        ->type_name("IP")
        ->check(kAddress);
    discover
        ->add_option("--timeout", discover_options.timeout_ms,
                     "how long answers are collected, in milliseconds, 1 to 600000 (default 1500)")
        ->type_name("MS")
        ->transform(kNumber)
        ->check(CLI::Range(std::uint32_t{1}, kMaxDiscoveryMs).description(""));
    add_output(discover, discover_options.output, true);

    auto* layout = app.add_subcommand(
        "layout",
        "build the screen configuration image (2,097,588 bytes, as \"temp.sys\") of a special screen and "
        "write it to FILE");
    layout->require_subcommand(1);
    auto* strip = layout->add_subcommand("strip", "a long strip: P HUB ports carry one row of modules");
    add_layout_sizes(strip, strip_options, true);
    add_size(strip, "--ports", strip_options.ports, "HUB ports");
    add_files(strip, strip_options, true);
    add_output(strip, strip_options.output, false);
    auto* vertical = layout->add_subcommand(
        "vertical",
        "a vertical screen: R module rows chained per port; method 1 down and up the module columns, 2 "
        "per unit board, 3 cascaded cabinets");
    add_layout_sizes(vertical, vertical_options, true);
    add_size(vertical, "--rows", vertical_options.rows, "module rows per port");
    vertical->add_option("--method", vertical_options.method, "wiring method 1, 2 or 3 (default 1)")
        ->transform(kNumber)
        ->check(CLI::Range(1, 3).description(""));
    vertical->add_flag("--bottom-to-top", vertical_options.bottom_to_top, "rows are chained from the bottom");
    add_files(vertical, vertical_options, true);
    add_output(vertical, vertical_options.output, false);
    auto* direction = layout->add_subcommand(
        "direction",
        "a turned or mirrored screen: 0 normal, 1 270 deg, 2 90 deg, 3 180 deg, 4 mirrored horizontally, "
        "5 vertically, 6 270 deg + mirror, 7 90 deg + mirror, 8 180 deg + mirror");
    add_layout_sizes(direction, direction_options, false);
    add_size(direction, "--direction", direction_options.direction, "0 to 8")
        ->check(CLI::Range(0, 8).description(""));
    add_files(direction, direction_options, false);
    direction->get_option("--output")->required();
    add_output(direction, direction_options.output, false);

    auto* send_image = app.add_subcommand(
        "send-image",
        "send a screen configuration image to the card (TCP port 31298), which keeps it as \"Config.sys\", "
        "then tell the card to apply it; exit 0 only when the card acknowledges the apply command");
    add_send(send_image, image_options, "the screen configuration image");
    auto* send_hcp =
        app.add_subcommand("send-hcp", "send the screen parameters of a \".hcp\" file to the card");
    add_send(send_hcp, hcp_options, "the .hcp file");
    send_hcp->add_flag("--force", hcp_options.force, "send a file whose check sum does not match");
    auto* report = add_report(app, report_options);

    std::vector<std::pair<CLI::App*, ProfileOptions>> profile_commands;
    profile_commands.reserve(7);  // the options are bound by address: no reallocation
    auto* profile = app.add_subcommand(
        "profile",
        "the module library: profiles of LED modules (a \".hcp\" record with the module's name and values), "
        "kept in $XDG_DATA_HOME/vantor/profiles (docs/module-profiles.md)");
    profile->require_subcommand(1);
    auto add_profile = [&](const char* name, const char* help, ProfileAction action) -> ProfileOptions& {
        auto& [sub, o] = profile_commands.emplace_back(profile->add_subcommand(name, help), ProfileOptions{});
        o.action = action;
        add_output(sub, o.output, action == ProfileAction::Apply);
        return o;
    };
    auto name_argument = [](CLI::App* sub, ProfileOptions& o) {
        sub->add_option("NAME", o.name, "the profile's name (a damaged file: its file name)")->required();
    };
    add_profile("list", "list the profiles, damaged ones with what is wrong", ProfileAction::List);
    {
        auto& o = add_profile("show", "show a profile's values in words and its record", ProfileAction::Show);
        name_argument(profile_commands.back().first, o);
    }
    {
        auto& o =
            add_profile("apply",
                        "send a profile's screen parameters to cards, as send-hcp does; exit 0 only when "
                        "every card took them",
                        ProfileAction::Apply);
        auto* sub = profile_commands.back().first;
        name_argument(sub, o);
        sub->add_option("--address", o.addresses,
                        "a card's IPv4 address (repeat for several cards); with --all: where the search goes "
                        "(default 255.255.255.255)")
            ->type_name("IP")
            ->check(kAddress);
        sub->add_option("--card", o.card_ids,
                        "the identifier of the card at each --address, in the same order")
            ->type_name("ID")
            ->check(kCardId);
        sub->add_flag("--all", o.all, "every card that answers a search");
        sub->add_option("--timeout", o.timeout_ms,
                        "--all: how long answers are collected, in milliseconds, 1 to 600000 (default 1500)")
            ->type_name("MS")
            ->transform(kNumber)
            ->check(CLI::Range(std::uint32_t{1}, kMaxDiscoveryMs).description(""));
    }
    {
        auto& o = add_profile("import", "add a profile file to the library", ProfileAction::Import);
        auto* sub = profile_commands.back().first;
        sub->add_option("FILE", o.file, "the profile file")->required();
        sub->add_flag("--replace", o.replace, "replace a profile of the same name");
    }
    {
        auto& o = add_profile("export", "write a profile to a file", ProfileAction::Export);
        auto* sub = profile_commands.back().first;
        name_argument(sub, o);
        sub->add_option("FILE", o.file, "the file to write")->required();
    }
    {
        auto& o = add_profile("export-all", "write every good profile and its picture to one archive (tar)",
                              ProfileAction::ExportAll);
        profile_commands.back().first->add_option("FILE", o.file, "the archive to write")->required();
    }
    {
        auto& o = add_profile("import-all", "add every profile of an archive to the library",
                              ProfileAction::ImportAll);
        auto* sub = profile_commands.back().first;
        sub->add_option("FILE", o.file, "the archive")->required();
        sub->add_flag("--replace", o.replace, "replace profiles of the same name");
    }

    FleetInventoryOptions inventory_options;
    FleetPlanOptions upgrade_plan, hcp_plan;
    FleetCommitOptions commit_options;
    upgrade_plan.action = FleetAction::Upgrade;
    hcp_plan.action = FleetAction::SendHcp;
    auto* fleet = app.add_subcommand(
        "fleet", "work on many cards: an inventory, and plans (upgrade, send-hcp) that a commit carries out");
    fleet->require_subcommand(1);
    auto* inventory = fleet->add_subcommand(
        "inventory",
        "search for cards and read each one's information (identifier, address, versions, screen, gray "
        "level, scan clock, module parameters), several at once; as a table, CSV or JSON");
    add_search(inventory, inventory_options.search);
    inventory->add_flag("--csv", inventory_options.csv, "print CSV, one line per card");
    inventory->add_flag("--json", inventory_options.output.json, "print one JSON object on standard output");
    inventory->get_option("--csv")->excludes("--json");
    auto* plan = fleet->add_subcommand(
        "plan", "search for cards, print what an action would change on each and write the plan to a file");
    plan->require_subcommand(1);
    auto* plan_upgrade = plan->add_subcommand(
        "upgrade", "a firmware upgrade (the files below \"Kernel\" and \"Application\" of FOLDER)");
    add_plan(plan_upgrade, upgrade_plan, "FOLDER", "the firmware folder");
    plan_upgrade
        ->add_option("--to-version", upgrade_plan.to_version,
                     "the version the firmware brings, for the plan's text; cards at it are left out")
        ->type_name("VERSION")
        ->check(kVersion);
    auto* plan_hcp = plan->add_subcommand("send-hcp", "the screen parameters of a \".hcp\" file");
    add_plan(plan_hcp, hcp_plan, "FILE", "the .hcp file");
    plan_hcp->add_flag("--force", hcp_plan.force, "plan a file whose check sum does not match");
    auto* commit = fleet->add_subcommand(
        "commit",
        "carry out a plan: check that the cards are as planned (else nothing is sent), then work on each; "
        "cards done by an earlier run of the same plan are skipped");
    commit->add_option("PLAN", commit_options.plan_file, "the plan file")->required();
    commit->add_flag("--json", commit_options.output.json, "print one JSON object on standard output");

    std::vector<const char*> argv{"vantor-cli"};
    for (const auto& a : args) argv.push_back(a.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::Success& e) {  // --help, --version
        std::ostringstream out, err;
        app.exit(e, out, err);
        result.output = out.str() + err.str();
        return result;
    } catch (const CLI::ParseError& e) {
        result.error = args.empty() ? std::string("no command given") : std::string(e.what());
        const auto& first = args.empty() ? std::string() : args.front();
        if (!first.empty() && first.front() != '-' && !is_command(app, first))
            result.error = "unknown command " + first;
        return result;
    }
    for (const auto& [sub, options] :
         {std::pair{strip, &strip_options}, std::pair{vertical, &vertical_options}})
        if (sub->parsed() && !options->file && !options->preview) {
            result.error = "layout " + sub->get_name() + ": give -o FILE, --preview PICTURE or both";
            return result;
        }
    for (auto& [sub, o] : profile_commands) {
        if (!sub->parsed()) continue;
        if (o.action == ProfileAction::Apply) {
            if (o.all ? (o.addresses.size() > 1 || !o.card_ids.empty()) : o.addresses.empty()) {
                result.error = "profile apply: give --address IP (and --card ID) for each card, or --all";
                return result;
            }
            if (!o.all && !o.card_ids.empty() && o.card_ids.size() != o.addresses.size()) {
                result.error = "profile apply: give one --card for each --address, or none";
                return result;
            }
            if (o.all && !o.addresses.empty()) o.search_address = o.addresses.front();
        }
        result.options = o;
        return result;
    }
    if (discover->parsed()) {
        result.options = discover_options;
    } else if (strip->parsed()) {
        result.options = strip_options;
    } else if (vertical->parsed()) {
        result.options = vertical_options;
    } else if (direction->parsed()) {
        result.options = direction_options;
    } else if (send_image->parsed()) {
        result.options = image_options;
    } else if (send_hcp->parsed()) {
        result.options = hcp_options;
        result.send_hcp = true;
    } else if (report->parsed()) {
        if (!report_options.pdf && !report_options.html) {
            result.error = "report: give --pdf FILE, --html FILE or both";
            return result;
        }
        result.options = report_options;
    } else if (inventory->parsed()) {
        result.options = inventory_options;
    } else if (plan_upgrade->parsed()) {
        result.options = upgrade_plan;
    } else if (plan_hcp->parsed()) {
        result.options = hcp_plan;
    } else if (commit->parsed()) {
        result.options = commit_options;
    }
    return result;
}

}  // namespace cli
