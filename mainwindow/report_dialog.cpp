#include "mainwindow/report_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/localisation.h"

namespace {

QString text(const char* key) {
    return QString::fromStdString(localisation::lookup(key));
}

}  // namespace

ReportDialog::ReportDialog(const QString& proposed_pdf, QWidget* parent) : QDialog(parent) {
    setWindowTitle(text("IDS_MESSAGE_REPORT_DIALOG_TITLE"));
    auto* root = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    site_ = new QLineEdit(this);
    technician_ = new QLineEdit(this);
    file_ = new QLineEdit(proposed_pdf, this);
    file_->setMinimumWidth(360);
    auto* browse = new QPushButton(text("IDS_MESSAGE_REPORT_DIALOG_BROWSE"), this);
    auto* file_row = new QHBoxLayout;
    file_row->addWidget(file_, 1);
    file_row->addWidget(browse);
    form->addRow(text("IDS_MESSAGE_REPORT_DIALOG_SITE"), site_);
    form->addRow(text("IDS_MESSAGE_REPORT_DIALOG_TECHNICIAN"), technician_);
    form->addRow(text("IDS_MESSAGE_REPORT_DIALOG_FILE"), file_row);
    root->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    root->addWidget(buttons);

    connect(browse, &QPushButton::clicked, this, &ReportDialog::onBrowse);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Without a file name there is nowhere to write.
    connect(file_, &QLineEdit::textChanged, this, [this] { ok_->setEnabled(!pdfPath().isEmpty()); });
    ok_->setEnabled(!pdfPath().isEmpty());
}

QString ReportDialog::site() const {
    return site_->text();
}

QString ReportDialog::technician() const {
    return technician_->text();
}

QString ReportDialog::pdfPath() const {
    return file_->text().trimmed();
}

QString ReportDialog::htmlPath() const {
    const QFileInfo pdf(pdfPath());
    return pdf.dir().filePath(pdf.completeBaseName() + QStringLiteral(".html"));
}

void ReportDialog::onBrowse() {
    // Qt's own dialog, as for the ".hcp" files: it speaks the program's language everywhere.
    QFileDialog dialog(this, text("IDS_MESSAGE_REPORT_DIALOG_TITLE"), pdfPath(),
                       QStringLiteral("PDF (*.pdf)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        file_->setText(dialog.selectedFiles().front());
}
