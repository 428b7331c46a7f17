#include "wizard/pages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPainter>
#include <QPixmap>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/localisation.h"
#include "platform/message_service.h"
#include "widgets/grid_control.h"
#include "widgets/localise_dialog.h"
#include "wizard/smart_setup_wizard.h"

namespace wizard {

namespace {

QString localised(std::string_view key) {
    return QString::fromStdString(localisation::lookup(key));
}

QLabel* label(QWidget* parent, const QString& text, int control) {
    return numbered(new QLabel(text, parent), control);
}

// The panel's heading: its dialog's title in the chosen language (each panel its own step), else the
// template caption.
QLabel* caption(QWidget* parent, int dialog) {
    const auto title = localisation::lookup_or_empty(localisation::dialog_title_key(dialog));
    auto* l = new QLabel(title.empty() ? QStringLiteral("第一步") : QString::fromStdString(title), parent);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

constexpr std::array<HubPicture, 6> kPictures = {HubPicture::KorvaS630,    HubPicture::KorvaS730,
                                                 HubPicture::KorvaS730_40, HubPicture::KorvaS730_75,
                                                 HubPicture::Linsn40,      HubPicture::Linsn90};

// The card's link error first, then the step's own text; a refused answer shows the step's text alone.
Messages exchange_messages(const cardlink::SequenceResult& r, const std::string& failure,
                           bool link_then_failure) {
    if (!r.connected) {
        Messages m{"IDS_MESSAGE_CARD_LINK_ERROR"};
        if (link_then_failure && !failure.empty()) m.push_back(failure);
        return m;
    }
    if (!r.results.empty() && !r.results.front().ok() && !failure.empty()) return {failure};
    return {};
}

}  // namespace

// ---- step 1 ----

QPixmap hubBoardPicture(HubPicture picture) {
    struct Look {
        const char* name;
        int ports;      // HUB75 connectors along the board
        bool two_rows;  // connectors on both long edges
    };
    Look look{"", 0, false};
    switch (picture) {
        case HubPicture::KorvaS630:
            look = {"KORVA S630", 8, false};
            break;
        case HubPicture::KorvaS730:
            look = {"KORVA S730", 12, true};
            break;
        case HubPicture::KorvaS730_40:
            look = {"KORVA S730-40", 8, true};
            break;
        case HubPicture::KorvaS730_75:
            look = {"KORVA S730-75", 16, true};
            break;
        case HubPicture::Linsn40:
            look = {"LINSN 40", 8, false};
            break;
        case HubPicture::Linsn90:
            look = {"LINSN 40B / 90", 12, false};
            break;
        case HubPicture::None:
            break;
    }
    QPixmap pm(240, 110);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x1F, 0x6B, 0x3A));  // the board
    p.setPen(QPen(QColor(0x0E, 0x3D, 0x20), 2));
    p.drawRoundedRect(QRectF(4, 4, 232, 102), 6, 6);
    const int per_row = look.two_rows ? (look.ports + 1) / 2 : look.ports;
    const double pitch = per_row > 0 ? 216.0 / per_row : 0;
    auto connectors = [&](double y, int count, int first) {
        for (int i = 0; i < count; ++i) {
            const QRectF box(14 + i * pitch, y, pitch - 4, 16);
            p.setBrush(QColor(0x20, 0x20, 0x20));
            p.setPen(QPen(QColor(0xC0, 0xC0, 0xC0), 1));
            p.drawRect(box);
            p.setPen(QColor(0xF0, 0xE0, 0x60));
            p.setFont(QFont(QStringLiteral("Sans"), 5));
            p.drawText(box, Qt::AlignCenter, QStringLiteral("J%1").arg(first + i));
        }
    };
    connectors(10, per_row, 1);
    if (look.two_rows) connectors(84, look.ports - per_row, per_row + 1);
    // The card's socket and the board's name.
    p.setBrush(QColor(0xD0, 0xD0, 0xD0));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(90, 40, 60, 24));
    p.setPen(Qt::white);
    p.setFont(QFont(QStringLiteral("Sans"), 8, QFont::Bold));
    p.drawText(QRectF(4, 64, 232, 18), Qt::AlignCenter, QString::fromLatin1(look.name));
    return pm;
}

int ModuleInfoPage::pictureControl(HubPicture picture) {
    switch (picture) {
        case HubPicture::KorvaS630:
            return 1182;
        case HubPicture::KorvaS730:
            return 1181;
        case HubPicture::KorvaS730_40:
            return 1179;
        case HubPicture::KorvaS730_75:
            return 1180;
        case HubPicture::Linsn40:
            return 1176;
        case HubPicture::Linsn90:
            return 1175;
        case HubPicture::None:
            break;
    }
    return 0;
}

