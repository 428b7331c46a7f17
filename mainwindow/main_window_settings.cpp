// The main window's network settings ("保存设置"), restores, the password-guarded group, the test
// dialog and the adapter choice. Card exchanges go through the exchange service; the IP restore is a
// broadcast on the card link's endpoint (it leaves on the chosen adapter only).
#include <QCheckBox>
#include <QFileDialog>
#include <QProgressBar>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "cardlink/local_addresses.h"
#include "common/frame.h"
#include "common/screen_control.h"
#include "mainwindow/adapter_dialog.h"
#include "mainwindow/gamma_dialog.h"
#include "mainwindow/main_window.h"
#include "mainwindow/network_settings.h"
#include "mainwindow/password_dialog.h"
#include "mainwindow/restore_ip_dialog.h"
#include "mainwindow/status_text.h"
#include "mainwindow/test_dialog.h"
#include "mainwindow/upgrade_runner.h"
#include "platform/localisation.h"
#include "platform/message_service.h"
#include "platform/registry_store.h"
#include "widgets/localise_dialog.h"

namespace {

constexpr std::chrono::milliseconds kSettingsSettle{500};  // the card takes its new address meanwhile

std::vector<cardlink::LocalAddress> network_adapters() {
    std::vector<cardlink::LocalAddress> adapters;
    for (auto& a : cardlink::enumerate_local_addresses())
        if (!a.loopback) adapters.push_back(std::move(a));
    return adapters;
}

// The label's text without its colon: "IP地址:" names the field "IP地址".
std::string field_name(const QWidget* label) {
    QString text =
        qobject_cast<const QLabel*>(label) ? qobject_cast<const QLabel*>(label)->text() : QString();
    while (text.endsWith(QLatin1Char(':')) || text.endsWith(QChar(0xFF1A))) text.chop(1);
    return text.trimmed().toStdString();
}

}  // namespace

void MainWindow::buildSettingsControls(QBoxLayout* column) {
    auto* row = new QHBoxLayout;
    save_settings_ = numbered(new QPushButton(QStringLiteral("保存设置"), this), kSaveSettings);
    auto* test = test_ = numbered(new QPushButton(QStringLiteral("测试"), this), kTest);
    auto* adapters = adapters_ =
        numbered(new QPushButton(QStringLiteral("多网卡选择"), this), kAdapterChoice);
    row->addWidget(save_settings_);
    row->addWidget(test);
    row->addWidget(adapters);
    row->addStretch(1);
    column->addLayout(row);

    rare_functions_ = numbered(new QCheckBox(QStringLiteral("其他不常用功能"), this), kRareFunctions);
    column->addWidget(rare_functions_);
    auto* guarded = new QGridLayout;
    auto* factory = factory_restore_ =
        numbered(new QPushButton(QStringLiteral("恢复控制卡到出厂设置"), this), kFactoryRestore);
    auto* restore_ip = restore_ip_ =
        numbered(new QPushButton(QStringLiteral("恢复控制卡IP地址"), this), kRestoreIp);
    auto* hardware = hardware_params_ =
        numbered(new QPushButton(QStringLiteral("其他硬件参数"), this), kHardwareParams);
    guarded->addWidget(factory, 0, 0);
    guarded->addWidget(restore_ip, 0, 1);
    guarded->addWidget(hardware, 1, 0);
    upgrade_ = numbered(new QPushButton(QStringLiteral("升级控制卡程序"), this), kUpgrade);
    guarded->addWidget(upgrade_, 1, 1);
    upgrade_progress_ = numbered(new QProgressBar(this), kUpgradeProgress);
    upgrade_progress_->setRange(0, 1);
    upgrade_progress_->setValue(0);
    guarded->addWidget(upgrade_progress_, 2, 0, 1, 2);
    column->addLayout(guarded);
    rare_controls_ = {factory, restore_ip, hardware, upgrade_, upgrade_progress_};
    upgrade_runner_ = new UpgradeRunner(this);
    connect(upgrade_, &QPushButton::clicked, this, &MainWindow::onUpgrade);
    connect(upgrade_runner_, &UpgradeRunner::started, this, [this](qint64 total) {
        upgrade_scale_ = 1;
        while (total / upgrade_scale_ > INT_MAX) upgrade_scale_ *= 1024;
        upgrade_progress_->setRange(0, static_cast<int>(std::max<qint64>(1, total / upgrade_scale_)));
        upgrade_progress_->setValue(0);
    });
    connect(upgrade_runner_, &UpgradeRunner::progressed, this,
            [this](qint64 sent) { upgrade_progress_->setValue(static_cast<int>(sent / upgrade_scale_)); });
    connect(upgrade_runner_, &UpgradeRunner::finished, this, &MainWindow::onUpgradeFinished);
    for (QWidget* w : rare_controls_) w->setVisible(false);

    connect(save_settings_, &QPushButton::clicked, this, &MainWindow::onSaveSettings);
    connect(test, &QPushButton::clicked, this, &MainWindow::onTest);
    connect(adapters, &QPushButton::clicked, this, &MainWindow::onAdapterChoice);
    connect(rare_functions_, &QCheckBox::toggled, this, &MainWindow::onRareFunctionsToggled);
    connect(factory, &QPushButton::clicked, this, &MainWindow::onFactoryRestore);
    connect(restore_ip, &QPushButton::clicked, this, &MainWindow::onRestoreIp);
    connect(hardware, &QPushButton::clicked, this, &MainWindow::onHardwareParams);
}

