#include "cli/commands.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>

#include "cardlink/card_exchange.h"
#include "cardlink/card_link.h"
#include "cardlink/local_addresses.h"
#include "cli/arguments.h"
#include "common/card_info.h"
#include "platform/registry_store.h"
#include "screenconfig/image_transfer.h"
#include "screenconfig/record_files.h"
#include "screenconfig/screen_files.h"
#include "screenconfig/special_layout.h"
#include "specialscreens/wiring_preview.h"

namespace cli {

namespace {

using namespace screenconfig;

// The result of a command: printed as text, or as one JSON object with --json.
class Report {
  public:
    explicit Report(bool json) : json_(json) {}
    bool json() const { return json_; }

    void set(const char* key, const QJsonValue& value) { object_.insert(QLatin1String(key), value); }
    void line(const std::string& text) {
        if (!json_) std::cout << text << '\n';
    }
    // Ends a command: the JSON object, or nothing more for text. Returns `code`.
    int done(int code) {
        if (json_) {
            object_.insert(QStringLiteral("ok"), code == kOk);
            object_.insert(QStringLiteral("exitCode"), code);
            std::cout << QJsonDocument(object_).toJson(QJsonDocument::Indented).toStdString();
        }
        std::cout.flush();
        return code;
    }
    int fail(int code, const std::string& error, const std::string& message) {
        if (json_) {
            set("error", QString::fromStdString(error));
            set("message", QString::fromStdString(message));
        } else {
            std::cerr << "vantor-cli: " << message << '\n';
        }
        return done(code);
    }

  private:
    bool json_;
    QJsonObject object_;
};

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

int usage_error(const std::string& command, const std::string& message) {
    std::cerr << "vantor-cli: " << message << "\n\n" << usage(command);
    return kUsage;
}

std::string problem_name(LayoutProblem p) {
    switch (p) {
        case LayoutProblem::ModuleWidthZero:
            return "ModuleWidthZero";
        case LayoutProblem::ModuleWidthNotMultipleOf4:
            return "ModuleWidthNotMultipleOf4";
        case LayoutProblem::ModuleHeightZero:
            return "ModuleHeightZero";
        case LayoutProblem::ModuleHeightNotMultipleOf4:
            return "ModuleHeightNotMultipleOf4";
        case LayoutProblem::CountTooSmall:
            return "CountTooSmall";
        case LayoutProblem::RetraceTooLarge:
            return "RetraceTooLarge";
        case LayoutProblem::NoMethod:
            return "NoMethod";
        case LayoutProblem::MethodNotDrawn:
            return "MethodNotDrawn";
        case LayoutProblem::SegmentTooWide:
            return "SegmentTooWide";
        case LayoutProblem::ScreenEmpty:
            return "ScreenEmpty";
        case LayoutProblem::OutsideTable:
            return "OutsideTable";
    }
    return {};
}

std::string problem_text(const LayoutRefusal& r) {
    switch (r.problem) {
        case LayoutProblem::ModuleWidthZero:
            return "the module width must not be 0";
        case LayoutProblem::ModuleWidthNotMultipleOf4:
            return "the module width must be a multiple of 4";
        case LayoutProblem::ModuleHeightZero:
            return "the module height must not be 0";
        case LayoutProblem::ModuleHeightNotMultipleOf4:
            return "the module height must be a multiple of 4";
        case LayoutProblem::CountTooSmall:
            return "the number of HUB ports (--ports) or module rows per port (--rows) must be greater than "
                   "1";
        case LayoutProblem::RetraceTooLarge:
            return "RetraceTimes too large: rows per port x screen width must not exceed 1024";
        case LayoutProblem::NoMethod:
            return "choose a wiring method (--method 1, 2 or 3)";
        case LayoutProblem::MethodNotDrawn:
            return "method 3 (cascaded cabinets) has no wiring preview; choose method 1 or 2 for --preview";
        case LayoutProblem::SegmentTooWide:
            return "set error: each port's segment (width / ports, in whole modules) must not exceed 1024 "
                   "pixels; use more ports";
        case LayoutProblem::ScreenEmpty:
            return "the screen width and height must not be 0";
        case LayoutProblem::OutsideTable:
            return "the layout does not fit the card's mapping table (512 rows of 1024 pixels): " + r.detail;
    }
    return {};
}

int refused(Report& report, const LayoutRefusal& r) {
    report.set("problem", qs(problem_name(r.problem)));
    report.set("key", qs(problem_key(r.problem)));
    return report.fail(kRefused, "refused", problem_text(r));
}

// The screen and module sizes every layout takes.
struct Sizes {
    std::uint32_t width = 0, height = 0, module_width = 0, module_height = 0;
};

std::string required_missing(Arguments& a, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (!a.text(n)) return std::string("--") + n + " is required";
    return {};
}

std::optional<VerticalMethod> method_of(std::uint32_t n) {
    switch (n) {
        case 1:
            return VerticalMethod::CabinetWidth;
        case 2:
            return VerticalMethod::UnitBoard;
        case 3:
            return VerticalMethod::CascadedCabinets;
        default:
            return std::nullopt;
    }
}

int save_preview(Report& report, const WiringPlan& plan, const specialscreens::PreviewTexts& texts,
                 const std::string& file) {
    if (!specialscreens::drawable(plan))
        return report.fail(kRefused, "too_many_modules",
                           "the screen has too many modules to draw (" + std::to_string(plan.columns) +
                               " x " + std::to_string(plan.rows) + "; at most " +
                               std::to_string(specialscreens::kMaxModules) + " a side)");
    const QImage picture = specialscreens::render_wiring(plan, texts);
    if (!specialscreens::save_picture(picture, file, specialscreens::format_for(file)))
        return report.fail(kFileError, "write_failed", "cannot write the preview " + file);
    report.set("preview", qs(file));
    report.line("wiring preview written to " + file);
    return kOk;
}

// Progress of a transfer as a bar on a terminal's standard error; nothing when it is not a terminal.
class TerminalProgress final : public TransferObserver {
  public:
    explicit TerminalProgress(bool show) : show_(show) {}
    void progress_opened(int steps) override {
        steps_ = steps;
        done_ = 0;
        draw();
    }
    void progress_step() override {
        ++done_;
        draw();
    }
    void progress_closed() override {
        if (show_ && steps_ > 0) std::fputc('\n', stderr);
    }
    void message(const std::string&) override {}  // the outcome says it in the program's own words