ModuleInfoPage::ModuleInfoPage(SmartSetupWizard& frame) : frame_(frame), info_(frame.card().card_id) {
    setProperty(kDialogIdProperty, kDialogNumber);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption(this, kDialogNumber));
    const char* notes[] = {"注意事项：1.LED模组按照实际安装的方向摆放，切勿放反", "2.HUB类型一定要选择正确",
                           "3.单个模组测试时，排线必须接到HUB的第一个接口J1"};
    for (int i = 0; i < 3; ++i) {
        auto* note = label(this, QString::fromUtf8(notes[i]), 2102 + i);
        note->setStyleSheet(QStringLiteral("color: #C00000;"));
        layout->addWidget(note);
    }
    auto* form = new QFormLayout;
    width_ = numbered(new QLineEdit(QStringLiteral("16"), this), kWidth);
    height_ = numbered(new QLineEdit(QStringLiteral("16"), this), kHeight);
    for (QLineEdit* e : {width_, height_}) e->setValidator(new QIntValidator(0, 100000, e));
    cables_ = numbered(new QComboBox(this), kCableGroups);
    cables_->addItems({QStringLiteral("1"), QStringLiteral("2")});
    rgb_ = numbered(new QComboBox(this), kRgbGroups);
    rgb_->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("4")});
    for (QComboBox* c : {cables_, rgb_}) c->setCurrentIndex(-1);
    form->addRow(label(this, QStringLiteral("宽度(像素点数)"), 2105), width_);
    form->addRow(label(this, QStringLiteral("高度(像素点数):"), 2106), height_);
    form->addRow(label(this, QStringLiteral("排线组数:"), 2107), cables_);
    form->addRow(label(this, QStringLiteral("每组排线RGB组数:"), 2108), rgb_);
    layout->addLayout(form);

    hub_group_ = numbered(new QGroupBox(QStringLiteral("HUB板类型"), this), kHubGroup);
    auto* hub_layout = new QHBoxLayout(hub_group_);
    hub_ = numbered(new QComboBox(hub_group_), kHubList);
    for (std::size_t row = 0; row < kHubBoardRows; ++row) {
        const auto name = hub_boards()[row].name;
        hub_->addItem(row == 0 ? localised("IDS_MESSAGE_DUDO_PLEASE_SEL")
                               : QString::fromLatin1(name.data(), static_cast<int>(name.size())));
    }
    hub_->setCurrentIndex(-1);
    hub_layout->addWidget(hub_);
    for (std::size_t i = 0; i < kPictures.size(); ++i) {
        pictures_[i] = numbered(new QLabel(hub_group_), pictureControl(kPictures[i]));
        pictures_[i]->setPixmap(hubBoardPicture(kPictures[i]));
        pictures_[i]->hide();
        hub_layout->addWidget(pictures_[i]);
    }
    hub_layout->addStretch(1);
    layout->addWidget(hub_group_);

    auto* decoder_group = numbered(new QGroupBox(QStringLiteral("扫描屏译码类型"), this), 2109);
    auto* decoder_layout = new QHBoxLayout(decoder_group);
    decoder_ = numbered(new QComboBox(decoder_group), kDecoderList);
    for (auto key : kDecoderKeys) decoder_->addItem(localised(key));
    decoder_->setCurrentIndex(-1);
    decoder_layout->addWidget(decoder_);
    decoder_layout->addStretch(1);
    layout->addWidget(decoder_group);
    layout->addStretch(1);

    connect(width_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!writing_back_) entered_width_ = text.toUInt();
    });
    connect(hub_, &QComboBox::activated, this, &ModuleInfoPage::onHubChosen);
    connect(decoder_, &QComboBox::activated, this, &ModuleInfoPage::onDecoderChosen);
    localise_dialog(this, kDialogNumber);
}

QWidget* ModuleInfoPage::pictureOf(HubPicture picture) const {
    for (std::size_t i = 0; i < kPictures.size(); ++i)
        if (kPictures[i] == picture) return pictures_[i];
    return nullptr;
}

void ModuleInfoPage::applyHubVisibility() {
    hub_group_->setVisible(info_.hub_visible());
    if (!info_.hub_visible()) hub_->setCurrentIndex(0);
}

void ModuleInfoPage::readFields() {
    info_.width = width_->text().toUInt();
    info_.height = height_->text().toUInt();
    info_.cable_groups_index = cables_->currentIndex();
    info_.rgb_groups_index = rgb_->currentIndex();
    info_.hub_row = hub_->currentIndex();
    info_.decoder_index = decoder_->currentIndex();
}

bool ModuleInfoPage::accept() {
    readFields();
    const auto outcome = info_.accept(frame_.working().config);
    writing_back_ = true;
    width_->setText(QString::number(info_.width));
    height_->setText(QString::number(info_.height));
    writing_back_ = false;
    SmartSetupWizard::showMessages(outcome.messages);
    return outcome.accepted;
}

void ModuleInfoPage::onHubChosen(int row) {
    const auto block = info_.hub_block(row);
    if (!block) return;
    frame_.sendBlocks({*block}, true, this, [this, row](const cardlink::SequenceResult& r) {
        if (r.connected) {
            const auto picture = hub_picture(hub_boards()[static_cast<std::size_t>(row)].name);
            for (QLabel* l : pictures_) l->hide();
            if (QWidget* shown = pictureOf(picture)) shown->show();
            shown_picture_ = picture;
            info_.hub_connected(row, frame_.working().config);
        }
        SmartSetupWizard::showMessages(exchange_messages(r, std::string(ModuleInfo::kHubFailure), false));
    });
}

void ModuleInfoPage::onDecoderChosen(int index) {
    if (index < 0) return;
    frame_.sendBlocks({ModuleInfo::decoder_block(index)}, true, this,
                      [this, index](const cardlink::SequenceResult& r) {
                          if (r.connected) ModuleInfo::decoder_connected(index, frame_.working().config);
                          SmartSetupWizard::showMessages(
                              exchange_messages(r, std::string(ModuleInfo::kDecoderFailure), false));
                      });
}

