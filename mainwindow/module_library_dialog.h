// "模组库" (dialog 200): the module library. It lists the profiles (damaged ones marked, with what is
// wrong), filters them, shows the chosen one's values in words, and applies it to the selected card or
// to every listed card (after a question naming them), with a progress bar, each card's result and a
// status line. It renders the state of its GUI-free ModuleLibrary and forwards what the user does; the
// card exchanges run on the main window's exchange service, never on this thread.
// UI thread only.
#pragma once

#include <QDialog>

#include <functional>
#include <optional>
#include <vector>

#include "cardlink/card_exchange.h"
#include "mainwindow/module_library.h"
#include "screenconfig/working_set.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

class ModuleLibraryDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 200;
    enum Control : int {
        kClose = 2,
        kApplySelected = 1001,
        kApplyAll = 1002,
        kImport = 1003,
        kExport = 1004,
        kImportAll = 1005,
        kExportAll = 1006,
        kDelete = 1007,
        kSaveCurrent = 1008,
        kFilterLabel = 2001,
        kResultsLabel = 2002,
    };

    // Where the cards come from: the card commands go to now (none without one), and every card in the
    // main window's list.
    struct Cards {
        std::function<std::optional<cardlink::CardTarget>()> selected;
        std::function<std::vector<cardlink::CardTarget>()> listed;
    };
    // Asks for a file: `save` true for a file to write; `filter` as Qt's file dialogs take it. Empty:
    // cancelled.
    using FileChooser = std::function<std::filesystem::path(bool save, const QString& filter)>;

    // `working`: the main window's parameters, which "save current parameters" turns into a profile when
    // it holds a checked record.
    ModuleLibraryDialog(profiles::ProfileLibrary library, cardlink::ExchangeService& exchanges, Cards cards,
                        const screenconfig::WorkingSet& working, QWidget* parent = nullptr);

    ModuleLibrary& library() { return library_; }
    QLineEdit* filter() const { return filter_; }
    QListWidget* list() const { return list_; }
    QLabel* details() const { return details_; }
    QListWidget* results() const { return results_; }
    QProgressBar* progress() const { return progress_; }
    QString statusLine() const;
    QPushButton* button(Control control) const;
    // The profile entry the list's row `row` shows (the list holds the filtered entries).
    std::optional<std::size_t> entryOfRow(int row) const;
    void setFileChooser(FileChooser chooser) { choose_ = std::move(chooser); }

  signals:
    // An apply has ended: `line` is the status line it left.
    void applied(const QString& line);

  public slots:
    void reject() override;

  private:
    void rebuildList();
    void showChosen();
    void updateEnabling();
    std::optional<std::size_t> chosen() const;
    void applyTo(std::vector<cardlink::CardTarget> cards);
    void onCardFinished(int card);
    void onApplyFinished();
    void onImport();
    void onExport();
    void onImportAll();
    void onExportAll();
    void onDelete();
    void onSaveCurrent();
    void setStatus(const std::string& text);

    ModuleLibrary library_;
    Cards cards_;
    const screenconfig::WorkingSet& working_;
    FileChooser choose_;
    std::vector<std::size_t> shown_;
    QLineEdit* filter_ = nullptr;
    QListWidget* list_ = nullptr;
    QLabel* details_ = nullptr;
    QListWidget* results_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
};
