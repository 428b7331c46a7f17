// The main setup window (dialog 102): the program's only top-level window. It renders the card link's
// state (card list, the selected card's report) and forwards the user's actions to the card link
// (cardlink/), the exchange service and the screen-parameter operations (screenconfig/); it never
// touches sockets or records itself.
//
// Card commands run on the exchange service's worker: while one is under way the controls that would
// start another are disabled and the window shows a busy cursor; the status bar names the card the
// commands go to and says, in the chosen language, how each exchange ended. A change the card did not
// take (no answer, refused, unreachable) puts the card's last known value back into its control.
//
// Life: construct, then start() (opens the card link and starts discovery). UI thread only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "cardlink/card_link.h"
#include "cardlink/exchange_service.h"
#include "cardlink/firmware_upgrade.h"
#include "common/card_info.h"
#include "mainwindow/display_params.h"
#include "report/report.h"
#include "report/send_log.h"
#include "screenconfig/image_transfer.h"
#include "screenconfig/working_set.h"

class QBoxLayout;
class QButtonGroup;
class QProgressBar;
class UpgradeRunner;
class QKeyEvent;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QSlider;
class QGridLayout;
class QListWidget;
class QPushButton;
class QLabel;
class MessageWindow;
class DisplayParamsPanel;
class ImportProgressDialog;
namespace screenconfig {
class ImageTransferRunner;
}

