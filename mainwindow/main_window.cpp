#include "mainwindow/main_window.h"

#include <algorithm>
#include <utility>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QKeyEvent>
#include <QStatusBar>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "widgets/localise_dialog.h"
#include "common/card_info.h"
#include "platform/localisation.h"
#include "mainwindow/display_params.h"
#include "mainwindow/display_params_panel.h"
#include "mainwindow/import_progress_dialog.h"
#include "mainwindow/message_window.h"
#include "screenconfig/image_transfer_runner.h"
#include "mainwindow/status_text.h"
#include "mainwindow/upgrade_runner.h"
#include "wizard/smart_setup_wizard.h"
#include "platform/message_service.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "mainwindow/hcp_dialogs.h"
#include "screenconfig/screen_files.h"
#include "common/frame.h"

namespace {

// The dialog's title with the build's date and time, as the program has always shown its version.
QString main_window_title() {
    return QString::fromStdString(localisation::lookup_or_empty(localisation::dialog_title_key(102))) +
           QStringLiteral("--version[") + QStringLiteral(__DATE__) + QStringLiteral(" ") +
           QStringLiteral(__TIME__) + QStringLiteral("]");
}

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QString cut15(const std::string& text) {
    return qs(text.substr(0, card_info::kMaxAddressText));
}

QLineEdit* address_edit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    static const QRegularExpression ipv4(QStringLiteral(R"(^(\d{1,3}(\.\d{0,3}){0,3})?$)"));
    edit->setValidator(new QRegularExpressionValidator(ipv4, edit));
    edit->setMaxLength(static_cast<int>(card_info::kMaxAddressText));
    edit->setPlaceholderText(QStringLiteral("0.0.0.0"));
    return edit;
}

