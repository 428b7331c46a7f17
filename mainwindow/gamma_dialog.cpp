#include "mainwindow/gamma_dialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "widgets/localise_dialog.h"
#include "cardlink/exchange_service.h"
#include "common/frame.h"
#include "mainwindow/display_params.h"
#include "platform/localisation.h"

namespace {

QString gamma_text(int position) {
    return QString::number(static_cast<double>(display_params::gamma_of_position(position)), 'f', 1);
}

// The card's own value, as precise as it holds it (2.35 stays 2.35, 1 shows as 1.0).
QString card_gamma_text(float gamma) {
    QString text = QString::number(static_cast<double>(gamma), 'g', 6);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')) &&
        !text.contains(QLatin1Char('n')))
        text += QStringLiteral(".0");
    return text;
}

}  // namespace

GammaDialog::GammaDialog(cardlink::ExchangeService& exchanges, std::function<cardlink::CardTarget()> target,
                         float red, float green, float blue, QWidget* parent)
    : QDialog(parent),
      exchanges_(exchanges),
      target_(std::move(target)),
      red_gamma_(red),
      green_gamma_(green),
      blue_gamma_(blue),
      all_gamma_(red) {
    setWindowTitle(QStringLiteral("其他硬件参数"));
    auto* root = new QVBoxLayout(this);
    auto* group = numbered(new QGroupBox(QStringLiteral("Gamma"), this), kGammaGroup);
    auto* grid = new QGridLayout(group);
    auto add_row = [&](int row, int label_id, const char* label, int slider_id, int value_id,
                       QSlider*& slider, QLineEdit*& value) {
        grid->addWidget(numbered(new QLabel(QString::fromUtf8(label), group), label_id), row, 0);
        slider = numbered(new QSlider(Qt::Horizontal, group), slider_id);
        slider->setRange(0, display_params::kGammaPositionMax);
        slider->setPageStep(1);
        grid->addWidget(slider, row, 1);
        value = numbered(new QLineEdit(group), value_id);
        value->setReadOnly(true);  // shows the slider's value
        value->setMaximumWidth(50);
        grid->addWidget(value, row, 2);
    };
    add_row(0, kRedLabel, "红", kRed, kRedValue, red_, red_value_);
    add_row(1, kGreenLabel, "绿", kGreen, kGreenValue, green_, green_value_);
    add_row(2, kBlueLabel, "蓝", kBlue, kBlueValue, blue_, blue_value_);
    add_row(3, kAllLabel, "统一", kAll, kAllValue, all_, all_value_);
    auto* modes = new QHBoxLayout;
    separate_ = numbered(new QRadioButton(QStringLiteral("单独"), group), kSeparate);
    together_ = numbered(new QRadioButton(QStringLiteral("全部"), group), kTogether);
    auto* mode_group = new QButtonGroup(this);
    mode_group->addButton(separate_);
    mode_group->addButton(together_);
    modes->addWidget(separate_);
    modes->addWidget(together_);
    modes->addStretch(1);
    grid->addLayout(modes, 4, 0, 1, 3);
    root->addWidget(group);
    auto* save = numbered(new QPushButton(QStringLiteral("保存参数"), this), kSave);
    root->addWidget(save, 0, Qt::AlignRight);
    localise_dialog(this, kDialogNumber);

    const struct {
        QSlider* slider;
        QLineEdit* value;
        float gamma;
    } channels[] = {{red_, red_value_, red}, {green_, green_value_, green}, {blue_, blue_value_, blue}};
    for (const auto& c : channels) {
        c.slider->setValue(display_params::gamma_position(c.gamma));
        c.value->setText(card_gamma_text(c.gamma));
    }
    all_->setValue(display_params::gamma_position(red));
    all_value_->setText(card_gamma_text(red));
    const bool together = display_params::gamma_channels_equal(red, green, blue);
    (together ? together_ : separate_)->setChecked(true);
    setTogether(together);

    for (const auto& c : channels) {
        QSlider* slider = c.slider;
        QLineEdit* value = c.value;
        connect(slider, &QSlider::valueChanged, this,
                [this, slider, value] { onChannelMoved(slider, value); });
        connect(slider, &QSlider::sliderReleased, this, &GammaDialog::settled);
    }
    connect(all_, &QSlider::valueChanged, this, &GammaDialog::onAllMoved);
    connect(all_, &QSlider::sliderReleased, this, &GammaDialog::settled);
    settle_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, &GammaDialog::settled);
    connect(&exchanges_, &cardlink::ExchangeService::busyChanged, this, [this](bool busy) {
        if (!busy && pending_) sendPending();
    });
    connect(together_, &QRadioButton::toggled, this, &GammaDialog::setTogether);
    connect(save, &QPushButton::clicked, this, &QDialog::accept);
}

QWidget* GammaDialog::control(int id) const {
    return numbered_control(this, id);
}

bool GammaDialog::togetherMode() const {
    return together_->isChecked();
}

void GammaDialog::setTogether(bool together) {
    red_->setEnabled(!together);
    green_->setEnabled(!together);
    blue_->setEnabled(!together);
    all_->setEnabled(together);
}

void GammaDialog::onChannelMoved(QSlider* slider, QLineEdit* value) {
    value->setText(gamma_text(slider->value()));
    const float gamma = display_params::gamma_of_position(slider->value());
    (slider == red_ ? red_gamma_ : slider == green_ ? green_gamma_ : blue_gamma_) = gamma;
    // Keys and the wheel move the handle without a press and release, one step at a time: the value
    // has settled once they pause.
    if (!slider->isSliderDown()) settle_.start(kSettle);
}

void GammaDialog::onAllMoved(int position) {
    all_value_->setText(gamma_text(position));
    all_gamma_ = red_gamma_ = green_gamma_ = blue_gamma_ = display_params::gamma_of_position(position);
    for (auto [slider, value] :
         {std::pair{red_, red_value_}, std::pair{green_, green_value_}, std::pair{blue_, blue_value_}}) {
        QSignalBlocker block(slider);
        slider->setValue(position);
        value->setText(gamma_text(position));
    }
    if (!all_->isSliderDown()) settle_.start(kSettle);
}

void GammaDialog::settled() {
    settle_.stop();
    pending_ = true;
    if (!exchanges_.busy()) sendPending();
}

void GammaDialog::sendPending() {
    pending_ = false;
    const float red = togetherMode() ? all_gamma_ : red_gamma_;
    const float green = togetherMode() ? all_gamma_ : green_gamma_;
    const float blue = togetherMode() ? all_gamma_ : blue_gamma_;
    const auto command = display_params::gamma_command(red, green, blue);
    const QString what = QString::fromStdString(localisation::lookup(std::string(command.name_key))) +
                         QStringLiteral(": ") + card_gamma_text(red) + QStringLiteral(" / ") +
                         card_gamma_text(green) + QStringLiteral(" / ") + card_gamma_text(blue);
    const cardlink::CardTarget target = target_();
    emit commandSent(what, target);
    // No answer is read: a command that could not be sent shows the link error.
    exchanges_.submitCommand(target, frame::CMD_SCREEN_CONTROL,
                             std::vector<std::uint8_t>(command.block.begin(), command.block.end()),
                             command.read_answer, this,
                             [this, what, target, command](const cardlink::ExchangeResult& result) {
                                 emit commandEnded(what, target, result, command);
                                 cardlink::report_exchange_failure(result, command.failure_text);
                             });
}
