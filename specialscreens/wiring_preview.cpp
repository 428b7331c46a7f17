#include "specialscreens/wiring_preview.h"

#include <QBuffer>
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <system_error>

#include <kelvra/kelvra.h>

#include "platform/paths.h"

namespace specialscreens {

namespace {

using screenconfig::ModuleCell;
using screenconfig::WiringPlan;

constexpr int kMaxSide = 4000;
constexpr int kMargin = 56;
constexpr int kCaptionHeight = 44;
constexpr int kLegendHeight = 36;

// One colour per port, far enough apart to tell neighbouring cables apart, repeated after eight.
QColor port_colour(std::uint32_t port) {
    static constexpr std::array<QRgb, 8> kColours = {0xd62728, 0x1f77b4, 0x2ca02c, 0xff7f0e,
                                                     0x9467bd, 0x8c564b, 0xe377c2, 0x17becf};
    return QColor(kColours[(port - 1) % kColours.size()]);
}

QFont arial(int pixels, bool bold = false) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(std::max(pixels, 6));
    font.setBold(bold);
    return font;
}

void draw_arrow_head(QPainter& painter, QPointF tip, QPointF from, double size) {
    const double dx = tip.x() - from.x();
    const double dy = tip.y() - from.y();
    const double length = std::hypot(dx, dy);
    if (length < 1e-6) return;
    const double ux = dx / length;
    const double uy = dy / length;
    const QPointF base(tip.x() - ux * size, tip.y() - uy * size);
    const QPointF left(base.x() - uy * size * 0.55, base.y() + ux * size * 0.55);
    const QPointF right(base.x() + uy * size * 0.55, base.y() - ux * size * 0.55);
    painter.drawPolygon(QPolygonF({tip, left, right}));
}

}  // namespace

bool drawable(const WiringPlan& plan) {
    return plan.columns <= kMaxModules && plan.rows <= kMaxModules;
}

