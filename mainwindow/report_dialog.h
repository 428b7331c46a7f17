// "生成调试报告": asks for the site and the technician, as the report is to show them, and where to
// save it (the PDF; the HTML page goes beside it under the same name). Renders and returns what was
// typed; writes nothing. UI thread only.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

class ReportDialog : public QDialog {
    Q_OBJECT
  public:
    ReportDialog(const QString& proposed_pdf, QWidget* parent = nullptr);

    QString site() const;
    QString technician() const;
    QString pdfPath() const;
    // The HTML page's path: the PDF's with the extension ".html".
    QString htmlPath() const;

    QLineEdit* siteEdit() const { return site_; }
    QLineEdit* technicianEdit() const { return technician_; }
    QLineEdit* fileEdit() const { return file_; }

  private:
    void onBrowse();

    QLineEdit* site_ = nullptr;
    QLineEdit* technician_ = nullptr;
    QLineEdit* file_ = nullptr;
    QPushButton* ok_ = nullptr;
};