class MainWindow : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 102;
    // Control numbers of the dialog template.
    enum Control : int {
        kSendToCard = 1000,
        kShiftColumns = 1001,  // hidden: the "右移" value's a
        kShiftWidth = 1002,    // hidden: the "右移" value's b
        kBrightnessValue = 1004,
        kShiftRight = 1006,
        kScreenWidth = 1007,
        kScreenHeight = 1008,
        kVersionField = 1009,
        kDutyHalf = 1015,
        kDutyQuarter = 1016,
        kScanClock = 1019,
        kOePositive = 1032,
        kOeNegative = 1057,
        kDataPositive = 1058,
        kDataNegative = 1059,
        kBrightness = 1060,
        kGrayLevel = 1086,
        kCardList = 1005,
        kHelp = 1033,
        kLoadHcp = 1038,
        kSaveHcp = 1039,
        kSendToReceiver = 1040,
        kAddressField = 1050,
        kIpAddress = 1101,
        kSubnetMask = 1102,
        kGateway = 1103,
        kManualSearch = 1168,
        kHcpTitle = 1169,
        kAddressMode = 1188,
        kCheckAddress = 1189,
        kStartWizard = 1041,
        // Network settings, restores and the guarded functions.
        kSaveSettings = 1062,
        kFactoryRestore = 1118,
        kRareFunctions = 1120,
        kRestoreIp = 1121,
        kHardwareParams = 1127,
        kUpgrade = 1170,
        kUpgradeProgress = 1171,
        kTest = 1167,
        kAdapterChoice = 1185,
        kSpecialScreens = 1087,
        kModuleLibrary = 1195,
        kReport = 1190,  // "生成调试报告"
        // Labels; the template left them unnumbered, numbered here so they can be translated too.
        kCardListTitle = 2001,
        kScreenWidthLabel = 2002,
        kScreenHeightLabel = 2003,
        kIpAddressLabel = 2004,
        kSubnetMaskLabel = 2005,
        kGatewayLabel = 2006,
        kAddressLabel = 2007,
        kGrayLevelLabel = 2008,
        kScanClockLabel = 2009,
        kOePolarityLabel = 2010,
        kDataPolarityLabel = 2011,
        kBrightnessLabel = 2012,
        kDutyCycleLabel = 2013,
        kStatusTarget = 2014,  // status bar: where commands go
        kStatusLine = 2015,    // status bar: how the last exchange ended
    };

    // How long the selected card has to send its settings before the status line says it did not.
    static constexpr std::chrono::milliseconds kReportWait{3000};

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Opens the card link's endpoint and starts discovery (a search now and every 5 s).
    void start();

    cardlink::CardLink& cardLink() { return link_; }
    cardlink::ExchangeService& exchanges() { return exchanges_; }
    QString statusTarget() const;
    QString statusLine() const;       // the whole text
    QString statusLineShown() const;  // as it fits the window: shortened in the middle
    const screenconfig::WorkingSet& workingSet() const { return working_; }
    int screenWidth() const { return screen_width_; }
    int screenHeight() const { return screen_height_; }
    bool addressMode() const { return address_mode_; }
    MessageWindow* messageWindow() const;
    // The firmware upgrade under way, if any (tests shorten its waits with `setUpgradeSettings`).
    bool upgradeRunning() const;
    // An upgrade or an image transfer is under way: the controls that would address a card are disabled
    // meanwhile, and closing the window asks first.
    bool transferRunning() const;
    void setUpgradeSettings(const cardlink::UpgradeSettings& settings) { upgrade_settings_ = settings; }

    // "特殊屏体设置": the button is shown once the special screens are installed; `open` runs when it is
    // pressed.
    void setSpecialScreens(std::function<void()> open);
    // Whether the card list has an entry.
    bool cardsListed() const { return haveCards(); }
    // Puts the focus on the screen width edit (after the technician said the size is wrong).
    void focusScreenWidth();
    // Sends a screen configuration image to the card commands go to, on a worker thread, with the import
    // progress window (dialog 150) showing. False, starting nothing, when there is no card to send to
    // (IDS_MESSAGE_CARD_LINK_ERROR is shown) or a transfer is still running
    // (IDS_MESSAGE_IMAGE_TRANSFER_RUNNING).
    // `ended` runs on this thread once the transfer has ended.
    bool startImageTransfer(const std::filesystem::path& image,
                            std::function<void(screenconfig::TransferOutcome)> ended = {});
    bool imageTransferRunning() const;
    ImportProgressDialog* importProgress() const { return import_progress_; }
    // Tests shorten the transfer's waits.
    void setImageTransferSettings(const screenconfig::TransferSettings& settings);

    // The commissioning report (main_window_report.cpp). The sends of this session, as their exchanges
    // ended; a special-screen layout about to be sent (shown in the card's report once the card took it);
    // and the report of `target` written to the files of `request`, the card's information read first on
    // the exchange service.
    struct ReportRequest {
        std::string site;
        std::string technician;
        std::filesystem::path pdf;
        std::filesystem::path html;
    };
    const report::SendLog& sendLog() const { return send_log_; }
    void noteSpecialLayout(report::LayoutNote note);
    void writeReport(const cardlink::CardTarget& target, const ReportRequest& request);

    // The control with dialog control number `id` (for tests and localisation checks).
    QWidget* control(int id) const;

    // The help document beside the program, in the chosen language ("DudoHelp_<locale>.html") when
    // there is one, else "DudoHelp.html" (English).
    static std::filesystem::path helpDocument();

  public slots:
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Sends a display command to commandTarget() on the exchange service; `what` names it in the status
    // line. Without a target nothing is sent and the link error is shown.
    void sendDisplayCommand(const display_params::DisplayCommand& command, const QString& value);
    // Where commands go now: the typed address in address mode, else the selected card; none while the
    // card list is empty.
    std::optional<cardlink::CardTarget> commandTarget() const;
    void updateEnabling();
    void updateStatusTarget();
    void setStatusLine(const std::string& text);
    void elideStatusLine();
    void restoreDisplayControls();
    void awaitReport(const cardlink::CardTarget& target);
    void buildControls();
    // The template's hidden "右移" controls.
    void buildShiftControls();
    void onGrayLevelChosen(int index, const QString& text);
    void onShiftRight();
    void connectCardLink();
    void clearSelectedCard();
    void showCardInfo();
    void onCardListed(const QString& card_id, int index);
    void onCardSelectedAutomatically(int index);
    void onCardInfoArrived(const QString& card_id, const QString& address, bool shown);
    void onListSelectionChanged(int row);
    void onDuplicateWarning(const QString& text);
    void onAddressModeToggled(bool on);
    void onCheckAddress();
    void onManualSearch();
    void onLoadHcp();
    void onSaveHcp();
    void sendParams();
    void onSendToCard();
    void onSendToReceiver();
    void onHelp();
    // "启动向导": the smart-setup wizard, modally, on the card commands go to.
    void onStartWizard();
    // The wizard's Finish: the parameters are the wizard's; save them and send them.
    void onWizardFinished();
    // "模组库": the module library dialog, on the card list and the exchange service
    // (main_window_profiles.cpp).
    void onModuleLibrary();
    // After Finish: the wizard's result offered as a module profile (not modal).
    void offerProfile();
    // "生成调试报告": asks for the site, the technician and the file, then writeReport().
    void onReport();
    void noteSend(const std::string& what, const cardlink::CardTarget& target,
                  cardlink::ExchangeError outcome);
    void onSpecialImageFinished(bool applied);
    report::CommissioningReport reportContent(const cardlink::CardTarget& target,
                                              const ReportRequest& request,
                                              const std::vector<std::uint8_t>& info) const;
    void onScreenSizeEdited();
    bool haveCards() const;
    // Network settings, restores and the guarded functions (main_window_settings.cpp).
    void buildSettingsControls(QBoxLayout* column);
    void onSaveSettings();
    void onFactoryRestore();
    void onRestoreIp();
    void onRareFunctionsToggled(bool on);
    void showRareFunctions(bool on);
    void onHardwareParams();
    void onTest();
    void sendTestBlock(const std::vector<std::uint8_t>& block);
    void onAdapterChoice();
    void onUpgrade();
    void onUpgradeFinished(const cardlink::UpgradeResult& result);
    // The card list and the selected card forgotten, as "手动检查" does, but without a search. With
    // `keep_selection` the selected card is selected again when a search lists it once more.
    void forgetCards(bool keep_selection = false);

    cardlink::CardLink link_;
    cardlink::ExchangeService exchanges_;
    screenconfig::WorkingSet working_;
    std::optional<card_info::CardInfo> known_;  // the card's last known state: its report and what it took
    QTimer report_timer_;                       // the selected card's report is overdue when it fires
    cardlink::CardTarget awaited_report_;
    int screen_width_ = 0;
    int screen_height_ = 0;
    bool address_mode_ = false;
    bool duplicate_on_screen_ = false;
    bool setup_too_old_ = false;  // the selected card's firmware cannot drive the wizard (CheckSetupVersion)
    std::string reselect_id_;     // the card to select again once it is listed (after a rebuilt list)
    std::filesystem::path upgrade_folder_;
    cardlink::CardTarget image_target_;  // where the image transfer under way goes
    std::function<void(screenconfig::TransferOutcome)> image_ended_;

    QListWidget* card_list_ = nullptr;
    QLineEdit* version_ = nullptr;
    QLineEdit* hcp_title_ = nullptr;
    QLineEdit* ip_ = nullptr;
    QLineEdit* mask_ = nullptr;
    QLineEdit* gateway_ = nullptr;
    QLineEdit* width_ = nullptr;
    QLineEdit* height_ = nullptr;
    QLineEdit* address_ = nullptr;
    QCheckBox* address_mode_box_ = nullptr;
    QPushButton* manual_search_ = nullptr;
    QPushButton* load_hcp_ = nullptr;
    QPushButton* shift_ = nullptr;
    QLabel* status_target_ = nullptr;
    QLabel* status_line_ = nullptr;
    QString status_full_;  // the status line's whole text; the label shows it shortened to fit
    QPushButton* check_address_ = nullptr;
    QPushButton* start_wizard_ = nullptr;
    QPushButton* send_to_card_ = nullptr;
    QPushButton* save_hcp_ = nullptr;
    QPushButton* send_to_receiver_ = nullptr;
    DisplayParamsPanel* display_ = nullptr;
    QLineEdit* shift_columns_ = nullptr;
    QLineEdit* shift_width_ = nullptr;
    QPushButton* save_settings_ = nullptr;
    QPushButton* factory_restore_ = nullptr;
    QPushButton* restore_ip_ = nullptr;
    QPushButton* hardware_params_ = nullptr;
    QPushButton* test_ = nullptr;
    QPushButton* adapters_ = nullptr;
    QCheckBox* rare_functions_ = nullptr;
    std::vector<QWidget*> rare_controls_;  // shown only once the password was given
    QPushButton* upgrade_ = nullptr;
    QProgressBar* upgrade_progress_ = nullptr;
    UpgradeRunner* upgrade_runner_ = nullptr;
    int upgrade_scale_ = 1;
    cardlink::UpgradeSettings upgrade_settings_;  // the bar counts bytes / this (a bar holds an int)
    QPointer<MessageWindow> message_window_;
    QPushButton* special_screens_ = nullptr;
    QPushButton* module_library_ = nullptr;
    std::function<void()> open_special_screens_;
    ImportProgressDialog* import_progress_ = nullptr;
    std::unique_ptr<screenconfig::ImageTransferRunner> image_runner_;
    // Read by the image transfer's worker before it applies: whether the card list still has an entry.
    std::atomic<bool> cards_listed_{false};
    QPointer<QWidget> focus_before_busy_;
    QPushButton* report_button_ = nullptr;
    report::SendLog send_log_;
    const std::chrono::system_clock::time_point session_start_ = std::chrono::system_clock::now();
    std::optional<report::LayoutNote> pending_layout_;
    std::vector<std::pair<cardlink::CardTarget, report::LayoutNote>> sent_layouts_;
};