  private:
    void draw() {
        if (!show_ || steps_ <= 0) return;
        const int shown = std::min(done_, steps_);
        const int width = 40;
        const int filled = shown * width / steps_;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%  %d/%d", filled, "########################################",
                     width - filled, "", shown * 100 / steps_, shown, steps_);
        std::fflush(stderr);
    }
    bool show_;
    int steps_ = 0;
    int done_ = 0;
};

cardlink::CardTarget target_of(Arguments& a) {
    // Without an id the frames carry the one the desktop program uses for a card given by address.
    return {a.text("id").value_or(std::string(cardlink::kCheckCardId)), a.text("card").value_or("")};
}

}  // namespace

std::string usage(const std::string& command) {
    const std::map<std::string, std::string> texts = {
        {"discover",
         "vantor-cli discover [--address A] [--timeout MS] [--json]\n"
         "  Searches for control cards (UDP broadcast to A, default 255.255.255.255, port 31296) and lists\n"
         "  those that answer within MS milliseconds (default 1500): identifier, address, hardware and\n"
         "  software versions, screen size. Exit 5 when no card answered.\n"},
        {"layout",
         "vantor-cli layout strip --width W --height H --module-width MW --module-height MH --ports P\n"
         "                 -o FILE [--preview PICTURE] [--json]\n"
         "vantor-cli layout vertical --width W --height H --module-width MW --module-height MH --rows R\n"
         "                 [--method 1|2|3] [--bottom-to-top] -o FILE [--preview PICTURE] [--json]\n"
         "vantor-cli layout direction --width W --height H --direction 0..8 -o FILE [--json]\n"
         "  Builds the screen configuration image (2,097,588 bytes, as \"temp.sys\") of a long strip\n"
         "  (P HUB ports carry one row of modules), a vertical screen (R module rows chained per port;\n"
         "  method 1 down and up the module columns, 2 per unit board, 3 cascaded cabinets; default 1)\n"
         "  or a turned or mirrored screen (0 normal, 1 270 deg, 2 90 deg, 3 180 deg, 4 mirrored\n"
         "  horizontally, 5 vertically, 6 270 deg + mirror, 7 90 deg + mirror, 8 180 deg + mirror) and\n"
         "  writes it to FILE. --preview draws the wiring (PNG, or JPEG/GIF by the name's extension).\n"
         "  Exit 3 when the layout is refused.\n"},
        {"send-image",
         "vantor-cli send-image --card ADDRESS [--id CARD_ID] FILE [--json]\n"
         "  Sends a screen configuration image to the card at ADDRESS (TCP port 31298), which keeps it as\n"
         "  \"Config.sys\", then tells the card to apply it. A bar shows the progress on a terminal.\n"
         "  Exit 0 only when the card acknowledged the apply command; 1 when it refused it, did not\n"
         "  answer it, or the transfer broke off.\n"},
        {"send-hcp",
         "vantor-cli send-hcp --card ADDRESS [--id CARD_ID] FILE.hcp [--force] [--json]\n"
         "  Sends the screen parameters of a \".hcp\" file to the card at ADDRESS. A file whose check sum\n"
         "  does not match is sent only with --force.\n"},
    };
    if (const auto it = texts.find(command); it != texts.end()) return it->second;
    std::string all =
        "vantor-cli: LED control card set-up from the command line.\n\n"
        "usage: vantor-cli COMMAND [OPTIONS]   (vantor-cli COMMAND --help for one command)\n\n";
    for (const char* c : {"discover", "layout", "send-image", "send-hcp"}) all += texts.at(c) + "\n";
    all +=
        "Without --id, frames carry the identifier the desktop program uses for a card given by address.\n"
        "--json prints one JSON object with \"ok\" and \"exitCode\" on standard output.\n"
        "Exit codes: 0 done, 1 the card refused or the transfer broke off, 2 wrong command line,\n"
        "3 layout refused, 4 file error, 5 card not reachable or no card found.\n";
    return all;
}

