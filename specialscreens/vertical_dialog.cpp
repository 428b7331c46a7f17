#include "specialscreens/vertical_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "widgets/localise_dialog.h"
#include "specialscreens/layout_note.h"

namespace specialscreens {

using namespace screenconfig;

VerticalDialog::VerticalDialog(DialogContext context, QWidget* parent)
    : LayoutDialog(std::move(context), parent) {
    auto* root = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    fields_ = std::make_unique<ModuleFields>(this, grid);
    auto* rows = new QHBoxLayout;
    rows->addWidget(numbered(new QLabel(QStringLiteral("一个HUB接口带"), this), kRowsBefore));
    rows->addWidget(fields_->count_edit());
    rows->addWidget(numbered(new QLabel(QStringLiteral("行模组"), this), kRowsAfter));
    rows->addStretch(1);
    grid->addLayout(rows, 2, 0, 1, 2);
    root->addLayout(grid);

    const char* texts[3] = {"绕线方法一:箱体内以箱体宽绕线", "接线方法二:箱体内以单元板绕线",
                            "接线方法三:箱体间级联绕线"};
    const int ids[3] = {kMethod1, kMethod2, kMethod3};
    for (int i = 0; i < 3; ++i) {
        methods_[i] = numbered(new QCheckBox(QString::fromUtf8(texts[i]), this), ids[i]);
        root->addWidget(methods_[i]);
        // Ticking one method clears the others; unticking leaves none.
        connect(methods_[i], &QCheckBox::toggled, this, [this, i](bool on) {
            if (!on) return;
            for (int j = 0; j < 3; ++j) {
                if (j == i) continue;
                QSignalBlocker block(methods_[j]);
                methods_[j]->setChecked(false);
            }
        });
    }
    methods_[0]->setChecked(true);
    methods_[2]->setVisible(false);  // F3 shows it
    bottom_to_top_ = numbered(new QCheckBox(QStringLiteral("由下到上"), this), kBottomToTop);
    root->addWidget(bottom_to_top_);

    root->addLayout(layout_buttons(
        this, [this] { preview(); }, [this] { send(); }));
    localise_dialog(this, kDialogNumber);
    setSendButton(kSend);
}

VerticalInput VerticalDialog::input() const {
    VerticalInput in{
        context_.width,   context_.height,      fields_->module_width(),    fields_->module_height(),
        fields_->count(), VerticalMethod::None, bottom_to_top_->isChecked()};
    if (methods_[0]->isChecked()) in.method = VerticalMethod::CabinetWidth;
    if (methods_[1]->isChecked()) in.method = VerticalMethod::UnitBoard;
    if (methods_[2]->isChecked()) in.method = VerticalMethod::CascadedCabinets;
    return in;
}

void VerticalDialog::refuse(const LayoutRefusal& refusal) {
    show_refusal(refusal);
    fields_->focus(refusal.focus);
}

void VerticalDialog::preview() {
    const VerticalInput in = input();
    if (const auto refusal = check_vertical(in, LayoutAction::Preview)) return refuse(*refusal);
    if (const auto plan = vertical_wiring(in))
        show_preview(*plan, vertical_texts(in), vertical_preview_path());
}

void VerticalDialog::send() {
    const VerticalInput in = input();
    if (const auto refusal = build_vertical(in, image_)) return refuse(*refusal);
    if (context_.note_layout) {
        // Cascaded cabinets have no drawn wiring: the layout is noted in words only.
        const auto plan = vertical_wiring(in);
        const auto texts = vertical_texts(in);
        context_.note_layout(layout_note(texts.caption, plan ? &*plan : nullptr, texts));
    }
    sendImage(image_);
}

void VerticalDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F3) {
        methods_[2]->setVisible(true);
        return;
    }
    // The dialog closes only with its own button or the window's close.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace specialscreens