void MainWindow::forgetCards(bool keep_selection) {
    if (keep_selection && !address_mode_ && haveCards()) reselect_id_ = link_.target().card_id;
    clearSelectedCard();
    {
        QSignalBlocker block(card_list_);
        for (int i = card_list_->count() - 1; i >= 0; --i) delete card_list_->takeItem(i);
    }
    cards_listed_ = false;
    link_.clearCards();
    updateStatusTarget();
}

void MainWindow::onSaveSettings() {
    if (exchanges_.busy()) return;
    network_settings::TypedSettings typed;
    typed.ip_address = ip_->text().toStdString();
    typed.subnet_mask = mask_->text().toStdString();
    typed.gateway = gateway_->text().toStdString();
    typed.screen_width = width_->text().toUInt();
    typed.screen_height = height_->text().toUInt();
    // A malformed address would be stored by the card and leave it unreachable: nothing is sent.
    if (const auto bad = network_settings::malformed_field(typed)) {
        const int label = *bad == network_settings::Field::IpAddress    ? kIpAddressLabel
                          : *bad == network_settings::Field::SubnetMask ? kSubnetMaskLabel
                                                                        : kGatewayLabel;
        const std::string text = *bad == network_settings::Field::IpAddress    ? typed.ip_address
                                 : *bad == network_settings::Field::SubnetMask ? typed.subnet_mask
                                                                               : typed.gateway;
        platform::show_message(status_text::fill(localisation::lookup("IDS_MESSAGE_ADDRESS_FIELD_MALFORMED"),
                                                 {field_name(control(label)), text}));
        return;
    }
    const std::string what = localisation::lookup("IDS_MESSAGE_COMMAND_SAVE_SETTINGS");
    const auto target = commandTarget();
    // Without the card's report there is no settings block to compare with.
    if (!target || !known_) {
        const cardlink::ExchangeResult none{cardlink::ExchangeError::NoConnection, {}};
        setStatusLine(status_text::result_line(what, {}, none.error, exchanges_.timeouts().receive));
        cardlink::report_exchange_failure(none, {});
        return;
    }
    const auto& info = link_.cardInfo();
    const auto command = network_settings::save_command(
        std::span(info).subspan(card_info::kSettingsOffset, card_info::kSettingsSize), typed);
    setStatusLine(status_text::waiting_line(what, *target));
    exchanges_.submitCommand(
        *target, command.command, command.payload, true, this,
        [this, what, target = *target, changed = command.changed](const cardlink::ExchangeResult& r) {
            if (r.error != cardlink::ExchangeError::NoConnection) working_.changed = true;
            setStatusLine(status_text::result_line(what, target, r.error, exchanges_.timeouts().receive));
            // A refused answer shows nothing: the card's own state tells.
            cardlink::report_exchange_failure(r, {});
            const bool success = r.ok();
            if (changed && r.error != cardlink::ExchangeError::NoConnection) {
                // The card may now answer at another address: the list is rebuilt by the next search.
                QTimer::singleShot(kSettingsSettle, this, [this, success] {
                    forgetCards(true);
                    if (success) platform::show_message(localisation::lookup("IDS_MESSAGE_SAVE_SUCCESS"));
                });
            } else if (success) {
                platform::show_message(localisation::lookup("IDS_MESSAGE_SAVE_SUCCESS"));
            }
        });
}