int run_layout(const std::vector<std::string>& words) {
    Arguments a(words, {"json", "bottom-to-top", "help", "h"});
    if (a.flag("help") || a.flag("h")) {
        std::cout << usage("layout");
        return kOk;
    }
    Report report(a.flag("json"));
    if (a.positional().size() != 1)
        return usage_error("layout", "name one layout: strip, vertical or direction");
    const std::string kind = a.positional()[0];
    const auto output = a.text("o");
    const auto preview = a.text("preview");
    const std::string missing = required_missing(a, {"width", "height"});
    Sizes s;
    s.width = a.number("width").value_or(0);
    s.height = a.number("height").value_or(0);

    ScreenConfig image;
    std::optional<LayoutRefusal> refusal;
    std::optional<WiringPlan> plan;
    specialscreens::PreviewTexts texts;
    texts.legend = "J1, J2, ...: HUB ports   arrows: the cable's direction   numbers: order on the cable";
    const std::string size_text = std::to_string(s.width) + " x " + std::to_string(s.height);
    if (kind == "strip" || kind == "vertical") {
        std::string more =
            required_missing(a, {"module-width", "module-height", kind == "strip" ? "ports" : "rows"});
        s.module_width = a.number("module-width").value_or(0);
        s.module_height = a.number("module-height").value_or(0);
        const std::string module_text =
            std::to_string(s.module_width) + " x " + std::to_string(s.module_height);
        if (kind == "strip") {
            const LongStripInput in{s.width, s.height, s.module_width, s.module_height, a.number("ports")};
            if (!a.check_all_used()) return usage_error("layout", a.error());
            if (!missing.empty() || !more.empty())
                return usage_error("layout", missing.empty() ? more : missing);
            if (!output && !preview) return usage_error("layout", "give -o FILE, --preview PICTURE or both");
            if (output) refusal = build_long_strip(in, image);
            if (!refusal && preview) {
                refusal = check_long_strip(in, LayoutAction::Preview);
                plan = long_strip_wiring(in);
                texts.caption = "Long strip " + size_text + "   module " + module_text + "   " +
                                std::to_string(*in.ports) + " HUB ports per module row";
            }
        } else {
            VerticalInput in{s.width,
                             s.height,
                             s.module_width,
                             s.module_height,
                             a.number("rows"),
                             VerticalMethod::CabinetWidth,
                             a.flag("bottom-to-top")};
            const auto method = a.number("method");
            if (!a.check_all_used()) return usage_error("layout", a.error());
            if (!missing.empty() || !more.empty())
                return usage_error("layout", missing.empty() ? more : missing);
            if (method) {
                const auto m = method_of(*method);
                if (!m) return usage_error("layout", "--method must be 1, 2 or 3");
                in.method = *m;
            }
            if (!output && !preview) return usage_error("layout", "give -o FILE, --preview PICTURE or both");
            if (output) refusal = build_vertical(in, image);
            if (!refusal && preview) {
                refusal = check_vertical(in, LayoutAction::Preview);
                plan = vertical_wiring(in);
                texts.caption = "Vertical screen " + size_text + "   module " + module_text + "   " +
                                std::to_string(in.retrace.value_or(0)) + " module rows per port   method " +
                                std::to_string(static_cast<int>(in.method)) +
                                (in.bottom_to_top ? "   bottom to top" : "");
            }
        }
    } else if (kind == "direction") {
        const auto direction = a.number("direction");
        if (!a.check_all_used()) return usage_error("layout", a.error());
        if (!missing.empty()) return usage_error("layout", missing);
        if (!direction || *direction >= static_cast<std::uint32_t>(kDirectionCount))
            return usage_error("layout", "--direction must be a number from 0 to 8");
        if (preview) return usage_error("layout", "a direction has no wiring preview");
        if (!output) return usage_error("layout", "-o FILE is required");
        refusal = build_direction(s.width, s.height, static_cast<Direction>(*direction), image);
    } else {
        return usage_error("layout", "unknown layout \"" + kind + "\" (strip, vertical or direction)");
    }
    report.set("layout", qs(kind));
    if (refusal) return refused(report, *refusal);

    if (output) {
        finish(image);
        const auto written = write_temp_sys(image, *output);
        if (written != WriteStatus::Ok)
            return report.fail(kFileError, "write_failed", describe(written, *output));
        report.set("file", qs(*output));
        report.set("bytes", static_cast<qint64>(kImageSize));
        report.set("tableWidth", static_cast<qint64>(image.get(ConfigField::tableWidth)));
        report.set("tableHeight", static_cast<qint64>(image.get(ConfigField::tableHeight)));
        report.set("wordSum", static_cast<qint64>(image.get(ConfigField::wordSum)));
        char sum[16];
        std::snprintf(sum, sizeof sum, "0x%08X", image.get(ConfigField::wordSum));
        report.line("image written to " + *output + " (tableWidth " +
                    std::to_string(image.get(ConfigField::tableWidth)) + ", tableHeight " +
                    std::to_string(image.get(ConfigField::tableHeight)) + ", word sum " + sum + ")");
    }
    if (preview && plan) {
        if (const int code = save_preview(report, *plan, texts, *preview); code != kOk) return code;
    }
    return report.done(kOk);
}

