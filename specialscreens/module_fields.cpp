#include "specialscreens/module_fields.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "widgets/localise_dialog.h"

namespace specialscreens {

namespace {

QLineEdit* number_edit(QWidget* parent, int id) {
    auto* edit = numbered(new QLineEdit(parent), id);
    // Five digits: the screen edits of the main window take as many.
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^\\d{0,5}$")), edit));
    edit->setMaximumWidth(90);
    return edit;
}

std::uint32_t value_of(const QLineEdit* edit) {
    return edit->text().toUInt();
}

}  // namespace

ModuleFields::ModuleFields(QWidget* dialog, QGridLayout* grid) {
    grid->addWidget(numbered(new QLabel(QStringLiteral("模组宽:"), dialog), kModuleWidthLabel), 0, 0);
    width_ = number_edit(dialog, kModuleWidth);
    grid->addWidget(width_, 0, 1);
    grid->addWidget(numbered(new QLabel(QStringLiteral("模组高:"), dialog), kModuleHeightLabel), 1, 0);
    height_ = number_edit(dialog, kModuleHeight);
    grid->addWidget(height_, 1, 1);
    count_ = number_edit(dialog, kCount);
}

std::uint32_t ModuleFields::module_width() const {
    return value_of(width_);
}

std::uint32_t ModuleFields::module_height() const {
    return value_of(height_);
}

std::optional<std::uint32_t> ModuleFields::count() const {
    if (count_->text().isEmpty()) return std::nullopt;
    return value_of(count_);
}

void ModuleFields::focus(screenconfig::LayoutField field) const {
    QLineEdit* edit = nullptr;
    switch (field) {
        case screenconfig::LayoutField::ModuleWidth:
            edit = width_;
            break;
        case screenconfig::LayoutField::ModuleHeight:
            edit = height_;
            break;
        case screenconfig::LayoutField::Count:
            edit = count_;
            break;
        case screenconfig::LayoutField::None:
            return;
    }
    edit->setFocus();
    edit->selectAll();
}

QHBoxLayout* layout_buttons(QDialog* dialog, std::function<void()> preview, std::function<void()> send) {
    auto* buttons = new QHBoxLayout;
    auto* preview_button =
        numbered(new QPushButton(QStringLiteral("接线图预览"), dialog), ModuleFields::kPreview);
    auto* send_button = numbered(new QPushButton(QStringLiteral("发送设置"), dialog), ModuleFields::kSend);
    auto* close_button = numbered(new QPushButton(QStringLiteral("退出"), dialog), ModuleFields::kClose);
    for (QPushButton* b : {preview_button, send_button, close_button}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    QObject::connect(preview_button, &QPushButton::clicked, dialog, std::move(preview));
    QObject::connect(send_button, &QPushButton::clicked, dialog, std::move(send));
    QObject::connect(close_button, &QPushButton::clicked, dialog, &QDialog::reject);
    return buttons;
}

}  // namespace specialscreens