// ---- steps 2 to 4 ----

AlternatingPage::AlternatingPage(SmartSetupWizard& frame, Alternation kind) : frame_(frame), step_(kind) {
    const bool colour = kind == Alternation::Colour;
    setProperty(kDialogIdProperty, dialogNumber());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption(this, dialogNumber()));
    const char* group_text = kind == Alternation::DataPolarity ? "显示屏变化(RP)"
                             : kind == Alternation::Oe         ? "显示屏变化(OE)"
                                                               : "显示屏变化";
    auto* group = numbered(new QGroupBox(QString::fromUtf8(group_text), this), 2110);
    auto* radios = new QHBoxLayout(group);
    radios_ = new QButtonGroup(this);
    for (int k = 1; k <= step_.state_count(); ++k) {
        auto* r = numbered(new QRadioButton(QString::number(k), group), kRadioFirst + k - 1);
        radios_->addButton(r, k);
        radios->addWidget(r);
        r->setVisible(k <= 3);  // the fourth state is lit but has no button
    }
    radios->addStretch(1);
    layout->addWidget(group);
    auto_change_ = numbered(
        new QCheckBox(QString::fromUtf8(
                          colour ? "状态自动变化,每隔4秒会变化一次,观察LED模块,在显示状态中选择正确的答案"
                                 : "状态自动变化,每隔4秒变化一次,观察LED 模块,在显示状态中选择正确的答案."),
                      this),
        kAutoChange);
    layout->addWidget(auto_change_);

    auto* form = new QFormLayout;
    const int list_ids[] = {kList1, kList2, kList3, kList4};
    for (int i = 0; i < 4; ++i) {
        auto* list = numbered(new QComboBox(this), list_ids[i]);
        list->addItem(localised("IDS_MESSAGE_DUDO_PLEASE_SEL"));
        if (kind == Alternation::DataPolarity)
            list->addItems({localised("IDS_MESSAGE_STEP2_2"), localised("IDS_MESSAGE_STEP2_3")});
        else if (kind == Alternation::Oe)
            list->addItems({localised("IDS_MESSAGE_STEP4_2"), localised("IDS_MESSAGE_STEP4_3"),
                            localised("IDS_MESSAGE_STEP4_4")});
        else
            for (const char* key : {"IDS_MESSAGE_STEP5_5", "IDS_MESSAGE_STEP5_6", "IDS_MESSAGE_STEP5_7",
                                    "IDS_MESSAGE_STEP5_8", "IDS_MESSAGE_STEP5_9"})
                list->addItem(localised(key));
        list->setCurrentIndex(0);
        lists_[static_cast<std::size_t>(i)] = list;
        const QString caption =
            colour ? QString::fromUtf8("显示状态%1:").arg(i + 1) : QString::fromUtf8("显示状态");
        if (i < step_.lists()) {
            form->addRow(label(this, caption, 2111 + i), list);
        } else {
            list->hide();
        }
        connect(list, &QComboBox::activated, this, [this, i](int index) {
            if (auto hint = step_.answer_chosen(i, index)) SmartSetupWizard::showMessages({*hint});
        });
    }
    layout->addLayout(form);
    layout->addStretch(1);

    timer_.setSingleShot(false);
    connect(&timer_, &QTimer::timeout, this, [this] {
        // A tick while the last state's exchange (or its message) is still open waits for the next one.
        if (in_flight_) return;
        showState(step_.tick());
    });
    connect(radios_, &QButtonGroup::idClicked, this, [this](int k) { showState(step_.radio_clicked(k)); });
    connect(auto_change_, &QCheckBox::clicked, this, [this](bool ticked) {
        if (const auto k = step_.auto_change_clicked(ticked)) {
            showState(*k);
            timer_.start(period_);
        } else {
            timer_.stop();
        }
    });
    localise_dialog(this, dialogNumber());
}

int AlternatingPage::dialogNumber() const {
    switch (step_.kind()) {
        case Alternation::DataPolarity:
            return 130;
        case Alternation::Oe:
            return 132;
        case Alternation::Colour:
            break;
    }
    return 133;
}

void AlternatingPage::render() {
    if (auto* b = radios_->button(step_.shown() + 1)) b->setChecked(true);
    auto_change_->setChecked(step_.auto_change());
}

void AlternatingPage::start() {
    showState(step_.start());
    timer_.start(period_);
}

void AlternatingPage::stop() {
    timer_.stop();
}

void AlternatingPage::showState(int k) {
    render();
    in_flight_ = true;
    frame_.sendBlocks({step_.block(k)}, true, this, [this, k](const cardlink::SequenceResult& r) {
        SmartSetupWizard::showMessages(exchange_messages(r, step_.failure_text(k), true));
        in_flight_ = false;
    });
}

bool AlternatingPage::accept() {
    for (int i = 0; i < 4; ++i)
        step_.answers[static_cast<std::size_t>(i)] = lists_[static_cast<std::size_t>(i)]->currentIndex();
    const auto result = step_.accept(frame_.working().config);
    SmartSetupWizard::showMessages(result.outcome.messages);
    if (result.show) showState(*result.show);
    return result.outcome.accepted;
}

// ---- step 5 ----