int run_send_image(const std::vector<std::string>& words) {
    Arguments a(words, {"json", "help", "h"});
    if (a.flag("help") || a.flag("h")) {
        std::cout << usage("send-image");
        return kOk;
    }
    Report report(a.flag("json"));
    const cardlink::CardTarget target = target_of(a);
    if (!a.check_all_used()) return usage_error("send-image", a.error());
    if (target.address.empty()) return usage_error("send-image", "--card ADDRESS is required");
    if (a.positional().size() != 1) return usage_error("send-image", "name one image file");
    const std::filesystem::path file = a.positional()[0];
    report.set("card", qs(target.address));
    report.set("file", qs(file.string()));

    // Only a whole, intact image goes to a card: a wrong file would scramble the screen.
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec || size != kImageSize)
        return report.fail(kFileError, "not_an_image",
                           file.string() + " is not a screen configuration image (2,097,588 bytes)");
    {
        ScreenConfig image;
        std::ifstream in(file, std::ios::binary);
        in.read(reinterpret_cast<char*>(image.bytes().data()), static_cast<std::streamsize>(kImageSize));
        if (!in) return report.fail(kFileError, "read_failed", "cannot read " + file.string());
        if (image.get(ConfigField::magic) != kLedMarker || image.get(ConfigField::endMarker) != kEndMarker ||
            !sum_matches(image))
            return report.fail(kFileError, "not_an_image",
                               file.string() + " is damaged: its markers or its word sum do not match");
    }

    TerminalProgress progress(!report.json() && ::isatty(STDERR_FILENO) == 1);
    // "Applied" is claimed only when the card acknowledged the apply frame.
    TransferSettings settings;
    settings.read_apply_answer = true;
    const TransferOutcome outcome = send_image(
        target, file, [] { return true; }, progress, settings);
    switch (outcome) {
        case TransferOutcome::Applied:
            report.line("image sent to " + target.address + " as Config.sys and applied");
            return report.done(kOk);
        case TransferOutcome::ApplyRefused:
            return report.fail(
                kFailed, "refused",
                "the card at " + target.address + " stored the image as Config.sys but refused to apply it");
        case TransferOutcome::ApplyNoAnswer:
            return report.fail(kFailed, "no_answer",
                               "the card at " + target.address +
                                   " stored the image as Config.sys but did not answer the apply command; "
                                   "whether it applied the image is unknown");
        case TransferOutcome::FileUnusable:
            return report.fail(kFileError, "read_failed", "cannot read " + file.string());
        case TransferOutcome::NoConnection:
            return report.fail(kUnreachable, "no_connection",
                               "cannot connect to the card at " + target.address);
        case TransferOutcome::SendFailed:
        case TransferOutcome::ShortTransfer:
        case TransferOutcome::NoCard:
            return report.fail(kFailed, "transfer_failed",
                               "the transfer to " + target.address + " broke off; the image was not applied");
    }
    return report.done(kFailed);
}