void MainWindow::onFactoryRestore() {
    if (!haveCards() && !address_mode_) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_HAVE_NO_LINKED_CARD"));
        return;
    }
    if (exchanges_.busy()) return;
    if (platform::show_message(localisation::lookup("IDS_MESSAGE_IS_RESTORE_CARD_DEFAULT"), {},
                               platform::MessageIcon::Question,
                               platform::MessageButtons::YesNo) != platform::MessageReply::Yes)
        return;
    const auto target = commandTarget();
    if (!target) return;
    const std::string what = localisation::lookup("IDS_MESSAGE_COMMAND_FACTORY_RESTORE");
    const auto block = screen_control::encode(screen_control::make(screen_control::Sub::FactoryRestore));
    setStatusLine(status_text::waiting_line(what, *target));
    exchanges_.submitCommand(
        *target, frame::CMD_SCREEN_CONTROL, std::vector<std::uint8_t>(block.begin(), block.end()), false,
        this, [this, what, target = *target](const cardlink::ExchangeResult& r) {
            setStatusLine(status_text::result_line(what, target, r.error, exchanges_.timeouts().receive));
            cardlink::report_exchange_failure(r, {});
            // The card's settings are its factory ones now: the report shown is stale, so it is asked for
            // again once the card has had time to reset (until it comes the fields stay empty, as for a
            // card just selected).
            if (r.error == cardlink::ExchangeError::NoConnection) return;
            clearSelectedCard();
            QTimer::singleShot(kSettingsSettle, this, [this, target] {
                if (address_mode_)
                    link_.checkAddress(target.address);
                else if (haveCards() && card_list_->currentRow() >= 0)
                    link_.selectCard(card_list_->currentRow());
                else
                    return;
                awaitReport(target);
            });
        });
}

void MainWindow::onRestoreIp() {
    auto* dialog = new RestoreIpDialog(
        [this](const std::string& address) {
            // The restore is a broadcast on purpose (the card's address is unknown), so every card that
            // hears it takes the address: with several cards listed, the user decides knowing which.
            if (card_list_->count() > 1) {
                std::string names;
                for (int i = 0; i < card_list_->count(); ++i)
                    names += (i > 0 ? ", " : "") + card_list_->item(i)->text().toStdString();
                const std::string question =
                    status_text::fill(localisation::lookup("IDS_MESSAGE_RESTORE_IP_SEVERAL_CARDS"),
                                      {std::to_string(card_list_->count()), names, address});
                if (platform::show_message(question, {}, platform::MessageIcon::Warning,
                                           platform::MessageButtons::YesNoDefaultNo) !=
                    platform::MessageReply::Yes)
                    return false;
            }
            // Broadcast twice (plain sum, then complemented) with "Broadcast!": every card family hears it.
            link_.socket().SendTextCommand(frame::CMD_RESTORE_IP, screen_control::kSize, address,
                                           cardlink::CardLinkSocket::TextMode::Broadcast, {}, {});
            setStatusLine(status_text::fill(localisation::lookup("IDS_MESSAGE_RESTORE_IP_SENT"), {address}));
            return true;
        },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void MainWindow::onRareFunctionsToggled(bool on) {
    if (!on) {
        showRareFunctions(false);
        return;
    }
    auto* dialog = new PasswordDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog](int result) {
        const bool right =
            result == QDialog::Accepted && dialog->password().toStdString() == network_settings::kPassword;
        if (result == QDialog::Accepted && !right)
            platform::show_message(localisation::lookup("IDS_MESSAGE_PASSWORD_ERROR"));
        if (!right) {
            QSignalBlocker block(rare_functions_);
            rare_functions_->setChecked(false);
        }
        showRareFunctions(right);
    });
    dialog->open();
}

void MainWindow::showRareFunctions(bool on) {
    for (QWidget* w : rare_controls_) w->setVisible(on);
}

void MainWindow::onHardwareParams() {
    if (!known_) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_HAVE_NO_LINKED_CARD"));
        return;
    }
    auto* dialog = new GammaDialog(
        exchanges_, [this] { return commandTarget().value_or(cardlink::CardTarget{}); }, known_->gamma_red,
        known_->gamma_green, known_->gamma_blue, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &GammaDialog::commandSent, this,
            [this](const QString& what, const cardlink::CardTarget& target) {
                setStatusLine(status_text::waiting_line(what.toStdString(), target));
            });
    connect(dialog, &GammaDialog::commandEnded, this,
            [this](const QString& what, const cardlink::CardTarget& target, const cardlink::ExchangeResult& r,
                   const display_params::DisplayCommand& command) {
                setStatusLine(status_text::result_line(what.toStdString(), target, r.error,
                                                       exchanges_.timeouts().receive));
                // The dialog opens next time with what the card took.
                if (r.ok() && known_) display_params::apply_to_report(*known_, command);
            });
    dialog->open();
}

