#include "report/report_writer.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QImageReader>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

#include <map>

#include "platform/localisation.h"

namespace report {
namespace {

QString qpath(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

bool write_file(const std::filesystem::path& file, const std::string& bytes) {
    QFile out(qpath(file));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const auto size = static_cast<qint64>(bytes.size());
    return out.write(bytes.data(), size) == size && out.flush();
}

}  // namespace

std::string html_page(const CommissioningReport& report) {
    return render_html(report, [](const std::filesystem::path& file) -> std::string {
        QFile in(qpath(file));
        if (!in.open(QIODevice::ReadOnly)) return {};
        const QByteArray bytes = in.readAll();
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        const QByteArray format = QImageReader::imageFormat(&buffer);
        if (format.isEmpty()) return {};
        return "data:image/" + format.toStdString() + ";base64," + bytes.toBase64().toStdString();
    });
}

std::string pdf_bytes(const CommissioningReport& report) {
    QTextDocument document;
    // Each picture becomes a resource of the document, named by its place in the page.
    std::map<std::filesystem::path, QString> names;
    const std::string page = render_html(report, [&](const std::filesystem::path& file) -> std::string {
        const QImage image(qpath(file));
        if (image.isNull()) return {};
        const QString name = QStringLiteral("picture-%1").arg(names.size());
        names.emplace(file, name);
        document.addResource(QTextDocument::ImageResource, QUrl(name), image);
        return name.toStdString();
    });
    QFont font = document.defaultFont();
    font.setPointSize(10);
    document.setDefaultFont(font);
    document.setHtml(QString::fromStdString(page));

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        writer.setTitle(QString::fromStdString(localisation::lookup("IDS_MESSAGE_REPORT_TITLE")));
        writer.setCreator(QStringLiteral("Vantor"));
        document.print(&writer);
    }
    return buffer.data().toStdString();
}

ReportWrite write_report(const CommissioningReport& report, const std::optional<std::filesystem::path>& pdf,
                         const std::optional<std::filesystem::path>& html) {
    if (html && !write_file(*html, html_page(report))) return ReportWrite::HtmlFailed;
    if (pdf) {
        const std::string bytes = pdf_bytes(report);
        if (bytes.empty() || !write_file(*pdf, bytes)) return ReportWrite::PdfFailed;
    }
    return ReportWrite::Written;
}

}  // namespace report
