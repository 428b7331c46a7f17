#include "cli/commands.h"

#include <QJsonArray>
#include <QJsonObject>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

#include "cardlink/card_exchange.h"
#include "cardlink/card_link.h"
#include "cardlink/local_addresses.h"
#include "cli/output.h"
#include "cli/search.h"
#include "common/card_info.h"
#include "screenconfig/image_transfer.h"
#include "screenconfig/record_files.h"
#include "screenconfig/screen_files.h"
#include "screenconfig/special_layout.h"
#include "specialscreens/wiring_preview.h"

namespace cli {

namespace {

using namespace screenconfig;

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

cardlink::CardTarget target_of(const SendOptions& o) {
    // Without an id the frames carry the one the desktop program uses for a card given by address.
    return {o.card_id.empty() ? std::string(cardlink::kCheckCardId) : o.card_id, o.address};
}

QJsonObject card_object(const cardlink::CardTarget& target) {
    return {{QStringLiteral("id"), qs(target.card_id)}, {QStringLiteral("address"), qs(target.address)}};
}

}  // namespace

int run_layout(const LayoutOptions& o) {
    Report report("layout", o.output.json);
    const char* const kinds[] = {"strip", "vertical", "direction"};
    const std::string kind = kinds[static_cast<int>(o.kind)];
    const auto& output = o.file;
    const auto& preview = o.preview;
    ScreenConfig image;
    std::optional<LayoutRefusal> refusal;
    std::optional<WiringPlan> plan;
    specialscreens::PreviewTexts texts;
    texts.legend = "J1, J2, ...: HUB ports   arrows: the cable's direction   numbers: order on the cable";
    const std::string size_text = std::to_string(o.width) + " x " + std::to_string(o.height);
    const std::string module_text = std::to_string(o.module_width) + " x " + std::to_string(o.module_height);
    if (o.kind == LayoutKind::Strip) {
        const LongStripInput in{o.width, o.height, o.module_width, o.module_height, o.ports};
        if (output) refusal = build_long_strip(in, image);
        if (!refusal && preview) {
            refusal = check_long_strip(in, LayoutAction::Preview);
            plan = long_strip_wiring(in);
            texts.caption = "Long strip " + size_text + "   module " + module_text + "   " +
                            std::to_string(*in.ports) + " HUB ports per module row";
        }
    } else if (o.kind == LayoutKind::Vertical) {
        VerticalInput in{o.width,         o.height, o.module_width,
                         o.module_height, o.rows,   VerticalMethod::CabinetWidth,
                         o.bottom_to_top};
        in.method = method_of(o.method).value_or(VerticalMethod::CabinetWidth);  // 1..3: checked when read
        if (output) refusal = build_vertical(in, image);
        if (!refusal && preview) {
            refusal = check_vertical(in, LayoutAction::Preview);
            plan = vertical_wiring(in);
            texts.caption = "Vertical screen " + size_text + "   module " + module_text + "   " +
                            std::to_string(in.retrace.value_or(0)) + " module rows per port   method " +
                            std::to_string(static_cast<int>(in.method)) +
                            (in.bottom_to_top ? "   bottom to top" : "");
        }
    } else {
        refusal = build_direction(o.width, o.height, static_cast<Direction>(o.direction), image);
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
        report.set("table_width", static_cast<qint64>(image.get(ConfigField::tableWidth)));
        report.set("table_height", static_cast<qint64>(image.get(ConfigField::tableHeight)));
        report.set("word_sum", static_cast<qint64>(image.get(ConfigField::wordSum)));
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

int run_send_image(const SendOptions& options) {
    Report report("send-image", options.output.json);
    trace_to_stderr(options.output.trace);
    const cardlink::CardTarget target = target_of(options);
    const std::filesystem::path file = options.file;
    report.set("card", card_object(target));
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
            return report.fail(kUnreachable, "no_answer",
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

int run_send_hcp(const SendOptions& options) {
    Report report("send-hcp", options.output.json);
    trace_to_stderr(options.output.trace);
    const cardlink::CardTarget target = target_of(options);
    const bool force = options.force;
    const std::filesystem::path file = options.file;
    report.set("card", card_object(target));
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
    if (result.error != cardlink::ExchangeError::None)
        return fail_exchange(report, result.error, target.address,
                             "set error: the card at " + target.address + " did not take the parameters");
    report.line("screen parameters sent to " + target.address);
    return report.done(kOk);
}

int run_discover(const DiscoverOptions& request) {
    Report report("discover", request.output.json);
    trace_to_stderr(request.output.trace);
    const std::string& address = request.address;
    const std::uint32_t timeout = request.timeout_ms;
    report.set("discovery_address", qs(address));
    report.set("timeout_ms", static_cast<qint64>(timeout));

    const SearchResult search = search_cards(address, timeout);
    if (!search.socket_opened)
        return report.fail(kUnreachable, "no_socket", "cannot open the discovery socket for " + address);

    QJsonArray cards;
    if (!report.json() && !search.cards.empty())
        std::printf("%-20s %-16s %-10s %-10s %s\n", "IDENTIFIER", "ADDRESS", "HARDWARE", "SOFTWARE",
                    "SCREEN");
    for (const FoundCard& f : search.cards) {
        const std::string& id = f.id;
        QJsonObject card;
        card.insert(QStringLiteral("id"), qs(id));
        card.insert(QStringLiteral("address"), qs(f.address));
        std::string hw = "-", sw = "-", screen = "-";
        if (f.info) {
            hw = cardlink::FormatFirmwareVersion(f.info->hardware_version, id, true);
            sw = cardlink::FormatFirmwareVersion(f.info->software_version, id, true);
            screen = std::to_string(f.info->screen_width) + " x " + std::to_string(f.info->screen_height);
            card.insert(QStringLiteral("hardware_version"), qs(hw));
            card.insert(QStringLiteral("software_version"), qs(sw));
            card.insert(QStringLiteral("screen_width"), static_cast<qint64>(f.info->screen_width));
            card.insert(QStringLiteral("screen_height"), static_cast<qint64>(f.info->screen_height));
        }
        cards.append(card);
        if (!report.json())
            std::printf("%-20s %-16s %-10s %-10s %s\n", id.c_str(), f.address.c_str(), hw.c_str(), sw.c_str(),
                        screen.c_str());
    }
    std::fflush(stdout);
    report.set("cards", cards);
    if (search.cards.empty())
        return report.fail(kUnreachable, "no_card", "no card answered the search at " + address);
    return report.done(kOk);
}

}  // namespace cli