QString version_text(const card_info::CardInfo& info) {
    // The board's version is shown as it is; the program's version carries the low-version warning.
    std::string hv = cardlink::FormatFirmwareVersion(info.hardware_version, info.card_id, true);
    std::string sv = cardlink::FormatFirmwareVersion(info.software_version, info.card_id, false);
    return qs(localisation::lookup("IDS_MESSAGE_DOWNLOAD_HV") + " " + hv + "," +
              localisation::lookup("IDS_MESSAGE_DOWNLOAD_SV") + " " + sv);
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QDialog(parent) {
    buildControls();
    localise_dialog(this, kDialogNumber);
    address_->setEnabled(false);
    check_address_->setEnabled(false);

    import_progress_ = new ImportProgressDialog(this);

    QFont list_font(QStringLiteral("Arial"));
    list_font.setPixelSize(24);
    card_list_->setFont(list_font);

    connectCardLink();
    connect(&exchanges_, &cardlink::ExchangeService::busyChanged, this, [this](bool busy) {
        // Disabling the control that has the focus moves the focus on; it comes back afterwards.
        if (busy) focus_before_busy_ = focusWidget();
        if (busy)
            setCursor(Qt::BusyCursor);
        else
            unsetCursor();
        updateEnabling();
        if (!busy && focus_before_busy_ && focus_before_busy_->isEnabled()) focus_before_busy_->setFocus();
    });
    report_timer_.setSingleShot(true);
    connect(&report_timer_, &QTimer::timeout, this,
            [this] { setStatusLine(status_text::no_report_line(awaited_report_, kReportWait)); });

    send_to_receiver_->setEnabled(false);
    save_hcp_->setEnabled(false);
    updateEnabling();

    setWindowTitle(main_window_title());
    updateStatusTarget();
}

MainWindow::~MainWindow() {
    link_.stopDiscovery();
    // A running transfer ends (its steps are bounded) before the progress window it reports to goes.
    image_runner_.reset();
}

void MainWindow::start() {
    link_.open();
    link_.startDiscovery();
}

void MainWindow::buildControls() {
    auto* root = new QVBoxLayout(this);

    version_ = numbered(new QLineEdit(this), kVersionField);
    version_->setReadOnly(true);
    root->addWidget(version_);

    auto* columns = new QHBoxLayout;
    root->addLayout(columns, 1);

    // Left: the cards found on the network, and a card addressed by IP.
    auto* cards = numbered(new QGroupBox(QStringLiteral("请选择需要智能设置的屏"), this), kCardListTitle);
    auto* cards_layout = new QVBoxLayout(cards);
    card_list_ = numbered(new QListWidget(cards), kCardList);
    card_list_->setSelectionMode(QAbstractItemView::SingleSelection);
    cards_layout->addWidget(card_list_, 1);
    manual_search_ = numbered(new QPushButton(QStringLiteral("手动检查"), cards), kManualSearch);
    cards_layout->addWidget(manual_search_);
    address_mode_box_ = numbered(new QCheckBox(QStringLiteral("指定IP地址的控制卡"), cards), kAddressMode);
    cards_layout->addWidget(address_mode_box_);
    auto* address_row = new QHBoxLayout;
    address_row->addWidget(numbered(new QLabel(QStringLiteral("IP地址:"), cards), kAddressLabel));
    address_ = numbered(address_edit(cards), kAddressField);
    address_row->addWidget(address_, 1);
    check_address_ = numbered(new QPushButton(QStringLiteral("检测"), cards), kCheckAddress);
    address_row->addWidget(check_address_);
    cards_layout->addLayout(address_row);
    columns->addWidget(cards, 1);

    // Right: the selected card's settings and the screen parameters.
    auto* right = new QVBoxLayout;
    columns->addLayout(right, 1);
    auto* network = new QGridLayout;
    auto add_row = [&](int row, int label_id, const char* label, int edit_id, QLineEdit*& edit) {
        network->addWidget(numbered(new QLabel(QString::fromUtf8(label), this), label_id), row, 0);
        edit = numbered(address_edit(this), edit_id);
        network->addWidget(edit, row, 1);
    };
    add_row(0, kIpAddressLabel, "IP地址:", kIpAddress, ip_);
    add_row(1, kSubnetMaskLabel, "掩码:", kSubnetMask, mask_);
    add_row(2, kGatewayLabel, "网关:", kGateway, gateway_);
    auto* size_validator =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^\\d{0,5}$")), this);
    network->addWidget(numbered(new QLabel(QStringLiteral("屏宽:"), this), kScreenWidthLabel), 3, 0);
    width_ = numbered(new QLineEdit(this), kScreenWidth);
    width_->setValidator(size_validator);
    network->addWidget(width_, 3, 1);
    network->addWidget(numbered(new QLabel(QStringLiteral("屏高:"), this), kScreenHeightLabel), 4, 0);
    height_ = numbered(new QLineEdit(this), kScreenHeight);
    height_->setValidator(size_validator);
    network->addWidget(height_, 4, 1);
    display_ = new DisplayParamsPanel(this, network, 5);
    connect(display_, &DisplayParamsPanel::grayLevelChosen, this, &MainWindow::onGrayLevelChosen);
    connect(display_, &DisplayParamsPanel::commandChosen, this,
            [this](const display_params::DisplayCommand& command, const QString& value, bool needs_card) {
                if (needs_card && !haveCards() && !address_mode_) return;
                sendDisplayCommand(command, value);
            });
    buildShiftControls();
    right->addLayout(network);
    buildSettingsControls(right);

    auto* start_row = new QHBoxLayout;
    start_wizard_ = numbered(new QPushButton(QStringLiteral("启动向导"), this), kStartWizard);
    start_row->addWidget(start_wizard_, 1);
    special_screens_ = numbered(new QPushButton(QStringLiteral("特殊屏体设置"), this), kSpecialScreens);
    special_screens_->setVisible(false);  // until the special screens are installed
    start_row->addWidget(special_screens_, 1);
    module_library_ = numbered(new QPushButton(QStringLiteral("模组库"), this), kModuleLibrary);
    start_row->addWidget(module_library_, 1);
    report_button_ = numbered(new QPushButton(QStringLiteral("生成调试报告"), this), kReport);
    start_row->addWidget(report_button_, 1);
    right->addLayout(start_row);

    auto* load_row = new QHBoxLayout;
    load_hcp_ = numbered(new QPushButton(QStringLiteral("选择.hcp文件加载"), this), kLoadHcp);
    load_row->addWidget(load_hcp_);
    hcp_title_ = numbered(new QLineEdit(this), kHcpTitle);
    hcp_title_->setReadOnly(true);
    load_row->addWidget(hcp_title_, 1);
    right->addLayout(load_row);

    auto* send_row = new QHBoxLayout;
    send_to_card_ = numbered(new QPushButton(QStringLiteral("发送到控制卡"), this), kSendToCard);
    send_row->addWidget(send_to_card_);
    save_hcp_ = numbered(new QPushButton(QStringLiteral("保存到文件"), this), kSaveHcp);
    save_hcp_->setVisible(false);  // used by the wizard's finish
    send_row->addWidget(save_hcp_);
    send_to_receiver_ = numbered(new QPushButton(QStringLiteral("发送到接收卡"), this), kSendToReceiver);
    send_to_receiver_->setVisible(false);
    send_row->addWidget(send_to_receiver_);
    right->addLayout(send_row);
    right->addStretch(1);

    auto* help = numbered(new QPushButton(QStringLiteral("帮助"), this), kHelp);
    right->addWidget(help, 0, Qt::AlignRight);

    // The status bar: the card commands go to, and how the last exchange ended. Both carry texts from
    // the network (card ids), so they are plain text.
    auto* status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    status_line_ = numbered(new QLabel(status), kStatusLine);
    status_target_ = numbered(new QLabel(status), kStatusTarget);
    for (QLabel* label : {status_line_, status_target_}) label->setTextFormat(Qt::PlainText);
    // A long line is shortened in its middle (the card's name), so that its end, the outcome, stays in
    // view at any window width; the whole text is the tooltip.
    status_line_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    status->addWidget(status_line_, 1);
    status_line_->installEventFilter(this);
    status->addPermanentWidget(status_target_);
    root->addWidget(status);

    // Enter in an edit never presses a button by itself: a dialog's push buttons are "auto default"
    // unless told otherwise.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    connect(card_list_, &QListWidget::currentRowChanged, this, &MainWindow::onListSelectionChanged);
    connect(manual_search_, &QPushButton::clicked, this, &MainWindow::onManualSearch);
    connect(address_mode_box_, &QCheckBox::toggled, this, &MainWindow::onAddressModeToggled);
    connect(check_address_, &QPushButton::clicked, this, &MainWindow::onCheckAddress);
    connect(address_, &QLineEdit::returnPressed, this, &MainWindow::onCheckAddress);
    connect(address_, &QLineEdit::textChanged, this, [this] {
        if (!address_mode_) return;
        link_.setTargetOverride(
            cardlink::CardTarget{std::string(cardlink::kCheckCardId), address_->text().toStdString()});
        updateStatusTarget();
    });
    connect(start_wizard_, &QPushButton::clicked, this, &MainWindow::onStartWizard);
    connect(report_button_, &QPushButton::clicked, this, &MainWindow::onReport);
    connect(special_screens_, &QPushButton::clicked, this, [this] {
        if (open_special_screens_) open_special_screens_();
    });
    connect(module_library_, &QPushButton::clicked, this, &MainWindow::onModuleLibrary);
    connect(load_hcp_, &QPushButton::clicked, this, &MainWindow::onLoadHcp);
    connect(save_hcp_, &QPushButton::clicked, this, &MainWindow::onSaveHcp);
    connect(send_to_card_, &QPushButton::clicked, this, &MainWindow::onSendToCard);
    connect(send_to_receiver_, &QPushButton::clicked, this, &MainWindow::onSendToReceiver);
    connect(help, &QPushButton::clicked, this, &MainWindow::onHelp);
    connect(width_, &QLineEdit::textChanged, this, &MainWindow::onScreenSizeEdited);
    connect(height_, &QLineEdit::textChanged, this, &MainWindow::onScreenSizeEdited);
    resize(760, 540);
}

void MainWindow::buildShiftControls() {
    auto* shift_validator =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^-?\\d{0,9}$")), this);
    shift_columns_ = numbered(new QLineEdit(this), kShiftColumns);
    shift_width_ = numbered(new QLineEdit(this), kShiftWidth);
    shift_ = numbered(new QPushButton(QStringLiteral("右移"), this), kShiftRight);
    for (QWidget* w : {static_cast<QWidget*>(shift_columns_), static_cast<QWidget*>(shift_width_),
                       static_cast<QWidget*>(shift_)}) {
        w->setVisible(false);
    }
    shift_columns_->setValidator(shift_validator);
    shift_width_->setValidator(shift_validator);
    connect(shift_, &QPushButton::clicked, this, &MainWindow::onShiftRight);
}

void MainWindow::onGrayLevelChosen(int index, const QString& text) {
    if (!haveCards() && !address_mode_) return;
    const auto& row = display_params::kGrayRows[static_cast<std::size_t>(index)];
    working_.config.set(screenconfig::ConfigField::grayRefreshCode, row.refresh_code);
    working_.config.set(screenconfig::ConfigField::grayDepthCode, row.depth_code);
    sendDisplayCommand(display_params::gray_level_command(index), text);
    working_.config.set(screenconfig::ConfigField::grayValue, 0);
}

void MainWindow::onShiftRight() {
    const std::uint32_t value =
        display_params::horizontal_shift_value(shift_columns_->text().toInt(), shift_width_->text().toInt(),
                                               working_.config.get(screenconfig::ConfigField::lineInterval));
    sendDisplayCommand(display_params::horizontal_shift_command(value), QString::number(value));
}

std::optional<cardlink::CardTarget> MainWindow::commandTarget() const {
    if (address_mode_)
        return cardlink::CardTarget{std::string(cardlink::kCheckCardId), address_->text().toStdString()};
    if (!haveCards()) return std::nullopt;
    return link_.target();
}

void MainWindow::sendDisplayCommand(const display_params::DisplayCommand& command, const QString& value) {
    const std::string what = localisation::lookup(std::string(command.name_key)) + ": " + value.toStdString();
    const auto target = commandTarget();
    if (!target) {
        // Nothing to send to: said at once, as a connection that failed.
        const cardlink::ExchangeResult none{cardlink::ExchangeError::NoConnection, {}};
        setStatusLine(status_text::result_line(what, {}, none.error, exchanges_.timeouts().receive));
        restoreDisplayControls();
        cardlink::report_exchange_failure(none, command.failure_text);
        return;
    }
    setStatusLine(status_text::waiting_line(what, *target));
    exchanges_.submitCommand(
        *target, frame::CMD_SCREEN_CONTROL,
        std::vector<std::uint8_t>(command.block.begin(), command.block.end()), command.read_answer, this,
        [this, command, what, target = *target](const cardlink::ExchangeResult& r) {
            // The card may have taken the value even when its answer was lost or refused.
            if (r.error != cardlink::ExchangeError::NoConnection && command.sets_changed)
                working_.changed = true;
            setStatusLine(status_text::result_line(what, target, r.error, exchanges_.timeouts().receive));
            noteSend(what, target, r.error);
            if (r.ok()) {
                if (known_) display_params::apply_to_report(*known_, command);
            } else {
                restoreDisplayControls();
            }
            cardlink::report_exchange_failure(r, command.failure_text);
        });
}

void MainWindow::restoreDisplayControls() {
    if (known_)
        display_->show(*known_, true);
    else
        display_->clear();
}

void MainWindow::updateEnabling() {
    // While a transfer runs, nothing else may address a card: a command, a new search or another
    // selection would reach the card mid-transfer, or the next command another card.
    const bool transfer = transferRunning();
    const bool idle = !exchanges_.busy() && !transfer;
    display_->setEnabled(idle);
    for (QWidget* w :
         std::initializer_list<QWidget*>{shift_, load_hcp_, manual_search_, address_mode_box_, save_hcp_,
                                         save_settings_, factory_restore_, restore_ip_, hardware_params_,
                                         test_, adapters_, special_screens_, module_library_})
        w->setEnabled(idle && (w != save_hcp_ || working_.source == screenconfig::ParamSource::Wizard));
    upgrade_->setEnabled(!transfer);
    send_to_card_->setEnabled(idle && working_.has_record());
    start_wizard_->setEnabled(idle && !setup_too_old_);
    report_button_->setEnabled(!transfer);
    send_to_receiver_->setEnabled(idle && working_.source == screenconfig::ParamSource::Wizard);
    card_list_->setEnabled(idle && !address_mode_);
    address_->setEnabled(idle && address_mode_);
    check_address_->setEnabled(idle && address_mode_);
}

void MainWindow::updateStatusTarget() {
    const auto target = commandTarget();
    status_target_->setText(
        qs(status_text::target_line(target.value_or(cardlink::CardTarget{}), address_mode_)));
}

void MainWindow::setStatusLine(const std::string& text) {
    status_full_ = qs(text);
    status_line_->setToolTip(status_full_);
    elideStatusLine();
}

void MainWindow::elideStatusLine() {
    const int width = status_line_->contentsRect().width();
    status_line_->setText(width > 0
                              ? status_line_->fontMetrics().elidedText(status_full_, Qt::ElideMiddle, width)
                              : status_full_);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == status_line_ && event->type() == QEvent::Resize) elideStatusLine();
    return QDialog::eventFilter(watched, event);
}