QImage render_wiring(const WiringPlan& plan, const PreviewTexts& texts) {
    if (!drawable(plan)) return {};
    const int columns = static_cast<int>(std::max<std::uint32_t>(plan.columns, 1));
    const int rows = static_cast<int>(std::max<std::uint32_t>(plan.rows, 1));
    // Cells keep the module's proportions; about 64 pixels across for a small screen.
    const double aspect =
        plan.module_width > 0 && plan.module_height > 0
            ? std::clamp(static_cast<double>(plan.module_height) / plan.module_width, 0.5, 2.0)
            : 1.0;
    double cell_w = 64.0;
    cell_w = std::min(cell_w, static_cast<double>(kMaxSide - 2 * kMargin) / columns);
    cell_w = std::min(cell_w, static_cast<double>(kMaxSide - 2 * kMargin - kCaptionHeight - kLegendHeight) /
                                  (rows * aspect));
    cell_w = std::max(cell_w, 2.0);
    const double cell_h = cell_w * aspect;
    const double grid_w = cell_w * columns;
    const double grid_h = cell_h * rows;
    // Wide enough for the caption and the legend as well as the grid (and the labels right of it).
    const double text_w =
        std::max(QFontMetrics(arial(18, true)).horizontalAdvance(QString::fromStdString(texts.caption)),
                 QFontMetrics(arial(14)).horizontalAdvance(QString::fromStdString(texts.legend)));
    const int width =
        static_cast<int>(std::ceil(std::max({grid_w + 2 * kMargin + 40, text_w + kMargin, 480.0})));
    const int height = static_cast<int>(std::ceil(grid_h + 2 * kMargin + kCaptionHeight + kLegendHeight));
    const QPointF origin(kMargin, kMargin + kCaptionHeight);

    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    painter.setPen(Qt::black);
    painter.setFont(arial(18, true));
    painter.drawText(QRectF(kMargin / 2.0, 8, width - kMargin, kCaptionHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(texts.caption));

    auto cell_rect = [&](const ModuleCell& cell) {
        return QRectF(origin.x() + cell.column * cell_w, origin.y() + cell.row * cell_h, cell_w, cell_h);
    };

    // Modules: tinted with the colour of the port whose cable reaches them.
    painter.setPen(QPen(QColor(0x60, 0x60, 0x60), cell_w >= 8 ? 1.0 : 0.0));
    painter.setBrush(QColor(0xf2, 0xf2, 0xf2));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            painter.drawRect(cell_rect({static_cast<std::uint32_t>(c), static_cast<std::uint32_t>(r)}));
    for (const auto& run : plan.runs) {
        QColor tint = port_colour(run.port);
        tint.setAlpha(40);
        painter.setBrush(tint);
        for (const ModuleCell& cell : run.modules) painter.drawRect(cell_rect(cell));
    }

    const double line = std::clamp(cell_w / 14.0, 1.0, 4.0);
    const double head = std::clamp(cell_w / 5.0, 3.0, 12.0);
    for (const auto& run : plan.runs) {
        if (run.modules.empty()) continue;
        const QColor colour = port_colour(run.port);
        painter.setBrush(colour);
        for (std::size_t i = 1; i < run.modules.size(); ++i) {
            const ModuleCell from = run.modules[i - 1];
            const ModuleCell to = run.modules[i];
            const QPointF a = cell_rect(from).center();
            const QPointF b = cell_rect(to).center();
            const auto dc = std::abs(static_cast<long>(from.column) - static_cast<long>(to.column));
            const auto dr = std::abs(static_cast<long>(from.row) - static_cast<long>(to.row));
            if (dc + dr <= 1) {
                // Neighbours: the cable straight across, an arrow half way along.
                painter.setPen(QPen(colour, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                painter.drawLine(a, b);
                draw_arrow_head(painter, (a + b) / 2.0 + (b - a) * 0.12, a, head);
            } else {
                // A return to the far end of the next row: dashed, along the border between the rows,
                // so it does not cross the modules' own cable.
                painter.setPen(
                    QPen(colour, std::max(1.0, line * 0.6), Qt::DashLine, Qt::RoundCap, Qt::RoundJoin));
                const double y =
                    from.row == to.row ? a.y() : (std::max(from.row, to.row)) * cell_h + origin.y();
                const QPointF p1(a.x(), y);
                const QPointF p2(b.x(), y);
                painter.setBrush(Qt::NoBrush);
                painter.drawPolyline(QPolygonF({a, p1, p2, b}));
                painter.setBrush(colour);
                painter.setPen(QPen(colour, 1.0));
                draw_arrow_head(painter, (p1 + p2) / 2.0, p1, head * 0.8);
            }
        }

        // The port's label outside the grid beside the first module, with the cable coming in.
        const ModuleCell first = run.modules.front();
        const QRectF first_rect = cell_rect(first);
        const QString label = QString::asprintf("J%u", run.port);
        painter.setFont(arial(15, true));
        const QFontMetrics metrics(painter.font());
        const QSizeF box(metrics.horizontalAdvance(label) + 10, metrics.height() + 4);
        QPointF box_centre;
        if (first.row == 0) {
            box_centre = QPointF(first_rect.center().x(), origin.y() - box.height() / 2 - 8);
        } else if (first.row + 1 == static_cast<std::uint32_t>(rows)) {
            box_centre = QPointF(first_rect.center().x(), origin.y() + grid_h + box.height() / 2 + 8);
        } else {
            box_centre = QPointF(origin.x() + grid_w + box.width() / 2 + 8, first_rect.center().y());
        }
        const QRectF label_rect(box_centre.x() - box.width() / 2, box_centre.y() - box.height() / 2,
                                box.width(), box.height());
        painter.setPen(QPen(colour, line));
        painter.drawLine(box_centre, first_rect.center());
        painter.setBrush(colour);
        draw_arrow_head(painter, (box_centre + first_rect.center()) / 2.0, box_centre, head);
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(label_rect, 4, 4);
        painter.setPen(Qt::white);
        painter.drawText(label_rect, Qt::AlignCenter, label);
        // The entry module gets a ring in the port's colour.
        painter.setPen(QPen(colour, line + 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(first_rect.adjusted(line, line, -line, -line));
    }

    // The order numbers last, over the cables.
    if (cell_w >= 20 && cell_h >= 16) {
        painter.setFont(arial(static_cast<int>(std::min(cell_h, cell_w) / 3.2), true));
        for (const auto& run : plan.runs) {
            for (std::size_t i = 0; i < run.modules.size(); ++i) {
                const QRectF r = cell_rect(run.modules[i]).adjusted(line + 3, line + 1, -3, -2);
                const QString number = QString::number(i + 1);
                QRectF box = QFontMetrics(painter.font()).boundingRect(number);
                box.moveTopLeft(r.topLeft());
                painter.setPen(Qt::NoPen);
                painter.setBrush(QColor(255, 255, 255, 210));
                painter.drawRect(box.adjusted(-1, 0, 1, 0));
                painter.setPen(Qt::black);
                painter.drawText(r, Qt::AlignLeft | Qt::AlignTop, number);
            }
        }
    }

    painter.setPen(QColor(0x30, 0x30, 0x30));
    painter.setFont(arial(14));
    painter.drawText(QRectF(kMargin / 2.0, height - kLegendHeight - 8, width - kMargin, kLegendHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(texts.legend));
    painter.end();
    return picture;
}

PictureFormat format_for(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".jpg" || ext == ".jpeg") return PictureFormat::Jpeg;
    if (ext == ".gif") return PictureFormat::Gif;
    return PictureFormat::Png;
}

bool save_picture(const QImage& picture, const std::filesystem::path& file, PictureFormat format) {
    QByteArray encoded;
    if (format == PictureFormat::Png) {
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        if (!picture.save(&buffer, "PNG")) return false;
    } else {
        // Kelvra encodes from a BMP in memory.
        QByteArray bmp;
        QBuffer buffer(&bmp);
        buffer.open(QIODevice::WriteOnly);
        if (!picture.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP")) return false;
        KelvraMemoryBlock in{reinterpret_cast<unsigned char*>(bmp.data()), static_cast<uint32_t>(bmp.size())};
        KelvraMemoryBlock* out = MBmpToMImage(&in, format == PictureFormat::Jpeg ? "jpg" : "gif");
        if (out == nullptr) return false;
        encoded = QByteArray(reinterpret_cast<const char*>(out->data), static_cast<qsizetype>(out->size));
        KelvraFreeMemoryBlock(out);
    }
    // Written beside and renamed, so a viewer never opens half a picture.
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    const auto part = std::filesystem::path(file.string() + ".part");
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out.write(encoded.constData(), encoded.size());
        out.flush();
        if (!out) {
            std::filesystem::remove(part, ec);
            return false;
        }
    }
    std::filesystem::rename(part, file, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(part, ignored);
        return false;
    }
    return true;
}

std::filesystem::path long_strip_preview_path() {
    return paths::user_data_folder() / "bbb.jpg";
}

std::filesystem::path vertical_preview_path() {
    return paths::user_data_folder() / "bbb.gif";
}

}  // namespace specialscreens
