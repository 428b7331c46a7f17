#include "mainwindow/display_params_panel.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <algorithm>
#include <string>

#include "mainwindow/main_window.h"
#include "platform/localisation.h"
#include "widgets/localise_dialog.h"

namespace {

// Unchecks every button of an exclusive group (which otherwise keeps one checked).
void uncheck_all(QButtonGroup* group) {
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons()) b->setChecked(false);
    group->setExclusive(true);
}

}  // namespace

DisplayParamsPanel::DisplayParamsPanel(QWidget* owner, QGridLayout* grid, int first_row) : QObject(owner) {
    auto label = [&](int id, const char* text, int row) {
        grid->addWidget(numbered(new QLabel(QString::fromUtf8(text), owner), id), first_row + row, 0);
    };
    auto radio_pair = [&](int first_id, int second_id, const char* first, const char* second, int row) {
        auto* group = new QButtonGroup(this);
        auto* pair = new QHBoxLayout;
        auto* a = numbered(new QRadioButton(QString::fromUtf8(first), owner), first_id);
        auto* b = numbered(new QRadioButton(QString::fromUtf8(second), owner), second_id);
        group->addButton(a, 0);
        group->addButton(b, 1);
        pair->addWidget(a);
        pair->addWidget(b);
        pair->addStretch(1);
        grid->addLayout(pair, first_row + row, 1);
        return group;
    };

    label(MainWindow::kGrayLevelLabel, "灰度等级:", 0);
    gray_level_ = numbered(new QComboBox(owner), MainWindow::kGrayLevel);
    for (const auto& row : display_params::kGrayRows)
        gray_level_->addItem(QString::fromStdString(localisation::lookup(std::string(row.key))));
    gray_level_->setCurrentIndex(-1);
    grid->addWidget(gray_level_, first_row, 1);
    label(MainWindow::kScanClockLabel, "扫描时钟:", 1);
    scan_clock_ = numbered(new QComboBox(owner), MainWindow::kScanClock);
    for (const auto& clock : display_params::kScanClocks)
        scan_clock_->addItem(QString::fromLatin1(clock.text.data(), static_cast<int>(clock.text.size())));
    scan_clock_->setCurrentIndex(-1);
    grid->addWidget(scan_clock_, first_row + 1, 1);
    label(MainWindow::kOePolarityLabel, "OE极性:", 2);
    oe_polarity_ = radio_pair(MainWindow::kOePositive, MainWindow::kOeNegative, "正", "负", 2);
    label(MainWindow::kDataPolarityLabel, "数据极性:", 3);
    data_polarity_ = radio_pair(MainWindow::kDataPositive, MainWindow::kDataNegative, "正", "负", 3);
    label(MainWindow::kBrightnessLabel, "亮度", 4);
    auto* brightness_row = new QHBoxLayout;
    brightness_ = numbered(new QSlider(Qt::Horizontal, owner), MainWindow::kBrightness);
    brightness_->setPageStep(1);
    brightness_->setTickPosition(QSlider::TicksBelow);
    // Set before the slider is connected: narrowing the range moves the handle, and that is no user's choice.
    brightness_->setRange(display_params::kBrightnessMin, display_params::kBrightnessMax);
    brightness_row->addWidget(brightness_, 1);
    brightness_value_ = numbered(new QLineEdit(owner), MainWindow::kBrightnessValue);
    brightness_value_->setReadOnly(true);  // shows the slider's position; the slider sets it
    brightness_value_->setMaximumWidth(40);
    brightness_row->addWidget(brightness_value_);
    grid->addLayout(brightness_row, first_row + 4, 1);

    // Hidden controls of the dialog template: their handlers work, but the user never sees them.
    label(MainWindow::kDutyCycleLabel, "占空比:", 5);
    duty_cycle_ = radio_pair(MainWindow::kDutyHalf, MainWindow::kDutyQuarter, "50%", "25%", 5);
    grid->itemAtPosition(first_row + 5, 0)->widget()->setVisible(false);
    for (QAbstractButton* b : duty_cycle_->buttons()) b->setVisible(false);

    connect(gray_level_, &QComboBox::activated, this, [this](int index) {
        if (index < 0 || index >= static_cast<int>(display_params::kGrayRows.size())) return;
        emit grayLevelChosen(index, gray_level_->itemText(index));
    });
    connect(scan_clock_, &QComboBox::activated, this, [this](int index) {
        if (index < 0 || index >= static_cast<int>(display_params::kScanClocks.size())) return;
        emit commandChosen(display_params::scan_clock_command(index), scan_clock_->itemText(index).trimmed(),
                           true);
    });
    connect(oe_polarity_, &QButtonGroup::idClicked, this, [this](int id) {
        emit commandChosen(display_params::oe_polarity_command(static_cast<display_params::Polarity>(id)),
                           oe_polarity_->button(id)->text(), false);
    });
    connect(data_polarity_, &QButtonGroup::idClicked, this, [this](int id) {
        emit commandChosen(display_params::data_polarity_command(static_cast<display_params::Polarity>(id)),
                           data_polarity_->button(id)->text(), false);
    });
    connect(duty_cycle_, &QButtonGroup::idClicked, this, [this](int id) {
        emit commandChosen(display_params::duty_cycle_command(static_cast<display_params::DutyCycle>(id)),
                           duty_cycle_->button(id)->text(), true);
    });
    connect(brightness_, &QSlider::valueChanged, this, &DisplayParamsPanel::onBrightnessMoved);
    connect(brightness_, &QSlider::sliderReleased, this, &DisplayParamsPanel::onBrightnessReleased);
}