ScanLinesPage::ScanLinesPage(SmartSetupWizard& frame) : frame_(frame) {
    setProperty(kDialogIdProperty, kDialogNumber);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption(this, kDialogNumber));
    auto* group = numbered(new QGroupBox(QStringLiteral("只观察J1接口的第一个模组"), this), 2110);
    auto* form = new QFormLayout(group);
    rows_lit_ = numbered(new QComboBox(group), kRowsLit);
    rows_lit_->addItem(localised("IDS_MESSAGE_DUDO_PLEASE_SEL"));
    for (auto t : ScanLines::kRowsLit)
        rows_lit_->addItem(QString::fromLatin1(t.data(), static_cast<int>(t.size())));
    rows_between_ = numbered(new QComboBox(group), kRowsBetween);
    rows_between_->addItems({localised("IDS_MESSAGE_DUDO_PLEASE_SEL"), localised("IDS_MESSAGE_STEP6_3")});
    for (auto t : ScanLines::kRowsBetween)
        rows_between_->addItem(QString::fromLatin1(t.data(), static_cast<int>(t.size())));
    rows_lit_->setCurrentIndex(0);
    rows_between_->setCurrentIndex(0);
    // What to count: the rows lit in the top band alone (the rows one RGB group drives), said in the
    // question, in a line naming the band's rows, and in a picture.
    auto* rows_lit_label =
        label(group, QStringLiteral("只数最上面一段（一个RGB组驱动的行）中亮的行数:"), kRowsLitLabel);
    rows_lit_label->setWordWrap(true);
    form->addRow(rows_lit_label, rows_lit_);
    form->addRow(label(group, QStringLiteral("两条亮线间隔的行数"), 2112), rows_between_);
    auto* band_row = new QHBoxLayout;
    band_picture_ = numbered(new QLabel(group), kBandPicture);
    band_note_ = numbered(new QLabel(group), kBandNote);
    band_note_->setWordWrap(true);
    band_note_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    band_row->addWidget(band_picture_, 0, Qt::AlignTop);
    band_row->addWidget(band_note_, 1);
    form->addRow(band_row);
    layout->addWidget(group);
    layout->addWidget(
        label(this, QStringLiteral("提示:当显示屏只亮一行时，间隔行数必须选【无间隔或只亮了一行】"), 2113));
    layout->addStretch(1);
    localise_dialog(this, kDialogNumber);
}

QPixmap bandPicture(std::uint32_t bands, std::uint32_t scan) {
    // A module of `bands` bands (drawn up to 4) of `scan` rows (drawn up to 8 each), the same rows lit in
    // every band; the top band framed and its lit rows bright, with a bracket: those are counted.
    const int shown_bands = static_cast<int>(std::clamp<std::uint32_t>(bands, 1, 4));
    const int rows = static_cast<int>(std::clamp<std::uint32_t>(scan, 1, 8));
    constexpr int kPitch = 8;
    constexpr int kColumns = 16;
    const int band_height = rows * kPitch;
    const int gap = 6;
    QPixmap pm(kColumns * kPitch + 44, shown_bands * (band_height + gap) + 8);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x20, 0x20, 0x20));
    p.drawRoundedRect(QRectF(0, 0, kColumns * kPitch + 8, pm.height()), 3, 3);
    for (int b = 0; b < shown_bands; ++b) {
        const int top = 4 + b * (band_height + gap);
        for (int r = 0; r < rows; ++r) {
            const bool lit = r % 2 == 0;
            QColor led = lit ? (b == 0 ? QColor(0xFF, 0xE0, 0x40) : QColor(0x70, 0x68, 0x40))
                             : QColor(0x40, 0x40, 0x40);
            p.setBrush(led);
            for (int c = 0; c < kColumns; ++c)
                p.drawEllipse(QRectF(4 + c * kPitch + 1, top + r * kPitch + 1, kPitch - 2, kPitch - 2));
        }
        if (b == 0) {
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(0x30, 0xA0, 0xFF), 2));
            p.drawRect(QRectF(2, top - 2, kColumns * kPitch + 4, band_height + 4));
            // The bracket beside the band, and its first and last row.
            const int x = kColumns * kPitch + 14;
            p.drawLine(x, top, x + 5, top);
            p.drawLine(x + 5, top, x + 5, top + band_height);
            p.drawLine(x, top + band_height, x + 5, top + band_height);
            p.setPen(QColor(0x30, 0xA0, 0xFF));
            QFont f = p.font();
            f.setPixelSize(9);
            p.setFont(f);
            p.drawText(QRectF(x + 8, top - 2, 24, 12), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("1"));
            p.drawText(QRectF(x + 8, top + band_height - 10, 24, 12), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::number(scan));
            p.setPen(Qt::NoPen);
        }
    }
    return pm;
}

void ScanLinesPage::showBand() {
    const std::uint32_t scan = frame_.working().config.get(screenconfig::ConfigField::scanCount);
    const std::uint32_t bands = std::max<std::uint32_t>(1, frame_.moduleInfoPage()->controller().bands());
    band_note_->setText(
        QString::fromStdString(localisation::lookup("IDS_MESSAGE_STEP6_BAND")).arg(scan).arg(bands));
    band_picture_->setPixmap(bandPicture(bands, scan));
}

void ScanLinesPage::lightRowPattern() {
    frame_.sendBlocks({ScanLines::row_pattern()}, true, this, [](const cardlink::SequenceResult& r) {
        // A refused answer shows nothing here; an unreachable card is said.
        if (!r.connected) SmartSetupWizard::showMessages({"IDS_MESSAGE_CARD_LINK_ERROR"});
    });
}

