#include "mainwindow/test_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "mainwindow/test_patterns.h"
#include "widgets/localise_dialog.h"

namespace {

QLineEdit* number_edit(QWidget* parent, int value) {
    auto* edit = new QLineEdit(QString::number(value), parent);
    edit->setValidator(new QIntValidator(0, 65535, edit));
    edit->setMaximumWidth(70);
    return edit;
}

}  // namespace

TestDialog::TestDialog(std::function<void(const Block&)> send, QWidget* parent)
    : QDialog(parent), send_(std::move(send)) {
    setWindowTitle(QStringLiteral("测试"));
    const test_patterns::GridTest grid_defaults;
    const test_patterns::GrayTest gray_defaults;
    auto* root = new QVBoxLayout(this);

    auto* grid = numbered(new QGroupBox(QStringLiteral("网格测试"), this), kGridGroup);
    auto* grid_layout = new QGridLayout(grid);
    grid_colour_ = new QButtonGroup(this);
    const std::array<std::pair<int, const char*>, 4> colours{
        {{kGridRed, "红"}, {kGridGreen, "绿"}, {kGridBlue, "蓝"}, {kGridWhite, "白"}}};
    for (int i = 0; i < 4; ++i) {
        auto* radio =
            numbered(new QRadioButton(QString::fromUtf8(colours[i].second), grid), colours[i].first);
        grid_colour_->addButton(radio, i);
        grid_layout->addWidget(radio, 0, i);
    }
    grid_colour_->button(static_cast<int>(grid_defaults.colour))->setChecked(true);
    horizontal_ = numbered(new QCheckBox(QStringLiteral("横线"), grid), kHorizontal);
    vertical_ = numbered(new QCheckBox(QStringLiteral("竖线"), grid), kVertical);
    diagonal_ = numbered(new QCheckBox(QStringLiteral("斜线"), grid), kDiagonal);
    horizontal_->setChecked(grid_defaults.horizontal);
    vertical_->setChecked(grid_defaults.vertical);
    diagonal_->setChecked(grid_defaults.diagonal);
    grid_layout->addWidget(horizontal_, 1, 0);
    grid_layout->addWidget(vertical_, 1, 1);
    grid_layout->addWidget(diagonal_, 1, 2);
    grid_layout->addWidget(numbered(new QLabel(QStringLiteral("线距"), grid), kSpacingLabel), 2, 0);
    spacing_ = numbered(number_edit(grid, static_cast<int>(grid_defaults.spacing)), kSpacing);
    grid_layout->addWidget(spacing_, 2, 1);
    grid_layout->addWidget(numbered(new QLabel(QStringLiteral("速度"), grid), kGridSpeedLabel), 2, 2);
    grid_speed_ = numbered(number_edit(grid, static_cast<int>(grid_defaults.speed)), kGridSpeed);
    grid_layout->addWidget(grid_speed_, 2, 3);
    auto* grid_test = numbered(new QPushButton(QStringLiteral("测试"), grid), kGridTest);
    grid_layout->addWidget(grid_test, 3, 3);
    root->addWidget(grid);

    auto* gray = numbered(new QGroupBox(QStringLiteral("灰度测试"), this), kGrayGroup);
    auto* gray_layout = new QGridLayout(gray);
    gray_red_ = numbered(new QCheckBox(QStringLiteral("红"), gray), kGrayRed);
    gray_green_ = numbered(new QCheckBox(QStringLiteral("绿"), gray), kGrayGreen);
    gray_blue_ = numbered(new QCheckBox(QStringLiteral("蓝"), gray), kGrayBlue);
    gray_white_ = numbered(new QCheckBox(QStringLiteral("白"), gray), kGrayWhite);
    int column = 0;
    for (QCheckBox* box : {gray_red_, gray_green_, gray_blue_, gray_white_})
        gray_layout->addWidget(box, 0, column++);
    gray_red_->setChecked(gray_defaults.red);
    gray_green_->setChecked(gray_defaults.green);
    gray_blue_->setChecked(gray_defaults.blue);
    gray_white_->setChecked(gray_defaults.white);
    gray_layout->addWidget(numbered(new QLabel(QStringLiteral("速度"), gray), kGraySpeedLabel), 1, 0);
    gray_speed_ = numbered(number_edit(gray, static_cast<int>(gray_defaults.speed)), kGraySpeed);
    gray_layout->addWidget(gray_speed_, 1, 1);
    auto* gray_test = numbered(new QPushButton(QStringLiteral("测试"), gray), kGrayTest);
    gray_layout->addWidget(gray_test, 2, 3);
    root->addWidget(gray);

    auto* stop = numbered(new QPushButton(QStringLiteral("停止测试"), this), kStop);
    root->addWidget(stop, 0, Qt::AlignRight);
    for (QPushButton* b : findChildren<QPushButton*>()) b->setAutoDefault(false);
    localise_dialog(this, kDialogNumber);

    connect(grid_test, &QPushButton::clicked, this, &TestDialog::onGridTest);
    connect(gray_test, &QPushButton::clicked, this, &TestDialog::onGrayTest);
    connect(stop, &QPushButton::clicked, this, [this] { send_(test_patterns::stop_block()); });
}

QWidget* TestDialog::control(int id) const {
    return numbered_control(this, id);
}

void TestDialog::onGridTest() {
    test_patterns::GridTest g;
    g.colour = static_cast<test_patterns::GridColour>(std::max(0, grid_colour_->checkedId()));
    g.horizontal = horizontal_->isChecked();
    g.vertical = vertical_->isChecked();
    g.diagonal = diagonal_->isChecked();
    g.spacing = spacing_->text().toUInt();
    g.speed = grid_speed_->text().toUInt();
    g = test_patterns::with_fallback(g);
    horizontal_->setChecked(g.horizontal);
    send_(test_patterns::grid_block(g));
}

void TestDialog::onGrayTest() {
    test_patterns::GrayTest g;
    g.red = gray_red_->isChecked();
    g.green = gray_green_->isChecked();
    g.blue = gray_blue_->isChecked();
    g.white = gray_white_->isChecked();
    g.speed = gray_speed_->text().toUInt();
    g = test_patterns::with_fallback(g);
    gray_red_->setChecked(g.red);
    send_(test_patterns::gray_block(g));
}
