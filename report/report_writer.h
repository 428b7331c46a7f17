// Writes a commissioning report (report.h) as an HTML page and as a PDF document. The page carries its
// pictures inside it (data addresses), so it can be mailed as one file; the PDF is laid out by Qt's
// rich-text engine and written by Qt's own PDF writer, A4, fonts embedded. Qt Gui only: a
// QGuiApplication must exist (the offscreen platform will do).
// Threading: the thread that owns the QGuiApplication.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "report/report.h"

namespace report {

enum class ReportWrite {
    Written,     // every file asked for was written whole
    HtmlFailed,  // the HTML file could not be written (nothing after it was tried)
    PdfFailed,   // the PDF could not be made or written
};

// Writes the files asked for (the HTML page first). Existing files are replaced.
ReportWrite write_report(const CommissioningReport& report, const std::optional<std::filesystem::path>& pdf,
                         const std::optional<std::filesystem::path>& html);

// The PDF's bytes (empty when it could not be made).
std::string pdf_bytes(const CommissioningReport& report);
// The page with its pictures inside it.
std::string html_page(const CommissioningReport& report);

}  // namespace report