void ScanLinesPage::accept(std::function<void(bool)> done) {
    scan_.rows_lit_index = rows_lit_->currentIndex();
    scan_.rows_between_index = rows_between_->currentIndex();
    auto plan = scan_.accept(frame_.working());
    if (!plan.outcome.accepted) {
        SmartSetupWizard::showMessages(plan.outcome.messages);
        done(false);
        return;
    }
    frame_.sendBlocks(std::move(plan.blocks), true, this,
                      [done = std::move(done)](const cardlink::SequenceResult& r) {
                          const auto outcome = ScanLines::finish(r);
                          SmartSetupWizard::showMessages(outcome.messages);
                          done(outcome.accepted);
                      });
}

// ---- the grids of steps 6 and 7 ----

namespace {

constexpr int kRowHeight = 20;
constexpr int kColumnWidth = 25;

widgets::GridControl* make_grid(QWidget* parent, int control) {
    auto* grid = numbered(new widgets::GridControl(parent), control);
    grid->setCellSize(kRowHeight, kColumnWidth);
    grid->setDefaultColours(Qt::white, Qt::red);
    return grid;
}

// Cell (0, 0) shows `corner`; the header row numbers the columns, the header column the rows (the
// one-row and one-column grids of step 7 number only their long side).
enum class Numbered { Both, Columns, Rows };
void number_headers(widgets::GridControl* grid, const QString& corner, Numbered numbered = Numbered::Both) {
    grid->setCellText(0, 0, corner);
    if (numbered != Numbered::Rows)
        for (int c = 1; c < grid->columnCount(); ++c) grid->setCellText(0, c, QString::number(c));
    if (numbered != Numbered::Columns)
        for (int r = 1; r < grid->rowCount(); ++r) grid->setCellText(r, 0, QString::number(r));
}

void draw_numbers(widgets::GridControl* grid, const NumberGrid& numbers) {
    for (int r = 1; r < numbers.rows(); ++r)
        for (int c = 1; c < numbers.columns(); ++c) {
            const auto n = numbers.number(r, c);
            grid->setCellText(r, c, n ? QString::number(*n) : QString());
            switch (numbers.look(r, c)) {
                case NumberGrid::Look::Fresh:
                    grid->setCellColours(r, c, Qt::white, Qt::red);
                    break;
                case NumberGrid::Look::Numbered:
                    grid->setCellColours(r, c, widgets::GridControl::fromColourRef(PointTracePage::kNumbered),
                                         Qt::black);
                    break;
                case NumberGrid::Look::Cleared:
                    grid->setCellColours(r, c, Qt::white, Qt::black);
                    break;
            }
        }
    grid->redraw();
}

// The step's failure texts for the answers a sequence got (a connection that did not open is said by
// `no_connection` alone).
Messages sequence_messages(const cardlink::SequenceResult& r, std::span<const std::string_view> failures,
                           std::string_view no_connection) {
    if (!r.connected) return {std::string(no_connection)};
    Messages m;
    for (std::size_t i = 0; i < r.results.size() && i < failures.size(); ++i)
        if (!r.results[i].ok()) m.emplace_back(failures[i]);
    return m;
}

}  // namespace

// ---- step 6 ----