void DisplayParamsPanel::clear() {
    gray_level_->setCurrentIndex(-1);
    scan_clock_->setCurrentIndex(-1);
    for (QButtonGroup* group : {oe_polarity_, data_polarity_, duty_cycle_}) uncheck_all(group);
    brightness_value_->clear();
}

void DisplayParamsPanel::show(const card_info::CardInfo& info, bool restoring) {
    const auto scan = display_params::scan_clock_index_of(info.scan_clock_code);
    scan_clock_->setCurrentIndex(scan.value_or(-1));
    if (const auto gray = display_params::gray_index_of(info.gray_value))
        gray_level_->setCurrentIndex(*gray);
    else if (restoring)
        gray_level_->setCurrentIndex(-1);
    {
        QSignalBlocker block(brightness_);
        brightness_->setValue(
            static_cast<int>(std::min<std::uint32_t>(info.brightness, display_params::kBrightnessMax)));
    }
    brightness_value_->setText(QString::number(brightness_->value()));
    auto check = [](QButtonGroup* group, std::uint32_t value) {
        if (QAbstractButton* b = group->button(static_cast<int>(value)))
            b->setChecked(true);
        else
            uncheck_all(group);
    };
    check(oe_polarity_, info.oe_polarity);
    check(data_polarity_, info.data_polarity);
    check(duty_cycle_, info.duty_cycle);
}

void DisplayParamsPanel::setEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{gray_level_, scan_clock_, brightness_})
        w->setEnabled(enabled);
    for (QButtonGroup* group : {oe_polarity_, data_polarity_, duty_cycle_})
        for (QAbstractButton* b : group->buttons()) b->setEnabled(enabled);
}

void DisplayParamsPanel::onBrightnessMoved(int position) {
    brightness_value_->setText(QString::number(position));
    // Keys, wheel and clicks beside the handle move it without a press and release: that is a release.
    if (!brightness_->isSliderDown()) onBrightnessReleased();
}

void DisplayParamsPanel::onBrightnessReleased() {
    emit commandChosen(display_params::brightness_command(brightness_->value()),
                       QString::number(brightness_->value()), false);
}