int run_send_hcp(const std::vector<std::string>& words) {
    Arguments a(words, {"json", "force", "help", "h"});
    if (a.flag("help") || a.flag("h")) {
        std::cout << usage("send-hcp");
        return kOk;
    }
    Report report(a.flag("json"));
    const cardlink::CardTarget target = target_of(a);
    const bool force = a.flag("force");
    if (!a.check_all_used()) return usage_error("send-hcp", a.error());
    if (target.address.empty()) return usage_error("send-hcp", "--card ADDRESS is required");
    if (a.positional().size() != 1) return usage_error("send-hcp", "name one .hcp file");
    const std::filesystem::path file = a.positional()[0];
    report.set("card", qs(target.address));
    report.set("file", qs(file.string()));

    const HcpLoad load = load_hcp(file);
    switch (load.status) {
        case LoadStatus::Ok:
            break;
        case LoadStatus::SumMismatch:
            if (force) break;
            return report.fail(
                kFileError, "sum_mismatch",
                file.string() + ": the check sum does not match (damaged file?); --force sends it");
        case LoadStatus::TooShort:
            return report.fail(kFileError, "too_short", file.string() + " is shorter than 72 bytes");
        case LoadStatus::OpenFailed:
        case LoadStatus::ReadFailed:
            return report.fail(kFileError, "read_failed", "cannot read " + file.string());
    }
    WorkingSet ws;
    ws.params = load.record;
    ws.source = ParamSource::File;
    const cardlink::ExchangeResult result = params_exchange(ws, target)();
    switch (result.error) {
        case cardlink::ExchangeError::None:
            report.line("screen parameters sent to " + target.address);
            return report.done(kOk);
        case cardlink::ExchangeError::NoConnection:
            return report.fail(kUnreachable, "no_connection",
                               "cannot connect to the card at " + target.address);
        case cardlink::ExchangeError::SendFailed:
        case cardlink::ExchangeError::NoAnswer:
            return report.fail(kFailed, "no_answer", "the card at " + target.address + " did not answer");
        case cardlink::ExchangeError::AnswerRejected:
            return report.fail(kFailed, "refused",
                               "set error: the card at " + target.address + " did not take the parameters");
    }
    return report.done(kFailed);
}

