#include "specialscreens/type_dialog.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "widgets/localise_dialog.h"

namespace specialscreens {

TypeDialog::TypeDialog(QWidget* parent) : QDialog(parent) {
    auto* root = new QVBoxLayout(this);
    types_ = new QButtonGroup(this);
    const char* texts[3] = {"超长条屏", "竖立屏", "其他"};
    const int ids[3] = {kLongStrip, kVertical, kOther};
    for (int i = 0; i < 3; ++i) {
        auto* radio = numbered(new QRadioButton(QString::fromUtf8(texts[i]), this), ids[i]);
        types_->addButton(radio, i);
        root->addWidget(radio);
    }
    types_->button(0)->setChecked(true);
    auto* buttons = new QHBoxLayout;
    auto* next = numbered(new QPushButton(QStringLiteral("下一步"), this), kNext);
    auto* exit = numbered(new QPushButton(QStringLiteral("退出"), this), kExit);
    next->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(next);
    buttons->addWidget(exit);
    root->addLayout(buttons);
    connect(next, &QPushButton::clicked, this, &QDialog::accept);
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
    localise_dialog(this, kDialogNumber);
}

ScreenType TypeDialog::choice() const {
    return static_cast<ScreenType>(types_->checkedId());
}

}  // namespace specialscreens