QString MainWindow::statusTarget() const {
    return status_target_->text();
}

QString MainWindow::statusLine() const {
    return status_full_;
}

QString MainWindow::statusLineShown() const {
    return status_line_->text();
}

void MainWindow::awaitReport(const cardlink::CardTarget& target) {
    awaited_report_ = target;
    report_timer_.start(kReportWait);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Escape would close the dialog, and with it the program: the window closes only on request.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::connectCardLink() {
    connect(&link_, &cardlink::CardLink::cardListed, this, &MainWindow::onCardListed);
    connect(&link_, &cardlink::CardLink::cardSelected, this,
            [this](const QString&, const QString&, int index) { onCardSelectedAutomatically(index); });
    connect(&link_, &cardlink::CardLink::cardInfoArrived, this, &MainWindow::onCardInfoArrived);
    connect(&link_, &cardlink::CardLink::duplicateWarning, this, &MainWindow::onDuplicateWarning);
}

QWidget* MainWindow::control(int id) const {
    return numbered_control(this, id);
}

MessageWindow* MainWindow::messageWindow() const {
    return message_window_.data();
}

bool MainWindow::haveCards() const {
    return card_list_->count() > 0;
}

void MainWindow::onCardListed(const QString& card_id, int index) {
    {
        QSignalBlocker block(card_list_);
        card_list_->insertItem(index, card_id);
    }
    cards_listed_ = true;
    // The card selected before the list was rebuilt is selected again, not whichever answers first.
    // The card link enters the card's address just after listing it: the selection waits for that.
    if (!reselect_id_.empty() && !address_mode_ && card_id.toStdString() == reselect_id_) {
        reselect_id_.clear();
        QTimer::singleShot(0, this, [this, card_id] {
            const auto found = card_list_->findItems(card_id, Qt::MatchExactly);
            if (!address_mode_ && !found.isEmpty()) card_list_->setCurrentItem(found.front());
        });
    }
}

void MainWindow::setSpecialScreens(std::function<void()> open) {
    open_special_screens_ = std::move(open);
    special_screens_->setVisible(static_cast<bool>(open_special_screens_));
}

void MainWindow::focusScreenWidth() {
    width_->setFocus();
    width_->selectAll();
}

void MainWindow::setImageTransferSettings(const screenconfig::TransferSettings& settings) {
    image_runner_.reset();
    image_runner_ = std::make_unique<screenconfig::ImageTransferRunner>(
        *import_progress_, [this] { return cards_listed_.load(); }, settings);
    connect(
        image_runner_.get(), &screenconfig::ImageTransferRunner::finished, this,
        [this](screenconfig::TransferOutcome outcome) {
            using screenconfig::TransferOutcome;
            const cardlink::ExchangeError error =
                outcome == TransferOutcome::Applied        ? cardlink::ExchangeError::None
                : outcome == TransferOutcome::NoConnection ? cardlink::ExchangeError::NoConnection
                                                           : cardlink::ExchangeError::SendFailed;
            setStatusLine(status_text::result_line(localisation::lookup("IDS_MESSAGE_COMMAND_SPECIAL_IMAGE"),
                                                   image_target_, error, exchanges_.timeouts().receive));
            noteSend(localisation::lookup("IDS_MESSAGE_COMMAND_SPECIAL_IMAGE"), image_target_, error);
            onSpecialImageFinished(outcome == TransferOutcome::Applied);
            updateEnabling();
            if (auto ended = std::exchange(image_ended_, {})) ended(outcome);
        });
}

bool MainWindow::imageTransferRunning() const {
    return image_runner_ && image_runner_->running();
}

bool MainWindow::startImageTransfer(const std::filesystem::path& image,
                                    std::function<void(screenconfig::TransferOutcome)> ended) {
    const auto target = commandTarget();
    if (!target) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_CARD_LINK_ERROR"));
        return false;
    }
    if (!image_runner_) setImageTransferSettings({});
    if (image_runner_->running()) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_IMAGE_TRANSFER_RUNNING"));
        return false;
    }
    const bool started = image_runner_->start(*target, image);
    if (started) {
        image_target_ = *target;
        image_ended_ = std::move(ended);
        setStatusLine(
            status_text::waiting_line(localisation::lookup("IDS_MESSAGE_COMMAND_SPECIAL_IMAGE"), *target));
    }
    updateEnabling();
    return started;
}