PointTracePage::PointTracePage(SmartSetupWizard& frame) : frame_(frame) {
    setProperty(kDialogIdProperty, kDialogNumber);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(caption(this, kDialogNumber));
    modes_ = new QButtonGroup(this);
    auto* list_radio = numbered(new QRadioButton(QStringLiteral("从通用屏体中选取"), this), kListRadio);
    modes_->addButton(list_radio, static_cast<int>(PointTrace::Mode::List));
    layout->addWidget(list_radio);
    layout->addWidget(
        label(this, QStringLiteral("依次选择，直到屏幕画面上只有一条横线和一条竖线"), kListHint));
    auto* list_row = new QHBoxLayout;
    list_ = numbered(new QComboBox(this), kList);
    list_->setMinimumWidth(220);
    chosen_ = numbered(new QLineEdit(this), kChosen);
    chosen_->setReadOnly(true);
    chosen_->setMaximumWidth(60);
    list_row->addWidget(list_);
    list_row->addWidget(chosen_);
    list_row->addStretch(1);
    layout->addLayout(list_row);
    auto* grid_radio = numbered(
        new QRadioButton(
            QStringLiteral("如果以上选择都不能在屏幕上看到只有一条横线和一条竖线的情况，请选择此项"), this),
        kGridRadio);
    modes_->addButton(grid_radio, static_cast<int>(PointTrace::Mode::Grid));
    layout->addWidget(grid_radio);
    grid_hint_ = label(
        this, QStringLiteral("请在表格中点击屏幕上亮点所在的格子。点“回退”退回一个点，点“复位”重新开始。"),
        kGridHint);
    grid_hint_->setWordWrap(true);
    layout->addWidget(grid_hint_);
    grid_ = make_grid(this, kGrid);
    layout->addWidget(grid_, 0, Qt::AlignLeft);
    auto* buttons = new QHBoxLayout;
    back_ = numbered(new QPushButton(QStringLiteral("回退"), this), kBack);
    reset_ = numbered(new QPushButton(QStringLiteral("复位"), this), kReset);
    for (QPushButton* b : {back_, reset_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    done_hint_ =
        label(this,
              QStringLiteral(
                  "逐点追踪已完成，结果已存为图片。要继续，请选上面的“从通用屏体中选取”，再按“下一步”。"),
              kDoneHint);
    done_hint_->setWordWrap(true);
    done_hint_->setStyleSheet(QStringLiteral("color: #0050A0;"));
    done_hint_->hide();
    layout->addWidget(done_hint_);
    layout->addStretch(1);
    list_radio->setChecked(true);
    for (QWidget* w : std::initializer_list<QWidget*>{grid_hint_, grid_, back_, reset_}) w->hide();

    connect(modes_, &QButtonGroup::idClicked, this,
            [this](int id) { chooseMode(static_cast<PointTrace::Mode>(id)); });
    connect(list_, &QComboBox::activated, this, &PointTracePage::onListChosen);
    connect(grid_, &widgets::GridControl::cellClicked, this, &PointTracePage::onCellClicked);
    connect(back_, &QPushButton::clicked, this, &PointTracePage::onBack);
    connect(reset_, &QPushButton::clicked, this, [this] {
        if (!in_flight_) layOutGrid();
    });
    localise_dialog(this, kDialogNumber);
}

QRadioButton* PointTracePage::radio(PointTrace::Mode mode) const {
    return static_cast<QRadioButton*>(modes_->button(static_cast<int>(mode)));
}

void PointTracePage::enter() {
    layOutGrid();
    list_->clear();
    for (const auto& entry : trace_.list()) list_->addItem(localised(entry.key));
    list_->setCurrentIndex(-1);
    if (trace_.mode == PointTrace::Mode::Grid) frame_.setNextEnabled(false);
}

void PointTracePage::layOutGrid() {
    const auto& header = frame_.working().config;
    const auto& info = frame_.moduleInfoPage()->controller();
    PointTrace::Module module;
    module.width = info.width_limited();
    module.height = info.height_limited();
    module.scan = header.get(screenconfig::ConfigField::scanCount);
    module.line_group = header.get(screenconfig::ConfigField::lineGroup);
    module.lit_rows_minus_one = frame_.litRowsHandedOver();
    const auto first = trace_.lay_out(module);
    waiting_.clear();
    done_hint_->hide();
    if (module.width > 16) frame_.setFrameWidth(static_cast<int>(module.width) * kColumnWidth);
    grid_->setGridSize(trace_.grid().rows(), trace_.grid().columns());
    number_headers(grid_, QString());
    render();
    if (first) light(*first, [](bool) {});
}

void PointTracePage::render() {
    draw_numbers(grid_, trace_.grid());
}

void PointTracePage::light(Block block, std::function<void(bool)> done) {
    setBusy(true);
    frame_.sendPoints({block}, this, [this, done = std::move(done)](const std::vector<bool>& opened) {
        in_flight_ = false;
        const bool ok = !opened.empty() && opened.front();
        if (!ok) SmartSetupWizard::showMessages({"IDS_MESSAGE_CARD_LINK_ERROR"});
        done(ok);
        settle();
    });
}

void PointTracePage::setBusy(bool busy) {
    in_flight_ = busy;
    // The grid says plainly that it is not ready; a click made meanwhile waits its turn.
    if (busy)
        grid_->viewport()->setCursor(Qt::BusyCursor);
    else
        grid_->viewport()->unsetCursor();
}

void PointTracePage::settle() {
    if (in_flight_) return;
    setBusy(false);
    if (waiting_.empty()) return;
    const auto [row, column] = waiting_.front();
    waiting_.pop_front();
    onCellClicked(row, column);
}

void PointTracePage::chooseMode(PointTrace::Mode mode) {
    const bool from_grid = trace_.mode == PointTrace::Mode::Grid && mode == PointTrace::Mode::List;
    trace_.mode = mode;
    const bool grid = mode == PointTrace::Mode::Grid;
    for (QWidget* w : std::initializer_list<QWidget*>{grid_hint_, grid_, back_, reset_}) w->setVisible(grid);
    list_->setEnabled(!grid);
    frame_.setNextEnabled(!grid);
    done_hint_->hide();
    waiting_.clear();
    if (from_grid)
        frame_.sendBlocks({PointTrace::list_mode_block(frame_.working().config)}, true, this,
                          [](const cardlink::SequenceResult& r) {
                              SmartSetupWizard::showMessages(
                                  exchange_messages(r, std::string(PointTrace::kListModeFailure), false));
                          });
    if (!grid) return;
    setBusy(true);
    frame_.sendBlocks(PointTrace::grid_mode_blocks(), true, this, [this](const cardlink::SequenceResult& r) {
        in_flight_ = false;
        SmartSetupWizard::showMessages(
            sequence_messages(r, PointTrace::kGridFailures, PointTrace::kGridNoConnection));
        const auto first = r.connected ? trace_.start_tracing() : std::nullopt;  // nothing lit without
        if (first)
            light(*first, [](bool) {});
        else
            settle();
    });
}

void PointTracePage::onListChosen(int index) {
    if (index < 0) return;
    auto choice = trace_.choose(index, frame_.working());
    chosen_->setText(QString::fromStdString(choice.number_text));
    frame_.sendBlocks(std::move(choice.blocks), true, this, [](const cardlink::SequenceResult& r) {
        SmartSetupWizard::showMessages(
            sequence_messages(r, PointTrace::kChoiceFailures, PointTrace::kChoiceNoConnection));
    });
}

void PointTracePage::onCellClicked(int row, int column) {
    if (in_flight_) {
        waiting_.emplace_back(row, column);
        return;
    }
    const auto click = trace_.clicked(row, column, frame_.working());
    render();
    SmartSetupWizard::showMessages(click.messages);
    if (!click.light) {
        settle();
        return;
    }
    light(*click.light, [this, click](bool ok) {
        if (!ok) trace_.light_failed();
        if (click.save_picture) {
            // Next stays off in grid mode: the page says how to go on.
            done_hint_->show();
            savePicture(click.picture_columns, click.picture_rows);
        }
    });
}

void PointTracePage::onBack() {
    if (in_flight_) return;
    const auto block = trace_.back_block();
    if (!block) return;
    light(*block, [this](bool ok) {
        if (!ok) return;
        trace_.back_done(frame_.working().config.get(screenconfig::ConfigField::scanCount));
        done_hint_->hide();
        render();
    });
}

KelvraRect gridPictureRect(const widgets::GridControl& grid, int columns, int rows) {
    const QPoint top_left = grid.mapTo(grid.window(), grid.cellsRect().topLeft());
    return {top_left.x(), top_left.y(), top_left.x() + columns * grid.cellWidth(),
            top_left.y() + rows * grid.cellHeight()};
}

void PointTracePage::savePicture(int columns, int rows) {
    QWidget* window = grid_->window();
    // The capture takes what the screen shows: a tall grid (1/32 scan) the panel scrolls is brought
    // whole into view first.
    for (QWidget* w = grid_->parentWidget(); w; w = w->parentWidget())
        if (auto* scroller = qobject_cast<QScrollArea*>(w)) {
            scroller->ensureWidgetVisible(grid_, 0, 0);
            break;
        }
    const KelvraRect rect = gridPictureRect(*grid_, columns, rows);
    grid_->repaint();
    if (!kelvra_) kelvra_ = std::make_unique<KelvraPictures>();
    const auto path = traced_picture_path();
    const auto error = kelvra_->save_window_jpeg(static_cast<unsigned long>(window->winId()), path, rect);
    if (error == PictureError::None) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_DUDO_POINT_LINE_OVER") + "\n" +
                               path.string());
        return;
    }
    // A picture that was not saved is said, with the reason, instead of the tracing's success.
    std::string why(picture_error_name(error));
    if (!kelvra_->detail().empty()) why += ": " + kelvra_->detail();
    platform::show_message(
        localisation::lookup("IDS_MESSAGE_NCP_NOT_SAVED") + "\n" + path.string() + "\n" + why, {},
        platform::MessageIcon::Warning);
}

