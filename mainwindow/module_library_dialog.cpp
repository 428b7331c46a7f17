#include "mainwindow/module_library_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "mainwindow/save_profile_dialog.h"
#include "mainwindow/status_text.h"
#include "platform/localisation.h"
#include "platform/message_service.h"
#include "screenconfig/record_files.h"
#include "widgets/localise_dialog.h"

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

std::string key(const char* name) {
    return localisation::lookup(name);
}

std::string polarity_text(std::uint32_t value) {
    // The main window's own words for the two polarities.
    if (value == 0) return key("IDD102_1058");
    if (value == 1) return key("IDD102_1059");
    return profiles::polarity_words(value);
}

std::string details_of(const profiles::LibraryEntry& e) {
    if (e.damaged())
        return key("IDS_MESSAGE_PROFILE_DAMAGED") + "\n" + e.file.filename().string() + "\n" +
               std::string(profiles::error_name(e.error)) + ": " + e.detail;
    const profiles::Profile& p = e.profile;
    using screenconfig::ParamsField;
    std::string out;
    auto line = [&out](const std::string& label, const std::string& value) {
        out += label + " " + value + "\n";
    };
    line(key("IDD201_2001"), p.name);
    if (!p.maker.empty()) line(key("IDD201_2002"), p.maker);
    if (!p.model.empty()) line(key("IDD201_2003"), p.model);
    if (!p.pitch.empty()) line(key("IDD201_2004"), p.pitch);
    if (p.width && p.height)
        line(key("IDS_MESSAGE_PROFILE_SIZE"), std::to_string(p.width) + " x " + std::to_string(p.height));
    line(key("IDS_MESSAGE_PROFILE_SCAN"), profiles::scan_words(p.record));
    line(key("IDS_MESSAGE_PROFILE_COLOUR_ORDER"), profiles::colour_order_words(p.record));
    line(key("IDD102_2011"), polarity_text(p.record.get(ParamsField::dataPolarity)));
    line(key("IDD102_2010"), polarity_text(p.record.get(ParamsField::oePolarity)));
    line(key("IDS_MESSAGE_PROFILE_DATE"), p.date);
    if (!p.notes.empty()) line(key("IDD201_2007"), p.notes);
    return out;
}

}  // namespace

