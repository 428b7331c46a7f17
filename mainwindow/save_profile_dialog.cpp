#include "mainwindow/save_profile_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "mainwindow/status_text.h"
#include "platform/localisation.h"
#include "platform/message_service.h"
#include "widgets/localise_dialog.h"

SaveProfileDialog::SaveProfileDialog(profiles::ProfileLibrary library,
                                     const screenconfig::ScreenParams& record, std::uint32_t width,
                                     std::uint32_t height, std::optional<std::filesystem::path> picture,
                                     QWidget* parent)
    : QDialog(parent), library_(std::move(library)), record_(record), picture_(std::move(picture)) {
    setWindowTitle(QStringLiteral("保存为模组"));
    auto* form = new QFormLayout;
    auto label = [this](int number, const char* text) {
        return numbered(new QLabel(QString::fromUtf8(text), this), number);
    };
    name_ = new QLineEdit(this);
    name_->setMaxLength(static_cast<int>(profiles::kMaxNameLength));
    maker_ = new QLineEdit(this);
    model_ = new QLineEdit(this);
    pitch_ = new QLineEdit(this);
    width_ = new QSpinBox(this);
    height_ = new QSpinBox(this);
    for (QSpinBox* box : {width_, height_}) box->setRange(0, 65535);
    width_->setValue(static_cast<int>(width));
    height_->setValue(static_cast<int>(height));
    notes_ = new QPlainTextEdit(this);
    notes_->setMaximumHeight(80);
    form->addRow(label(2001, "名称:"), name_);
    form->addRow(label(2002, "厂家:"), maker_);
    form->addRow(label(2003, "型号:"), model_);
    form->addRow(label(2004, "点间距:"), pitch_);
    form->addRow(label(2005, "宽(LED):"), width_);
    form->addRow(label(2006, "高(LED):"), height_);
    form->addRow(label(2007, "备注:"), notes_);
    attach_ = numbered(new QCheckBox(QStringLiteral("附上描点图片"), this), kAttachPicture);
    std::error_code ec;
    const bool have_picture = picture_ && std::filesystem::is_regular_file(*picture_, ec);
    attach_->setVisible(have_picture);
    attach_->setChecked(false);  // the picture may be from an earlier run: the technician decides

    // The proposed name follows the size until the technician types one.
    auto propose = [this] {
        if (!name_edited_)
            name_->setText(QString::fromStdString(
                profiles::proposed_name(static_cast<std::uint32_t>(width_->value()),
                                        static_cast<std::uint32_t>(height_->value()), record_)));
    };
    propose();
    connect(name_, &QLineEdit::textEdited, this, [this] { name_edited_ = true; });
    connect(width_, &QSpinBox::valueChanged, this, propose);
    connect(height_, &QSpinBox::valueChanged, this, propose);

    auto* buttons = new QDialogButtonBox(this);
    numbered(buttons->addButton(QStringLiteral("保存"), QDialogButtonBox::AcceptRole), kSave);
    numbered(buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole), kCancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &SaveProfileDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SaveProfileDialog::reject);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(attach_);
    column->addWidget(buttons);
    localise_dialog(this, kDialogNumber);
}

void SaveProfileDialog::accept() {
    profiles::Profile profile = profiles::make_profile(record_, name_->text().trimmed().toStdString());
    profile.maker = maker_->text().trimmed().toStdString();
    profile.model = model_->text().trimmed().toStdString();
    profile.pitch = pitch_->text().trimmed().toStdString();
    profile.width = static_cast<std::uint32_t>(width_->value());
    profile.height = static_cast<std::uint32_t>(height_->value());
    profile.notes = notes_->toPlainText().toStdString();
    if (!profiles::valid_name(profile.name)) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_PROFILE_BAD_NAME"));
        return;
    }
    const auto picture = attach_->isVisible() && attach_->isChecked() ? picture_ : std::nullopt;
    profiles::LibraryResult saved = library_.save(profile, false, picture);
    if (saved.error == profiles::LibraryError::Exists) {
        if (platform::show_message(
                status_text::fill(localisation::lookup("IDS_MESSAGE_PROFILE_EXISTS"), {profile.name}), {},
                platform::MessageIcon::Question,
                platform::MessageButtons::YesNoDefaultNo) != platform::MessageReply::Yes)
            return;
        saved = library_.save(profile, true, picture);
    }
    if (!saved.ok()) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_PROFILE_SAVE_FAILED") + "\n" + saved.detail);
        return;
    }
    saved_ = profile.name;
    QDialog::accept();
}
