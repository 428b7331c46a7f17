// The main window's commissioning report: "生成调试报告" for the card commands go to (also offered after
// the wizard's Finish), and the session's record of sends and special-screen layouts it draws on.
#include <QDir>

#include <filesystem>

#include "cardlink/card_info_read.h"
#include "mainwindow/main_window.h"
#include "mainwindow/report_dialog.h"
#include "mainwindow/status_text.h"
#include "platform/localisation.h"
#include "platform/message_service.h"
#include "platform/paths.h"
#include "report/module_words.h"
#include "report/report_writer.h"

namespace {

bool same_card(const cardlink::CardTarget& a, const cardlink::CardTarget& b) {
    return a.card_id == b.card_id && a.address == b.address;
}

}  // namespace

void MainWindow::noteSend(const std::string& what, const cardlink::CardTarget& target,
                          cardlink::ExchangeError outcome) {
    send_log_.append(
        {std::chrono::system_clock::now(), what, target, outcome, exchanges_.timeouts().receive});
}

void MainWindow::noteSpecialLayout(report::LayoutNote note) {
    pending_layout_ = std::move(note);
}

void MainWindow::onSpecialImageFinished(bool applied) {
    // Only a layout the card took belongs in its report.
    if (applied && pending_layout_) sent_layouts_.emplace_back(image_target_, *pending_layout_);
    pending_layout_.reset();
}

void MainWindow::onReport() {
    const auto target = commandTarget();
    if (!target) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_HAVE_NO_LINKED_CARD"));
        return;
    }
    const QString proposed = QDir::home().filePath(
        QStringLiteral("report-%1.pdf")
            .arg(QString::fromStdString(target->card_id.empty() ? target->address : target->card_id)));
    ReportDialog dialog(proposed, this);
    if (dialog.exec() != QDialog::Accepted) return;
    writeReport(*target, {dialog.site().toStdString(), dialog.technician().toStdString(),
                          dialog.pdfPath().toStdString(), dialog.htmlPath().toStdString()});
}

void MainWindow::writeReport(const cardlink::CardTarget& target, const ReportRequest& request) {
    const std::string what = localisation::lookup("IDS_MESSAGE_COMMAND_READ_INFO");
    setStatusLine(status_text::waiting_line(what, target));
    const auto timeouts = exchanges_.timeouts();
    // The card's information is read on the exchange service's worker, after every command already on its
    // way (the wizard's parameter send among them), so the report sees their outcomes.
    exchanges_.submit(
        [target, timeouts] {
            const auto read = cardlink::read_card_info(target, timeouts);
            return cardlink::ExchangeResult{read.error, {read.block.begin(), read.block.end()}};
        },
        this,
        [this, target, request, what](const cardlink::ExchangeResult& r) {
            setStatusLine(status_text::result_line(what, target, r.error, exchanges_.timeouts().receive));
            if (!r.ok()) {
                platform::show_message(localisation::lookup("IDS_MESSAGE_REPORT_NO_INFO"));
                return;
            }
            const report::CommissioningReport content = reportContent(target, request, r.answer);
            const auto written = report::write_report(content, request.pdf, request.html);
            if (written == report::ReportWrite::Written) {
                platform::show_message(status_text::fill(localisation::lookup("IDS_MESSAGE_REPORT_WRITTEN"),
                                                         {request.pdf.string(), request.html.string()}));
                return;
            }
            const auto& failed = written == report::ReportWrite::HtmlFailed ? request.html : request.pdf;
            platform::show_message(
                status_text::fill(localisation::lookup("IDS_MESSAGE_REPORT_WRITE_FAILED"), {failed.string()}),
                "ERROR", platform::MessageIcon::Error);
        });
}

report::CommissioningReport MainWindow::reportContent(const cardlink::CardTarget& target,
                                                      const ReportRequest& request,
                                                      const std::vector<std::uint8_t>& info) const {
    report::CommissioningReport content;
    content.site = request.site;
    content.technician = request.technician;
    content.created = std::chrono::system_clock::now();
    content.card = card_info::decode_card_info(info);
    content.card_address = target.address;
    // The wizard's record or a loaded ".hcp" is what this session set; otherwise the card says.
    if (working_.has_record() && working_.source != screenconfig::ParamSource::None) {
        content.module = working_.params;
        content.module_source = report::ModuleSource::Record;
        content.record_name = working_.hcp_path.filename().string();
    } else {
        content.module = report::params_from_card(content.card.screen_params);
    }
    // The traced grid, when the wizard traced one in this session.
    const auto grid = paths::user_data_folder() / "ncp.jpg";
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(grid, ec);
    if (!ec && std::chrono::file_clock::to_sys(written) >= session_start_) content.grid_picture = grid;
    for (const auto& [to, layout] : sent_layouts_)
        if (same_card(to, target)) content.layout = layout;  // the last one the card took
    content.sends = send_log_.to_card(target);
    return content;
}
