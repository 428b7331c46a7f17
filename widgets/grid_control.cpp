#include "widgets/grid_control.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPalette>
#include <algorithm>
#include <vector>

namespace widgets {

// The cells behind the view: text and colours, row-major.
class GridModel : public QAbstractTableModel {
  public:
    struct Cell {
        QString text;
        QColor background;
        QColor foreground;
    };

    explicit GridModel(QObject* parent) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows_; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : columns_; }

    QVariant data(const QModelIndex& index, int role) const override {
        const Cell* c = cell(index.row(), index.column());
        if (!c) return {};
        const bool header = index.row() == 0 || index.column() == 0;
        switch (role) {
            case Qt::DisplayRole:
            case Qt::AccessibleTextRole:
                return c->text;
            case Qt::AccessibleDescriptionRole:
                return QStringLiteral("%1 %2, %3 %4")
                    .arg(GridControl::tr("Row"))
                    .arg(index.row())
                    .arg(GridControl::tr("column"))
                    .arg(index.column());
            case Qt::BackgroundRole:
                return header ? QVariant() : QVariant(c->background);
            case Qt::ForegroundRole:
                return header ? QVariant() : QVariant(c->foreground);
            case Qt::TextAlignmentRole:
                return QVariant(Qt::AlignCenter);
            default:
                return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    void reset(int rows, int columns, const QColor& background, const QColor& foreground) {
        beginResetModel();
        rows_ = std::max(0, rows);
        columns_ = std::max(0, columns);
        cells_.assign(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_),
                      Cell{QString(), background, foreground});
        endResetModel();
    }

    Cell* cell(int row, int column) {
        if (row < 0 || column < 0 || row >= rows_ || column >= columns_) return nullptr;
        return &cells_[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) +
                       static_cast<std::size_t>(column)];
    }
    const Cell* cell(int row, int column) const { return const_cast<GridModel*>(this)->cell(row, column); }

    void changed(int row, int column) {
        const auto i = index(row, column);
        emit dataChanged(i, i);
    }

  private:
    int rows_ = 0;
    int columns_ = 0;
    std::vector<Cell> cells_;
};

GridControl::GridControl(QWidget* parent) : QTableView(parent), model_(new GridModel(this)) {
    setModel(model_);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // No selection highlight: a cell's colours are the only state it shows.
    setSelectionMode(QAbstractItemView::NoSelection);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setTabKeyNavigation(false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { emit cellClicked(index.row(), index.column()); });
}

void GridControl::setGridSize(int rows, int columns) {
    model_->reset(rows, columns, default_background_, default_text_);
    applySizes();
    if (rows > 1 && columns > 1) setCurrentIndex(model_->index(1, 1));
}

int GridControl::rowCount() const {
    return model_->rowCount();
}

int GridControl::columnCount() const {
    return model_->columnCount();
}

void GridControl::setCellSize(int row_height, int column_width) {
    row_height_ = std::max(1, row_height);
    column_width_ = std::max(1, column_width);
    applySizes();
}

void GridControl::setDefaultColours(const QColor& background, const QColor& text) {
    default_background_ = background;
    default_text_ = text;
}

void GridControl::applySizes() {
    verticalHeader()->setDefaultSectionSize(row_height_);
    horizontalHeader()->setDefaultSectionSize(column_width_);
    for (int r = 0; r < model_->rowCount(); ++r) setRowHeight(r, row_height_);
    for (int c = 0; c < model_->columnCount(); ++c) setColumnWidth(c, column_width_);
    setFixedSize(sizeHint());
    updateGeometry();
}

void GridControl::setCellText(int row, int column, const QString& text) {
    if (auto* c = model_->cell(row, column)) {
        c->text = text;
        model_->changed(row, column);
    }
}

QString GridControl::cellText(int row, int column) const {
    const auto* c = model_->cell(row, column);
    return c ? c->text : QString();
}

void GridControl::setCellColours(int row, int column, const QColor& background, const QColor& text) {
    if (auto* c = model_->cell(row, column)) {
        c->background = background;
        c->foreground = text;
        model_->changed(row, column);
    }
}

QColor GridControl::cellBackground(int row, int column) const {
    const auto* c = model_->cell(row, column);
    return c ? c->background : QColor();
}

QColor GridControl::cellTextColour(int row, int column) const {
    const auto* c = model_->cell(row, column);
    return c ? c->foreground : QColor();
}

void GridControl::redraw() {
    viewport()->update();
}

QRect GridControl::cellsRect() const {
    return QRect(viewport()->mapTo(this, QPoint(0, 0)),
                 QSize(model_->columnCount() * column_width_, model_->rowCount() * row_height_));
}

QColor GridControl::fromColourRef(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

QSize GridControl::sizeHint() const {
    const int frame = 2 * frameWidth();
    return QSize(model_->columnCount() * column_width_ + frame, model_->rowCount() * row_height_ + frame);
}

void GridControl::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            const auto index = currentIndex();
            if (index.isValid()) emit cellClicked(index.row(), index.column());
            event->accept();
            return;
        }
        default:
            QTableView::keyPressEvent(event);
    }
}

}  // namespace widgets