ModuleLibraryDialog::ModuleLibraryDialog(profiles::ProfileLibrary library,
                                         cardlink::ExchangeService& exchanges, Cards cards,
                                         const screenconfig::WorkingSet& working, QWidget* parent)
    : QDialog(parent), library_(std::move(library), exchanges), cards_(std::move(cards)), working_(working) {
    setWindowTitle(QStringLiteral("模组库"));
    choose_ = [this](bool save, const QString& filter) -> std::filesystem::path {
        const QString file = save ? QFileDialog::getSaveFileName(this, {}, {}, filter, nullptr,
                                                                 QFileDialog::DontUseNativeDialog)
                                  : QFileDialog::getOpenFileName(this, {}, {}, filter, nullptr,
                                                                 QFileDialog::DontUseNativeDialog);
        return file.toStdString();
    };
    auto* grid = new QGridLayout;
    auto* filter_row = new QHBoxLayout;
    filter_row->addWidget(numbered(new QLabel(QStringLiteral("筛选:"), this), kFilterLabel));
    filter_ = new QLineEdit(this);
    filter_->setClearButtonEnabled(true);
    filter_row->addWidget(filter_, 1);
    grid->addLayout(filter_row, 0, 0);
    list_ = new QListWidget(this);
    list_->setMinimumWidth(260);
    grid->addWidget(list_, 1, 0);
    details_ = new QLabel(this);
    details_->setTextFormat(Qt::PlainText);
    details_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    details_->setWordWrap(true);
    details_->setMinimumWidth(260);
    grid->addWidget(details_, 1, 1);

    auto* actions = new QGridLayout;
    auto add = [this, actions](Control control, const char* caption, int row, int column,
                               void (ModuleLibraryDialog::*slot)()) {
        auto* b = numbered(new QPushButton(QString::fromUtf8(caption), this), control);
        actions->addWidget(b, row, column);
        if (slot) connect(b, &QPushButton::clicked, this, slot);
    };
    add(kApplySelected, "应用到所选控制卡", 0, 0, nullptr);
    add(kApplyAll, "应用到列表中所有控制卡", 0, 1, nullptr);
    add(kImport, "导入模组...", 1, 0, &ModuleLibraryDialog::onImport);
    add(kExport, "导出模组...", 1, 1, &ModuleLibraryDialog::onExport);
    add(kImportAll, "导入整个库...", 2, 0, &ModuleLibraryDialog::onImportAll);
    add(kExportAll, "导出整个库...", 2, 1, &ModuleLibraryDialog::onExportAll);
    add(kSaveCurrent, "当前参数存为模组...", 3, 0, &ModuleLibraryDialog::onSaveCurrent);
    add(kDelete, "删除", 3, 1, &ModuleLibraryDialog::onDelete);
    grid->addLayout(actions, 2, 0, 1, 2);

    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    grid->addWidget(numbered(new QLabel(QStringLiteral("各控制卡结果:"), this), kResultsLabel), 3, 0, 1, 2);
    results_ = new QListWidget(this);
    results_->setMaximumHeight(140);
    grid->addWidget(results_, 4, 0, 1, 2);
    grid->addWidget(progress_, 5, 0, 1, 2);
    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    numbered(buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole), kClose);
    connect(buttons, &QDialogButtonBox::rejected, this, &ModuleLibraryDialog::reject);
    auto* column = new QVBoxLayout(this);
    column->addLayout(grid, 1);
    column->addWidget(status_);
    column->addWidget(buttons);

    connect(button(kApplySelected), &QPushButton::clicked, this, [this] {
        const auto card = cards_.selected ? cards_.selected() : std::nullopt;
        if (!card) {
            platform::show_message(key("IDS_MESSAGE_HAVE_NO_LINKED_CARD"));
            return;
        }
        applyTo({*card});
    });
    connect(button(kApplyAll), &QPushButton::clicked, this, [this] {
        const auto cards = cards_.listed ? cards_.listed() : std::vector<cardlink::CardTarget>{};
        const auto index = chosen();
        if (cards.empty() || !index) {
            if (cards.empty()) platform::show_message(key("IDS_MESSAGE_HAVE_NO_LINKED_CARD"));
            return;
        }
        std::string names;
        for (const auto& c : cards) names += status_text::card_text(c) + "\n";
        const std::string question =
            status_text::fill(key("IDS_MESSAGE_PROFILE_APPLY_ALL_CONFIRM"),
                              {library_.entries()[*index].name, std::to_string(cards.size()), names});
        if (platform::show_message(question, {}, platform::MessageIcon::Question,
                                   platform::MessageButtons::YesNo) != platform::MessageReply::Yes)
            return;
        applyTo(cards);
    });
    connect(filter_, &QLineEdit::textChanged, this, [this] { rebuildList(); });
    connect(list_, &QListWidget::currentRowChanged, this, [this] {
        showChosen();
        updateEnabling();
    });
    connect(&library_, &ModuleLibrary::cardFinished, this, &ModuleLibraryDialog::onCardFinished);
    connect(&library_, &ModuleLibrary::applyFinished, this, &ModuleLibraryDialog::onApplyFinished);
    localise_dialog(this, kDialogNumber);
    rebuildList();
}

QPushButton* ModuleLibraryDialog::button(Control control) const {
    for (auto* b : findChildren<QPushButton*>())
        if (b->property(kControlIdProperty).toInt() == control) return b;
    return nullptr;
}

QString ModuleLibraryDialog::statusLine() const {
    return status_->text();
}

void ModuleLibraryDialog::setStatus(const std::string& line) {
    status_->setText(text(line));
}

std::optional<std::size_t> ModuleLibraryDialog::entryOfRow(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= shown_.size()) return std::nullopt;
    return shown_[static_cast<std::size_t>(row)];
}