// ---- step 7 ----

LineCheckPage::LineCheckPage(SmartSetupWizard& frame) : frame_(frame) {
    setProperty(kDialogIdProperty, kDialogNumber);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption(this, kDialogNumber));
    auto* column_hint = label(
        this, QStringLiteral("1.观察屏幕上点亮点的位置，并在下列表格中选中亮点所在的位置"), kColumnHint);
    column_hint->setWordWrap(true);
    layout->addWidget(column_hint);
    auto* column_row = new QHBoxLayout;
    columns_ = make_grid(this, kColumnGrid);
    auto* column_redo = numbered(new QPushButton(QStringLiteral("重新选择"), this), kColumnRedo);
    column_row->addWidget(columns_);
    column_row->addWidget(column_redo, 0, Qt::AlignTop);
    column_row->addStretch(1);
    layout->addLayout(column_row);
    columns_note_ = numbered(new QLabel(this), kColumnsNote);
    columns_note_->setWordWrap(true);
    columns_note_->hide();
    layout->addWidget(columns_note_);
    row_hint_ =
        label(this, QStringLiteral("2.观察屏幕上点亮点的位置，并在下列表格中选中亮点所在的位置"), kRowHint);
    row_hint_->setWordWrap(true);
    layout->addWidget(row_hint_);
    auto* row_row = new QHBoxLayout;
    rows_ = make_grid(this, kRowGrid);
    row_redo_ = numbered(new QPushButton(QStringLiteral("重新选择"), this), kRowRedo);
    row_row->addWidget(rows_);
    row_row->addWidget(row_redo_, 0, Qt::AlignTop);
    row_row->addStretch(1);
    layout->addLayout(row_row);
    layout->addStretch(1);
    for (QPushButton* b : {column_redo, row_redo_}) b->setAutoDefault(false);
    showRows(false);

    connect(column_redo, &QPushButton::clicked, this, [this] {
        if (!in_flight_) enter();
    });
    connect(row_redo_, &QPushButton::clicked, this, [this] {
        if (in_flight_) return;
        auto actions = check_.lay_out_rows(true);
        rows_->setGridSize(check_.row_grid().rows(), check_.row_grid().columns());
        number_headers(rows_, localised("IDS_MESSAGE_GOBACK_ROW"), Numbered::Rows);
        render();
        run(std::move(actions));
    });
    connect(columns_, &widgets::GridControl::cellClicked, this,
            [this](int row, int column) { onClicked(columns_, row, column); });
    connect(rows_, &widgets::GridControl::cellClicked, this,
            [this](int row, int column) { onClicked(rows_, row, column); });
    localise_dialog(this, kDialogNumber);
}

