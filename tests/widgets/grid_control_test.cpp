// The grid control: its size and cell geometry, cell texts and colours, clicks by mouse and keyboard,
// and what an accessibility tool reads from it.
#include "widgets/grid_control.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>

namespace {

using widgets::GridControl;

class GridControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        grid_.setCellSize(20, 25);
        grid_.setDefaultColours(Qt::white, Qt::red);
        grid_.setGridSize(5, 4);  // a header row and column, 4 x 3 ordinary cells
        grid_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid_));
    }

    QPoint centre(int row, int column) const {
        return grid_.visualRect(grid_.model()->index(row, column)).center();
    }
    std::vector<std::pair<int, int>> clicks(const QSignalSpy& spy) const {
        std::vector<std::pair<int, int>> out;
        for (const auto& args : spy) out.emplace_back(args.at(0).toInt(), args.at(1).toInt());
        return out;
    }

    GridControl grid_;
};

TEST_F(GridControlTest, IsExactlyAsLargeAsItsCells) {
    EXPECT_EQ(grid_.rowCount(), 5);
    EXPECT_EQ(grid_.columnCount(), 4);
    EXPECT_EQ(grid_.cellsRect().size(), QSize(4 * 25, 5 * 20));
    EXPECT_EQ(grid_.size(), QSize(100, 100));
    for (int c = 0; c < 4; ++c) EXPECT_EQ(grid_.columnWidth(c), 25);
    for (int r = 0; r < 5; ++r) EXPECT_EQ(grid_.rowHeight(r), 20);
    // The cell at row 2, column 3 lies where the fixed sizes put it.
    EXPECT_EQ(grid_.visualRect(grid_.model()->index(2, 3)).topLeft(), QPoint(75, 40));
    grid_.setGridSize(17, 33);
    EXPECT_EQ(grid_.size(), QSize(33 * 25, 17 * 20));
}

TEST_F(GridControlTest, CellsKeepTheirTextAndColoursUntilTheGridIsResized) {
    EXPECT_EQ(grid_.cellBackground(2, 2), QColor(Qt::white));
    EXPECT_EQ(grid_.cellTextColour(2, 2), QColor(Qt::red));
    grid_.setCellText(2, 2, QStringLiteral("7"));
    grid_.setCellColours(2, 2, GridControl::fromColourRef(0xCCCCFF), Qt::black);
    EXPECT_EQ(grid_.cellText(2, 2), "7");
    EXPECT_EQ(grid_.cellBackground(2, 2), QColor(0xFF, 0xCC, 0xCC));  // 0x00BBGGRR
    EXPECT_EQ(grid_.cellTextColour(2, 2), QColor(Qt::black));
    EXPECT_EQ(grid_.model()->data(grid_.model()->index(2, 2)).toString(), "7");
    // Outside the grid nothing is written and nothing is read.
    grid_.setCellText(9, 9, QStringLiteral("x"));
    grid_.setCellText(-1, 0, QStringLiteral("x"));
    EXPECT_TRUE(grid_.cellText(9, 9).isEmpty());
    EXPECT_FALSE(grid_.cellBackground(-1, 2).isValid());
    grid_.setGridSize(5, 4);
    EXPECT_TRUE(grid_.cellText(2, 2).isEmpty());
    EXPECT_EQ(grid_.cellBackground(2, 2), QColor(Qt::white));
}

TEST_F(GridControlTest, MouseClicksReportTheCellHeadersIncluded) {
    QSignalSpy spy(&grid_, &GridControl::cellClicked);
    QTest::mouseClick(grid_.viewport(), Qt::LeftButton, {}, centre(3, 2));
    QTest::mouseClick(grid_.viewport(), Qt::LeftButton, {}, centre(0, 1));
    QTest::mouseClick(grid_.viewport(), Qt::LeftButton, {}, centre(4, 3));
    EXPECT_EQ(clicks(spy), (std::vector<std::pair<int, int>>{{3, 2}, {0, 1}, {4, 3}}));
}

TEST_F(GridControlTest, ArrowsMoveAndSpaceOrEnterClick) {
    QSignalSpy spy(&grid_, &GridControl::cellClicked);
    grid_.setFocus();
    // The grid starts on the first ordinary cell.
    QTest::keyClick(&grid_, Qt::Key_Space);
    QTest::keyClick(&grid_, Qt::Key_Right);
    QTest::keyClick(&grid_, Qt::Key_Right);
    QTest::keyClick(&grid_, Qt::Key_Return);
    QTest::keyClick(&grid_, Qt::Key_Down);
    QTest::keyClick(&grid_, Qt::Key_Enter);
    QTest::keyClick(&grid_, Qt::Key_Left);
    QTest::keyClick(&grid_, Qt::Key_Up);
    QTest::keyClick(&grid_, Qt::Key_Up);
    QTest::keyClick(&grid_, Qt::Key_Space);
    EXPECT_EQ(clicks(spy), (std::vector<std::pair<int, int>>{{1, 1}, {1, 3}, {2, 3}, {0, 2}}));
}

TEST_F(GridControlTest, AccessibilityToolsReadEveryCell) {
    grid_.setCellText(0, 1, QStringLiteral("1"));
    grid_.setCellText(3, 2, QStringLiteral("12"));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&grid_);
    ASSERT_NE(iface, nullptr);
    QAccessibleTableInterface* table = iface->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 5);
    EXPECT_EQ(table->columnCount(), 4);
    QAccessibleInterface* cell = table->cellAt(3, 2);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name), "12");
    EXPECT_EQ(cell->text(QAccessible::Description), "Row 3, column 2");
    EXPECT_EQ(table->cellAt(0, 1)->text(QAccessible::Name), "1");
    EXPECT_TRUE(table->cellAt(2, 2)->text(QAccessible::Name).isEmpty());
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