void MainWindow::onCardSelectedAutomatically(int index) {
    // The card link has already asked the first card for its report. In address mode the typed card is
    // the one in use: the list must not suggest another.
    if (!address_mode_) {
        QSignalBlocker block(card_list_);
        card_list_->setCurrentRow(index);
        awaitReport(link_.target());
    }
    updateStatusTarget();
    // Awaiting the card selected before: when it is listed, it is selected again (onCardListed).
}

void MainWindow::clearSelectedCard() {
    working_.card_selected();
    known_.reset();
    report_timer_.stop();
    ip_->clear();
    mask_->clear();
    gateway_->clear();
    version_->clear();
    display_->clear();
    updateEnabling();
}

void MainWindow::onListSelectionChanged(int row) {
    if (!haveCards() || row < 0) return;
    reselect_id_.clear();  // the user chose
    clearSelectedCard();
    link_.selectCard(row);
    awaitReport(link_.target());
    updateStatusTarget();
}

void MainWindow::onCardInfoArrived(const QString& card_id, const QString& address, bool shown) {
    // In address mode only the report of the card at the typed address is the one on screen; a search
    // meanwhile does not replace it.
    if (address_mode_) {
        if (address != address_->text()) return;
    } else if (!shown) {
        return;
    }
    if (awaited_report_.address == address.toStdString() || awaited_report_.card_id == card_id.toStdString())
        report_timer_.stop();
    showCardInfo();
}