void LineCheckPage::onClicked(widgets::GridControl* grid, int row, int column) {
    if (in_flight_) {
        waiting_.push_back({grid, row, column});
        return;
    }
    auto actions = grid == columns_
                       ? check_.column_clicked(row, column, frame_.working().params)
                       : check_.row_clicked(row, column, frame_.working().params, frame_.working().config);
    render();
    run(std::move(actions));
}

void LineCheckPage::setBusy(bool busy) {
    in_flight_ = busy;
    for (widgets::GridControl* g : {columns_, rows_}) {
        if (busy)
            g->viewport()->setCursor(Qt::BusyCursor);
        else
            g->viewport()->unsetCursor();
    }
}

void LineCheckPage::settle() {
    setBusy(false);
    if (waiting_.empty()) return;
    const Waiting next = waiting_.front();
    waiting_.pop_front();
    onClicked(next.grid, next.row, next.column);
}

void LineCheckPage::enter() {
    const auto width = frame_.moduleInfoPage()->controller().width_limited();
    const auto scan = frame_.working().config.get(screenconfig::ConfigField::scanCount);
    auto actions = check_.lay_out_columns(frame_.working().params, width, scan);
    waiting_.clear();
    columns_->setGridSize(check_.column_grid().rows(), check_.column_grid().columns());
    number_headers(columns_, localised("IDS_MESSAGE_GOBACK_COLUMN"), Numbered::Columns);
    numberModuleColumns();
    rows_->setGridSize(check_.row_grid().rows(), check_.row_grid().columns());
    number_headers(rows_, localised("IDS_MESSAGE_GOBACK_ROW"), Numbered::Rows);
    showRows(false);
    render();
    run(std::move(actions));
}

void LineCheckPage::numberModuleColumns() {
    // The grid stands for the module's rightmost columns: its header numbers them as the module's LED
    // columns, counted from the left, and the note under it says so when the module is wider.
    const std::uint32_t cells = static_cast<std::uint32_t>(columns_->columnCount() - 1);
    const std::uint32_t module_width = std::max(frame_.moduleInfoPage()->enteredWidth(), cells);
    for (std::uint32_t c = 1; c <= cells; ++c)
        columns_->setCellText(0, static_cast<int>(c), QString::number(module_width - cells + c));
    columns_note_->setText(QString::fromStdString(localisation::lookup("IDS_MESSAGE_STEP8_COLUMNS_SHOWN"))
                               .arg(cells)
                               .arg(module_width - cells + 1)
                               .arg(module_width));
    columns_note_->setVisible(module_width > cells);
}

void LineCheckPage::showRows(bool shown) {
    for (QWidget* w : std::initializer_list<QWidget*>{row_hint_, rows_, row_redo_}) w->setVisible(shown);
}

void LineCheckPage::render() {
    draw_numbers(columns_, check_.column_grid());
    draw_numbers(rows_, check_.row_grid());
}

void LineCheckPage::run(LineCheck::Actions actions) {
    SmartSetupWizard::showMessages(actions.messages);
    if (actions.show_rows) showRows(true);
    if (actions.finish) frame_.setFinishEnabled(*actions.finish);
    if (actions.points.empty()) {
        sendFlags(std::move(actions.flags), std::move(actions.test_line));
        return;
    }
    setBusy(true);
    frame_.sendPoints(
        std::move(actions.points), this,
        [this, flags = actions.flags, test_line = actions.test_line](const std::vector<bool>& opened) {
            Messages m;
            for (bool ok : opened)
                if (!ok) m.emplace_back("IDS_MESSAGE_CARD_LINK_ERROR");
            SmartSetupWizard::showMessages(m);
            sendFlags(flags, test_line);
        });
}

void LineCheckPage::sendFlags(std::optional<Block> flags, std::optional<Block> test_line) {
    if (!flags) {
        settle();
        return;
    }
    setBusy(true);
    frame_.sendBlocks({*flags}, true, this, [this, test_line](const cardlink::SequenceResult& r) {
        if (!r.connected)
            SmartSetupWizard::showMessages({"IDS_MESSAGE_CARD_LINK_ERROR"});
        else if (r.results.empty() || !r.results.front().ok())
            SmartSetupWizard::showMessages({std::string(LineCheck::kFlagsFailure)});
        if (test_line)
            lightTestLine(*test_line);
        else
            settle();
    });
}

void LineCheckPage::lightTestLine(Block test_line) {
    frame_.sendPoints({test_line}, this, [this](const std::vector<bool>& opened) {
        setBusy(false);
        if (opened.empty() || !opened.front()) {
            SmartSetupWizard::showMessages({"IDS_MESSAGE_CARD_LINK_ERROR"});
            settle();
            return;
        }
        const auto reply =
            platform::show_message(localisation::lookup("IDS_MESSAGE_STEP8_TEST_LINE_IS_RIGHT"), {},
                                   platform::MessageIcon::Question, platform::MessageButtons::YesNo);
        if (reply == platform::MessageReply::Yes) {
            waiting_.clear();
            frame_.finish();
            return;
        }
        SmartSetupWizard::showMessages({"IDS_MESSAGE_STEP8_FAILED_RESET_PLEASE"});
        settle();
    });
}

}  // namespace wizard