std::optional<std::size_t> ModuleLibraryDialog::chosen() const {
    return entryOfRow(list_->currentRow());
}

void ModuleLibraryDialog::rebuildList() {
    const auto before = chosen();
    const std::string keep = before ? library_.entries()[*before].name : std::string();
    shown_ = library_.filtered(filter_->text().toStdString());
    list_->blockSignals(true);
    list_->clear();
    int row_to_select = shown_.empty() ? -1 : 0;
    for (std::size_t row = 0; row < shown_.size(); ++row) {
        const auto& e = library_.entries()[shown_[row]];
        auto* item = new QListWidgetItem(list_);
        if (e.damaged()) {
            // Damaged files stay visible, so that they can be found and removed, but read as such.
            item->setText(text(e.name + "  (" + key("IDS_MESSAGE_PROFILE_DAMAGED") + " " +
                               std::string(profiles::error_name(e.error)) + ")"));
            item->setForeground(Qt::red);
        } else {
            item->setText(text(e.name));
        }
        if (e.name == keep) row_to_select = static_cast<int>(row);
    }
    list_->setCurrentRow(row_to_select);
    list_->blockSignals(false);
    showChosen();
    updateEnabling();
}

void ModuleLibraryDialog::showChosen() {
    const auto index = chosen();
    details_->setText(index ? text(details_of(library_.entries()[*index])) : QString());
}

void ModuleLibraryDialog::updateEnabling() {
    const auto index = chosen();
    const bool good = index && !library_.entries()[*index].damaged();
    const bool idle = !library_.running();
    button(kApplySelected)->setEnabled(good && idle);
    button(kApplyAll)->setEnabled(good && idle);
    button(kExport)->setEnabled(good);
    button(kDelete)->setEnabled(index.has_value() && idle);
    button(kImport)->setEnabled(idle);
    button(kImportAll)->setEnabled(idle);
    button(kSaveCurrent)->setEnabled(working_.has_record() && !working_.unchecked && idle);
}

void ModuleLibraryDialog::applyTo(std::vector<cardlink::CardTarget> cards) {
    const auto index = chosen();
    if (!index || !library_.apply(*index, std::move(cards))) return;
    results_->clear();
    for (const auto& r : library_.results())
        results_->addItem(text(status_text::card_text(r.card) + ": ..."));
    progress_->setRange(0, static_cast<int>(library_.results().size()));
    progress_->setValue(0);
    setStatus(status_text::fill(key("IDS_MESSAGE_PROFILE_APPLYING"),
                                {library_.appliedName(), "0", std::to_string(library_.results().size())}));
    updateEnabling();
}

void ModuleLibraryDialog::onCardFinished(int card) {
    const auto& r = library_.results()[static_cast<std::size_t>(card)];
    results_->item(card)->setText(text(status_text::card_text(r.card) + ": " + outcome_text(r.outcome)));
    if (r.outcome != profiles::ApplyOutcome::Done) results_->item(card)->setForeground(Qt::red);
    progress_->setValue(static_cast<int>(library_.finishedCount()));
    setStatus(status_text::fill(key("IDS_MESSAGE_PROFILE_APPLYING"),
                                {library_.appliedName(), std::to_string(library_.finishedCount()),
                                 std::to_string(library_.results().size())}));
}

void ModuleLibraryDialog::onApplyFinished() {
    const std::string line = apply_summary(library_);
    setStatus(line);
    updateEnabling();
    emit applied(text(line));
}

void ModuleLibraryDialog::reject() {
    // The exchanges under way end on the service's worker; their reports have nobody to go to once
    // the dialog is gone, so it stays until they are in.
    if (library_.running()) return;
    QDialog::reject();
}

