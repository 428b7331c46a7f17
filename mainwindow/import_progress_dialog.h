// Import progress (dialog 150, "正在导入文件"): a modeless window that counts the steps of a transfer.
// start(n): bar range 0..n, field 1111 = IDS_MESSAGE_IMPORT_FILE_NUMBER + n, field 1112 =
// IDS_MESSAGE_IMPORT_FILE_CUR_COUNT + 0. step(item): bar + 1 (it stops at its end), count + 1, field
// 1110 = item, field 1112 = the new count.
// As the progress of an image transfer (screenconfig::TransferProgress) it shows itself when the
// transfer opens it and hides when it ends. UI thread only.
#pragma once

#include <QDialog>
#include <QString>

#include "screenconfig/image_transfer_runner.h"

class QLabel;
class QProgressBar;

class ImportProgressDialog : public QDialog, public screenconfig::TransferProgress {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 150;
    static constexpr int kItemField = 1110;
    static constexpr int kTotalField = 1111;
    static constexpr int kCountField = 1112;

    explicit ImportProgressDialog(QWidget* parent = nullptr);

    void start(int steps);
    void step(const QString& item);

    int steps() const { return steps_; }
    int count() const { return count_; }
    int bar_value() const;

    void progress_opened(int steps) override;
    void progress_step(const std::string& item) override;
    void progress_closed() override;

  private:
    QLabel* item_ = nullptr;
    QLabel* total_ = nullptr;
    QLabel* count_label_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QString count_prefix_;
    int steps_ = 0;
    int count_ = 0;
};
