#include "cli/report_command.h"

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <filesystem>

#include "cardlink/card_info_read.h"
#include "cardlink/card_link.h"
#include "cli/output.h"
#include "platform/localisation.h"
#include "platform/paths.h"
#include "report/module_words.h"
#include "report/report_writer.h"

namespace cli {
namespace {

// The language file: the installed (or written-beside-the-program) one when there is one, else the copy
// built into the program, written to `scratch`.
std::optional<std::filesystem::path> language_file(const std::string& name, const QTemporaryDir& scratch) {
    const auto shared = paths::shared_data_folder() / "Language" / (name + ".ini");
    std::error_code ec;
    if (std::filesystem::is_regular_file(shared, ec)) return shared;
    const QString copy = scratch.filePath(QString::fromStdString(name) + QStringLiteral(".ini"));
    if (!scratch.isValid() ||
        !QFile::copy(QStringLiteral(":/languages/") + QString::fromStdString(name) + QStringLiteral(".ini"),
                     copy))
        return std::nullopt;
    return std::filesystem::path(copy.toStdString());
}

}  // namespace

int run_report(const ReportOptions& o) {
    Report result("report", o.output.json);
    trace_to_stderr(o.output.trace);
    const cardlink::CardTarget target{o.card_id.empty() ? std::string(cardlink::kCheckCardId) : o.card_id,
                                      o.address};
    result.set("card", QJsonObject{{QStringLiteral("id"), qs(target.card_id)},
                                   {QStringLiteral("address"), qs(target.address)}});

    QTemporaryDir scratch;
    const auto language = language_file(o.language, scratch);
    if (!language)
        return result.fail(kFileError, "read_failed", "cannot read the language file " + o.language);
    localisation::set_current_file(*language);

    const cardlink::CardInfoRead read = cardlink::read_card_info(target);
    if (read.error != cardlink::ExchangeError::None)
        return fail_exchange(result, read.error, target.address,
                             "the card at " + target.address + " did not send its information");

    report::CommissioningReport content;
    content.site = o.site;
    content.technician = o.technician;
    content.created = std::chrono::system_clock::now();
    content.card = card_info::decode_card_info(read.block);
    content.card_address = target.address;
    content.module = report::params_from_card(content.card.screen_params);
    content.module_source = report::ModuleSource::Card;
    content.profile_name = o.profile;

    QJsonObject card{
        {QStringLiteral("id"), qs(content.card.card_id)},
        {QStringLiteral("address"), qs(target.address)},
        {QStringLiteral("hardware_version"),
         qs(cardlink::FormatFirmwareVersion(content.card.hardware_version, content.card.card_id, true))},
        {QStringLiteral("software_version"),
         qs(cardlink::FormatFirmwareVersion(content.card.software_version, content.card.card_id, true))},
        {QStringLiteral("screen_width"), static_cast<qint64>(content.card.screen_width)},
        {QStringLiteral("screen_height"), static_cast<qint64>(content.card.screen_height)}};
    result.set("card", card);

    const std::optional<std::filesystem::path> pdf = o.pdf, html = o.html;
    switch (report::write_report(content, pdf, html)) {
        case report::ReportWrite::Written:
            break;
        case report::ReportWrite::HtmlFailed:
            return result.fail(kFileError, "write_failed", "cannot write " + *o.html);
        case report::ReportWrite::PdfFailed:
            return result.fail(kFileError, "write_failed", "cannot write " + *o.pdf);
    }
    if (pdf) {
        result.set("pdf", qs(*o.pdf));
        result.line("report written to " + *o.pdf);
    }
    if (html) {
        result.set("html", qs(*o.html));
        result.line("report written to " + *o.html);
    }
    return result.done(kOk);
}

}  // namespace cli