void ModuleLibraryDialog::onImport() {
    const auto file = choose_(false, QStringLiteral("Module profile (*.vmp);;HCF FILE(*.hcp)"));
    if (file.empty()) return;
    if (file.extension() == ".hcp") {
        // A ".hcp" file becomes a profile once the technician has named it; a damaged one never does.
        const auto loaded = screenconfig::load_hcp(file);
        if (loaded.status != screenconfig::LoadStatus::Ok) {
            platform::show_message(key("IDS_MESSAGE_DUDO_ERROR_FILE"));
            return;
        }
        SaveProfileDialog save(library_.library(), loaded.record, 0, 0, std::nullopt, this);
        if (save.exec() != QDialog::Accepted) return;
        library_.reload();
        rebuildList();
        return;
    }
    std::string name;
    auto r = library_.library().import_one(file, false, &name);
    if (r.error == profiles::LibraryError::Exists &&
        platform::show_message(status_text::fill(key("IDS_MESSAGE_PROFILE_EXISTS"), {name}), {},
                               platform::MessageIcon::Question,
                               platform::MessageButtons::YesNoDefaultNo) == platform::MessageReply::Yes)
        r = library_.library().import_one(file, true);
    if (!r.ok() && r.error != profiles::LibraryError::Exists)
        platform::show_message(key("IDS_MESSAGE_PROFILE_IMPORT_FAILED") + "\n" + r.detail);
    library_.reload();
    rebuildList();
}

void ModuleLibraryDialog::onExport() {
    const auto index = chosen();
    if (!index) return;
    auto file = choose_(true, QStringLiteral("Module profile (*.vmp)"));
    if (file.empty()) return;
    if (file.extension().empty()) file += profiles::kFileExtension;
    const auto r = library_.library().export_one(library_.entries()[*index].name, file);
    if (!r.ok()) platform::show_message(key("IDS_MESSAGE_PROFILE_EXPORT_FAILED") + "\n" + r.detail);
}

void ModuleLibraryDialog::onImportAll() {
    const auto file = choose_(false, QStringLiteral("Module library (*.tar)"));
    if (file.empty()) return;
    const auto r = library_.library().import_all(file, false);
    if (!r.result.ok()) {
        platform::show_message(key("IDS_MESSAGE_PROFILE_IMPORT_FAILED") + "\n" + r.result.detail);
        return;
    }
    std::size_t taken = 0;
    std::string refused;
    for (const auto& m : r.members) {
        if (m.result.ok())
            ++taken;
        else
            refused += "\n" + m.member + ": " + m.result.detail;
    }
    platform::show_message(
        status_text::fill(key("IDS_MESSAGE_PROFILE_IMPORTED_ALL"),
                          {std::to_string(taken), std::to_string(r.members.size() - taken)}) +
        refused);
    library_.reload();
    rebuildList();
}

void ModuleLibraryDialog::onExportAll() {
    auto file = choose_(true, QStringLiteral("Module library (*.tar)"));
    if (file.empty()) return;
    if (file.extension().empty()) file += ".tar";
    const auto r = library_.library().export_all(file);
    if (!r.result.ok()) {
        platform::show_message(key("IDS_MESSAGE_PROFILE_EXPORT_FAILED") + "\n" + r.result.detail);
        return;
    }
    platform::show_message(status_text::fill(key("IDS_MESSAGE_PROFILE_EXPORTED_ALL"),
                                             {std::to_string(r.exported), std::to_string(r.skipped.size())}));
}

void ModuleLibraryDialog::onDelete() {
    const auto index = chosen();
    if (!index) return;
    const std::string name = library_.entries()[*index].name;
    if (platform::show_message(status_text::fill(key("IDS_MESSAGE_PROFILE_DELETE_CONFIRM"), {name}), {},
                               platform::MessageIcon::Question,
                               platform::MessageButtons::YesNoDefaultNo) != platform::MessageReply::Yes)
        return;
    library_.library().remove(name);
    library_.reload();
    rebuildList();
}

void ModuleLibraryDialog::onSaveCurrent() {
    if (!working_.has_record() || working_.unchecked) return;
    const auto& config = working_.config;
    SaveProfileDialog save(library_.library(), working_.params,
                           config.get(screenconfig::ConfigField::moduleWidthLimited),
                           config.get(screenconfig::ConfigField::moduleHeightLimited), std::nullopt, this);
    if (save.exec() != QDialog::Accepted) return;
    library_.reload();
    rebuildList();
}
