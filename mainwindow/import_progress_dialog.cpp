#include "mainwindow/import_progress_dialog.h"

#include <algorithm>

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "widgets/localise_dialog.h"
#include "platform/localisation.h"

ImportProgressDialog::ImportProgressDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("正在导入文件"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    item_ = numbered(new QLabel(this), kItemField);
    total_ = numbered(new QLabel(this), kTotalField);
    count_label_ = numbered(new QLabel(this), kCountField);
    for (QLabel* label : {item_, total_, count_label_}) label->setTextFormat(Qt::PlainText);
    bar_ = new QProgressBar(this);
    bar_->setTextVisible(false);
    layout->addWidget(total_);
    layout->addWidget(count_label_);
    layout->addWidget(item_);
    layout->addWidget(bar_);
    localise_dialog(this, kDialogNumber);
}

void ImportProgressDialog::start(int steps) {
    steps_ = steps;
    count_ = 0;
    bar_->setRange(0, steps);
    bar_->setValue(0);
    total_->setText(QString::fromStdString(localisation::lookup("IDS_MESSAGE_IMPORT_FILE_NUMBER")) +
                    QString::number(steps));
    count_prefix_ = QString::fromStdString(localisation::lookup("IDS_MESSAGE_IMPORT_FILE_CUR_COUNT"));
    count_label_->setText(count_prefix_ + QString::number(count_));
}

void ImportProgressDialog::step(const QString& item) {
    // A transfer may take one step more than it announced; the bar then stays full.
    bar_->setValue(std::min(bar_->value() + 1, bar_->maximum()));
    ++count_;
    item_->setText(item);
    count_label_->setText(count_prefix_ + QString::number(count_));
}

int ImportProgressDialog::bar_value() const {
    return bar_->value();
}

void ImportProgressDialog::progress_opened(int steps) {
    start(steps);
    show();
}

void ImportProgressDialog::progress_step(const std::string& item) {
    step(QString::fromStdString(item));
}

void ImportProgressDialog::progress_closed() {
    hide();
}
