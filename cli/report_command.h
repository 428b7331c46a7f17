// vantor-cli report: the commissioning report of one card, written as PDF and HTML (report/). The card's
// information (identifier, address, versions, screen size, the module's screen parameters) is read from
// the card over TCP; the texts come from the chosen language file.
// Threading: the main thread, which owns the QGuiApplication the PDF writer needs.
#pragma once

#include <optional>
#include <string>

#include "cli/commands.h"

namespace cli {

inline constexpr const char* kReportLanguages[] = {"English_zavo", "Chinese_zavo_s", "Chinese_zavo_t"};

struct ReportOptions {
    std::string card_id;  // empty: the identifier the desktop program uses for a card given by address
    std::string address;
    std::optional<std::string> profile;  // the module profile's name, shown in the report
    std::string site;
    std::string technician;
    std::optional<std::string> pdf, html;
    std::string language = "English_zavo";
    Output output;
};

int run_report(const ReportOptions& options);

}  // namespace cli