void MainWindow::showCardInfo() {
    const card_info::CardInfo info = card_info::decode_card_info(link_.cardInfo());
    known_ = info;
    ip_->setText(cut15(info.ip_address));
    mask_->setText(cut15(info.subnet_mask));
    gateway_->setText(cut15(info.gateway));
    if (info.screen_width != 0 || info.screen_height != 0) {
        width_->setText(QString::number(info.screen_width));
        height_->setText(QString::number(info.screen_height));
    }
    display_->show(info);
    hcp_title_->clear();
    updateEnabling();
    working_.config.set(screenconfig::ConfigField::scanClockCode, info.scan_clock_code);
    working_.config.set(screenconfig::ConfigField::grayValue, info.gray_value);
    working_.config.set(screenconfig::ConfigField::grayRefreshCode, info.gray_refresh_code);
    working_.config.set(screenconfig::ConfigField::grayDepthCode, info.gray_depth_code);
    version_->setText(version_text(info));
    setup_too_old_ = cardlink::CheckSetupVersion(info.software_version, info.card_id, false) != 0;
    updateEnabling();
}

void MainWindow::onDuplicateWarning(const QString& text) {
    if (duplicate_on_screen_) return;
    duplicate_on_screen_ = true;
    if (message_window_ == nullptr) {
        message_window_ = new MessageWindow(this);
        message_window_->setAttribute(Qt::WA_DeleteOnClose);
        connect(message_window_, &QDialog::finished, this, [this] { duplicate_on_screen_ = false; });
    }
    message_window_->setText(text);
    // Beside the window, or over the lower part of the card list: the selected card's settings and
    // the buttons that act on them stay in view.
    message_window_->showBeside(this, QRect(card_list_->mapTo(this, QPoint(0, 0)), card_list_->size()));
}

