#include "report/report.h"

#include <ctime>

#include "cardlink/card_exchange.h"
#include "platform/localisation.h"
#include "report/module_words.h"

namespace report {
namespace {

// Table borders as attributes: Qt's rich-text engine, which lays out the PDF, ignores them in CSS.
const std::string kTable = "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n";

std::string html_text(const char* key) {
    return escape_html(localisation::lookup(key));
}

// Replaces "%1", "%2", ... in one pass.
std::string fill(const std::string& pattern, std::initializer_list<std::string> args) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const auto n = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (n < args.size()) {
                out += *(args.begin() + static_cast<std::ptrdiff_t>(n));
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

std::string local_time(std::chrono::system_clock::time_point when, const char* format) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm parts{};
    localtime_r(&t, &parts);
    char buffer[64];
    const std::size_t n = std::strftime(buffer, sizeof buffer, format, &parts);
    return std::string(buffer, n);
}

void row(std::string& page, const std::string& label, const std::string& value) {
    page += "<tr><th align=\"left\" valign=\"top\">" + label + "</th><td>" + value + "</td></tr>\n";
}

void picture(std::string& page, const PictureSource& pictures, const std::filesystem::path& file) {
    const std::string src = pictures ? pictures(file) : std::string();
    if (src.empty()) {
        page += "<p>" +
                escape_html(fill(localisation::lookup("IDS_MESSAGE_REPORT_PICTURE_UNREADABLE"),
                                 {file.filename().string()})) +
                "</p>\n";
        return;
    }
    page += "<p><img src=\"" + escape_html(src) + "\" width=\"480\"></p>\n";
}

}  // namespace

std::string escape_html(const std::string& in) {
    std::string out;
    out.reserve(in.size());
    for (const char c : in) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string outcome_text(const SendRecord& record) {
    using cardlink::ExchangeError;
    switch (record.outcome) {
        case ExchangeError::None:
            return localisation::lookup("IDS_MESSAGE_REPORT_OUTCOME_DONE");
        case ExchangeError::NoConnection:
            return localisation::lookup("IDS_MESSAGE_REPORT_OUTCOME_NO_CONNECTION");
        case ExchangeError::SendFailed:
            return localisation::lookup("IDS_MESSAGE_REPORT_OUTCOME_SEND_FAILED");
        case ExchangeError::NoAnswer: {
            const auto tenths = (record.answer_bound.count() + 50) / 100;
            const std::string seconds =
                std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "");
            return fill(localisation::lookup("IDS_MESSAGE_REPORT_OUTCOME_NO_ANSWER"), {seconds});
        }
        case ExchangeError::AnswerRejected:
            return localisation::lookup("IDS_MESSAGE_REPORT_OUTCOME_REFUSED");
    }
    return {};
}

std::string render_html(const CommissioningReport& report, const PictureSource& pictures) {
    const std::string title = html_text("IDS_MESSAGE_REPORT_TITLE");
    // HTML names languages with a hyphen ("zh-CN"), the language files with an underscore.
    std::string language = localisation::locale_name();
    for (char& c : language)
        if (c == '_') c = '-';
    std::string page = "<!DOCTYPE html>\n<html lang=\"" + escape_html(language) +
                       "\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + title +
                       "</title>\n<style>\nbody { font-family: sans-serif; }\n"
                       "table { border-collapse: collapse; margin-bottom: 12px; }\n"
                       "th { background: #eee; }\n</style>\n</head>\n<body>\n<h1>" +
                       title + "</h1>\n" + kTable;
    row(page, html_text("IDS_MESSAGE_REPORT_SITE"), escape_html(report.site));
    row(page, html_text("IDS_MESSAGE_REPORT_TECHNICIAN"), escape_html(report.technician));
    row(page, html_text("IDS_MESSAGE_REPORT_DATE"), local_time(report.created, "%Y-%m-%d %H:%M"));
    page += "</table>\n";

    const auto& card = report.card;
    page += "<h2>" + html_text("IDS_MESSAGE_REPORT_SECTION_CARD") + "</h2>\n" + kTable;
    row(page, html_text("IDS_MESSAGE_REPORT_CARD_ID"), escape_html(card.card_id));
    row(page, html_text("IDS_MESSAGE_REPORT_CARD_ADDRESS"), escape_html(report.card_address));
    row(page, html_text("IDS_MESSAGE_REPORT_HARDWARE"),
        escape_html(cardlink::FormatFirmwareVersion(card.hardware_version, card.card_id, true)));
    row(page, html_text("IDS_MESSAGE_REPORT_SOFTWARE"),
        escape_html(cardlink::FormatFirmwareVersion(card.software_version, card.card_id, true)));
    row(page, html_text("IDS_MESSAGE_REPORT_SCREEN_SIZE"),
        escape_html(fill(localisation::lookup("IDS_MESSAGE_REPORT_SCREEN_SIZE_VALUE"),
                         {std::to_string(card.screen_width), std::to_string(card.screen_height)})));
    page += "</table>\n";

    page += "<h2>" + html_text("IDS_MESSAGE_REPORT_SECTION_MODULE") + "</h2>\n<p>" +
            (report.module_source == ModuleSource::Card
                 ? html_text("IDS_MESSAGE_REPORT_MODULE_FROM_CARD")
                 : escape_html(fill(localisation::lookup(report.record_name.empty()
                                                             ? "IDS_MESSAGE_REPORT_MODULE_FROM_SESSION"
                                                             : "IDS_MESSAGE_REPORT_MODULE_FROM_FILE"),
                                    {report.record_name}))) +
            "</p>\n" + kTable;
    if (report.profile_name)
        row(page, html_text("IDS_MESSAGE_REPORT_PROFILE"), escape_html(*report.profile_name));
    for (const Setting& s : module_settings(report.module))
        row(page, escape_html(s.label), escape_html(s.value));
    page += "</table>\n";

    if (report.grid_picture) {
        page += "<h2>" + html_text("IDS_MESSAGE_REPORT_SECTION_GRID") + "</h2>\n";
        picture(page, pictures, *report.grid_picture);
    }
    if (report.layout) {
        page += "<h2>" + html_text("IDS_MESSAGE_REPORT_SECTION_LAYOUT") + "</h2>\n<p>" +
                escape_html(report.layout->description) + "</p>\n";
        if (report.layout->preview) picture(page, pictures, *report.layout->preview);
    }

    if (!report.sends) return page + "</body>\n</html>\n";
    page += "<h2>" + html_text("IDS_MESSAGE_REPORT_SECTION_SENDS") + "</h2>\n";
    if (report.sends->empty()) {
        page += "<p>" + html_text("IDS_MESSAGE_REPORT_SENDS_NONE") + "</p>\n";
    } else {
        page += kTable + "<tr><th>" + html_text("IDS_MESSAGE_REPORT_SEND_TIME") + "</th><th>" +
                html_text("IDS_MESSAGE_REPORT_SEND_WHAT") + "</th><th>" +
                html_text("IDS_MESSAGE_REPORT_SEND_OUTCOME") + "</th></tr>\n";
        for (const SendRecord& s : *report.sends)
            page += "<tr><td>" + local_time(s.when, "%H:%M:%S") + "</td><td>" + escape_html(s.what) +
                    "</td><td>" + escape_html(outcome_text(s)) + "</td></tr>\n";
        page += "</table>\n";
    }
    page += "</body>\n</html>\n";
    return page;
}

}  // namespace report