int run_discover(const std::vector<std::string>& words) {
    Arguments a(words, {"json", "help", "h"});
    if (a.flag("help") || a.flag("h")) {
        std::cout << usage("discover");
        return kOk;
    }
    Report report(a.flag("json"));
    const std::string address = a.text("address").value_or(std::string(cardlink::kDefaultDiscoveryAddress));
    const std::uint32_t timeout = a.number("timeout").value_or(1500);
    if (!a.check_all_used()) return usage_error("discover", a.error());
    if (!a.positional().empty()) return usage_error("discover", "unexpected \"" + a.positional()[0] + "\"");

    cardlink::CardLink link;
    cardlink::CardLinkSettings settings;
    settings.discovery_address = address;
    cardlink::SocketOptions options;
    options.discovery_address = address;
    options.addresses = cardlink::EnumerateLocalAddresses();
    // The adapter chosen in the desktop program's "多网卡选择" is this program's too.
    options.net_card_index = registry::read_value("quelmora", "net_card_index");
    if (!link.open(settings, options))
        return report.fail(kUnreachable, "no_socket", "cannot open the discovery socket for " + address);

    struct Found {
        std::string address;
        std::optional<card_info::CardInfo> info;
    };
    std::map<std::string, Found> found;
    std::vector<std::string> order;
    QObject::connect(&link, &cardlink::CardLink::cardListed, &link, [&](const QString& id, int) {
        order.push_back(id.toStdString());
        // The card's address is entered just after it is listed: ask for its information then.
        QTimer::singleShot(0, &link, [&link, &found, card = id.toStdString()] {
            const auto where = link.table().address_of(card);
            found[card].address = where.value_or("");
            if (where) link.RequestCardInfo(card, *where);
        });
    });
    QObject::connect(&link, &cardlink::CardLink::cardInfoArrived, &link,
                     [&](const QString& id, const QString& from, bool) {
                         auto& entry = found[id.toStdString()];
                         entry.address = from.toStdString();
                         entry.info = card_info::decode_card_info(link.cardInfo());
                     });
    link.DiscoverCards();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeout) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ::usleep(5000);
    }
    link.close();

    QJsonArray cards;
    if (!report.json() && !order.empty())
        std::printf("%-20s %-16s %-10s %-10s %s\n", "IDENTIFIER", "ADDRESS", "HARDWARE", "SOFTWARE",
                    "SCREEN");
    for (const std::string& id : order) {
        const Found& f = found[id];
        QJsonObject card;
        card.insert(QStringLiteral("id"), qs(id));
        card.insert(QStringLiteral("address"), qs(f.address));
        std::string hw = "-", sw = "-", screen = "-";
        if (f.info) {
            hw = cardlink::FormatFirmwareVersion(f.info->hardware_version, id, true);
            sw = cardlink::FormatFirmwareVersion(f.info->software_version, id, true);
            screen = std::to_string(f.info->screen_width) + " x " + std::to_string(f.info->screen_height);
            card.insert(QStringLiteral("hardwareVersion"), qs(hw));
            card.insert(QStringLiteral("softwareVersion"), qs(sw));
            card.insert(QStringLiteral("screenWidth"), static_cast<qint64>(f.info->screen_width));
            card.insert(QStringLiteral("screenHeight"), static_cast<qint64>(f.info->screen_height));
        }
        cards.append(card);
        if (!report.json())
            std::printf("%-20s %-16s %-10s %-10s %s\n", id.c_str(), f.address.c_str(), hw.c_str(), sw.c_str(),
                        screen.c_str());
    }
    std::fflush(stdout);
    report.set("address", qs(address));
    report.set("cards", cards);
    if (order.empty())
        return report.fail(kUnreachable, "no_card", "no card answered the search at " + address);
    return report.done(kOk);
}

}  // namespace cli
