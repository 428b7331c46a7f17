// A clickable grid of text cells with one fixed header row and one fixed header column (row 0 and
// column 0), fixed row heights and column widths, and per-cell text, background and text colours. The
// wizard's tracing and line-check steps number the cells the technician clicks in it.
//
// It is a QTableView over its own model, so the cells are items an accessibility tool can read (the
// table interface names each cell by its text, and describes it by its row and column), and it works
// from the keyboard: the arrow keys move the current cell, Space and Enter click it.
//
// cellClicked(row, column) is emitted for every cell clicked or keyed, header cells included: the user
// of the grid decides which cells count. The grid is as large as its cells and never scrolls, so the
// header row and column stay where they are. UI thread only.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QTableView>
#include <cstdint>

namespace widgets {

class GridModel;

class GridControl : public QTableView {
    Q_OBJECT
  public:
    explicit GridControl(QWidget* parent = nullptr);

    // Rows and columns, the header row and column included. Every cell is emptied and takes the default
    // colours; the header cells show nothing until set.
    void setGridSize(int rows, int columns);
    int rowCount() const;
    int columnCount() const;

    // Every row `row_height` pixels high, every column `column_width` wide.
    void setCellSize(int row_height, int column_width);
    int cellHeight() const { return row_height_; }
    int cellWidth() const { return column_width_; }

    // Colours an ordinary cell takes when the grid is (re)sized.
    void setDefaultColours(const QColor& background, const QColor& text);

    // Cells outside the grid are ignored (setters) or read as empty (getters).
    void setCellText(int row, int column, const QString& text);
    QString cellText(int row, int column) const;
    void setCellColours(int row, int column, const QColor& background, const QColor& text);
    QColor cellBackground(int row, int column) const;
    QColor cellTextColour(int row, int column) const;
    bool isHeaderCell(int row, int column) const { return row == 0 || column == 0; }

    // Repaints every cell.
    void redraw();
    // The area the cells cover, in this widget's coordinates (what a picture of the grid takes).
    QRect cellsRect() const;

    // A colour given as a 0x00BBGGRR value.
    static QColor fromColourRef(std::uint32_t bgr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  signals:
    void cellClicked(int row, int column);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void applySizes();

    GridModel* model_;
    int row_height_ = 20;
    int column_width_ = 25;
    QColor default_background_ = Qt::white;
    QColor default_text_ = Qt::red;
};

}  // namespace widgets