void MainWindow::onAddressModeToggled(bool on) {
    address_mode_ = on;
    if (on) {
        // From now on every command goes to the typed address as it stands when it is sent.
        link_.setTargetOverride(
            cardlink::CardTarget{std::string(cardlink::kCheckCardId), address_->text().toStdString()});
        QSignalBlocker block(card_list_);
        card_list_->setCurrentRow(-1);
        card_list_->clearSelection();
    } else {
        link_.setTargetOverride(std::nullopt);
    }
    updateEnabling();
    updateStatusTarget();
}

void MainWindow::onCheckAddress() {
    if (!address_mode_ || exchanges_.busy()) return;
    const std::string address = address_->text().toStdString();
    clearSelectedCard();
    link_.setTargetOverride(cardlink::CardTarget{std::string(cardlink::kCheckCardId), address});
    link_.checkAddress(address);
    awaitReport(cardlink::CardTarget{std::string(cardlink::kCheckCardId), address});
    updateStatusTarget();
}

void MainWindow::onManualSearch() {
    reselect_id_.clear();
    // In address mode the typed card's report stays on screen; only the list is searched again.
    if (!address_mode_) clearSelectedCard();
    {
        QSignalBlocker block(card_list_);
        for (int i = card_list_->count() - 1; i >= 0; --i) delete card_list_->takeItem(i);
    }
    cards_listed_ = false;
    link_.clearAndSearch();
    updateStatusTarget();
}