void MainWindow::onTest() {
    auto* dialog = new TestDialog(
        [this](const TestDialog::Block& block) {
            sendTestBlock(std::vector<std::uint8_t>(block.begin(), block.end()));
        },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void MainWindow::sendTestBlock(const std::vector<std::uint8_t>& block) {
    const std::string what = localisation::lookup("IDS_MESSAGE_COMMAND_TEST");
    const auto target = commandTarget();
    if (!target) {
        const cardlink::ExchangeResult none{cardlink::ExchangeError::NoConnection, {}};
        setStatusLine(status_text::result_line(what, {}, none.error, exchanges_.timeouts().receive));
        cardlink::report_exchange_failure(none, {});
        return;
    }
    setStatusLine(status_text::waiting_line(what, *target));
    // No answer is awaited: the patterns run until stopped.
    exchanges_.submitCommand(
        *target, frame::CMD_SCREEN_CONTROL, block, false, this,
        [this, what, target = *target](const cardlink::ExchangeResult& r) {
            setStatusLine(status_text::result_line(what, target, r.error, exchanges_.timeouts().receive));
            cardlink::report_exchange_failure(r, {});
        });
}

void MainWindow::onAdapterChoice() {
    auto adapters = network_adapters();
    if (adapters.empty()) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_NO_CHECK_NET_CARD"));
        return;
    }
    auto* dialog =
        new AdapterDialog(std::move(adapters), registry::read_value("quelmora", "net_card_index"), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        if (dialog->chosenIndex() < 0) return;
        registry::write_value("quelmora", "net_card_index",
                              static_cast<std::uint32_t>(dialog->chosenIndex()));
        // The endpoint binds to the chosen adapter; the cards found on the old one are forgotten.
        link_.close();
        forgetCards();
        link_.open();
        link_.startDiscovery();
    });
    dialog->open();
}

bool MainWindow::upgradeRunning() const {
    return upgrade_runner_->running();
}

bool MainWindow::transferRunning() const {
    return upgradeRunning() || imageTransferRunning();
}

void MainWindow::onUpgrade() {
    if (!haveCards() && !address_mode_) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_HAVE_NO_LINKED_CARD"));
        return;
    }
    const auto target = commandTarget();
    if (!target || transferRunning()) return;
    // Cards of the plain-sum family (ids beginning with p, s or x) take ".sys" firmware, the others ".fyx".
    const char first =
        target->card_id.empty()
            ? '\0'
            : static_cast<char>(std::tolower(static_cast<unsigned char>(target->card_id.front())));
    const bool sys = first == 'p' || first == 's' || first == 'x';
    QFileDialog dialog(this, QString::fromStdString(localisation::lookup("IDS_MESSAGE_SELECT_FILE")));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(sys ? QStringLiteral("UPGRADE FILE (*.sys)")
                             : QStringLiteral("UPGRADE FILE (*.fyx)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    // The picked file only locates the firmware folder.
    upgrade_folder_ = std::filesystem::path(dialog.selectedFiles().front().toStdString()).parent_path();
    upgrade_progress_->setValue(0);
    setStatusLine(status_text::waiting_line(localisation::lookup("IDS_MESSAGE_COMMAND_UPGRADE"), *target));
    upgrade_runner_->start(target->address, upgrade_folder_, upgrade_settings_);
    updateEnabling();
}

void MainWindow::onUpgradeFinished(const cardlink::UpgradeResult& result) {
    using cardlink::UpgradeOutcome;
    updateEnabling();
    // The bar stays where the card's share ended; the status line says what the message says.
    const std::string text = status_text::upgrade_text(result, upgrade_folder_.string());
    setStatusLine(text);
    // The card restarts with its new firmware (or, having refused, is searched for again as always): the
    // list is rebuilt from a new search, with the same card selected once it answers.
    if (result.outcome == UpgradeOutcome::Finished || result.outcome == UpgradeOutcome::Refused) {
        forgetCards(true);
        link_.DiscoverCards();
    }
    platform::show_message(text, {},
                           result.outcome == UpgradeOutcome::Finished ? platform::MessageIcon::Information
                                                                      : platform::MessageIcon::Warning);
}