void MainWindow::onLoadHcp() {
    screenconfig::LoadResult result =
        screenconfig::load_hcp_file(working_, haveCards(), open_hcp_chooser(this));
    if (!result.chosen) return;
    hcp_title_->setText(qs(result.title));
    updateEnabling();
}

void MainWindow::onSaveHcp() {
    screenconfig::save_hcp_file(working_, haveCards(), save_hcp_chooser(this));
}

void MainWindow::sendParams() {
    const auto target = commandTarget();
    if (!target || !working_.has_record() || exchanges_.busy()) return;
    if (!screenconfig::confirm_send(working_)) return;
    const std::string what = localisation::lookup("IDS_MESSAGE_COMMAND_PARAMS");
    setStatusLine(status_text::waiting_line(what, *target));
    exchanges_.submit(
        screenconfig::params_exchange(working_, *target, exchanges_.timeouts()), this,
        [this, what, target = *target](const cardlink::ExchangeResult& r) {
            setStatusLine(status_text::result_line(what, target, r.error, exchanges_.timeouts().receive));
            noteSend(what, target, r.error);
            screenconfig::report_params_sent(r);
        });
}

void MainWindow::onSendToCard() {
    sendParams();
}

void MainWindow::onSendToReceiver() {
    if (working_.hcp_path.empty()) return;
    sendParams();
}

std::filesystem::path MainWindow::helpDocument() {
    // The page in the chosen language when there is one, else the English one.
    const auto folder = paths::shared_data_folder();
    const auto translated = folder / ("DudoHelp_" + localisation::locale_name() + ".html");
    std::error_code ec;
    if (std::filesystem::exists(translated, ec)) return translated;
    return folder / "DudoHelp.html";
}

void MainWindow::onStartWizard() {
    const auto target = commandTarget();
    if (!haveCards() || !target) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_HAVE_NO_LINKED_CARD"));
        return;
    }
    if (exchanges_.busy()) return;
    send_to_receiver_->setEnabled(false);
    wizard::SmartSetupWizard dialog(exchanges_, *target, working_, this);
    if (dialog.exec() == QDialog::Accepted) onWizardFinished();
    updateEnabling();
}

void MainWindow::onWizardFinished() {
    working_.wizard_finished();
    updateEnabling();
    if (screenconfig::save_for_send(working_, haveCards(), save_hcp_chooser(this)) &&
        !working_.hcp_path.empty())
        sendParams();
    offerProfile();
    // The report reads the card after the send, so it shows how the send ended.
    if (platform::show_message(localisation::lookup("IDS_MESSAGE_REPORT_OFFER"), {},
                               platform::MessageIcon::Question,
                               platform::MessageButtons::YesNo) == platform::MessageReply::Yes)
        onReport();
}

void MainWindow::onHelp() {
    if (!shell::open_document(helpDocument()))
        platform::show_message(localisation::lookup("IDS_MESSAGE_HELP_NO_VIEWER"));
}

void MainWindow::onScreenSizeEdited() {
    if (width_->text().isEmpty() || height_->text().isEmpty()) return;
    screen_width_ = width_->text().toInt();
    screen_height_ = height_->text().toInt();
}

void MainWindow::reject() {
    if (transferRunning()) {
        // Closing would cut the transfer off and leave the card without the rest (an upgrade without
        // its end command): only on the user's word, and No is the default.
        if (platform::show_message(localisation::lookup("IDS_MESSAGE_TRANSFER_RUNNING_CLOSE"), {},
                                   platform::MessageIcon::Question,
                                   platform::MessageButtons::YesNoDefaultNo) != platform::MessageReply::Yes)
            return;
        if (upgradeRunning()) onUpgradeFinished(upgrade_runner_->stop());
        // An image transfer cannot be stopped part way; its steps are bounded, so it is waited for.
        image_runner_.reset();
    }
    screenconfig::on_close(working_, haveCards(), save_hcp_chooser(this));
    QDialog::reject();
}
