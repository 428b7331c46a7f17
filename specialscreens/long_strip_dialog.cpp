#include "specialscreens/long_strip_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/localise_dialog.h"
#include "specialscreens/layout_note.h"

namespace specialscreens {

using namespace screenconfig;

LongStripDialog::LongStripDialog(DialogContext context, QWidget* parent)
    : LayoutDialog(std::move(context), parent) {
    auto* root = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    fields_ = std::make_unique<ModuleFields>(this, grid);
    auto* ports = new QHBoxLayout;
    ports->addWidget(fields_->count_edit());
    ports->addWidget(numbered(new QLabel(QStringLiteral("个HUB接口带一行模组"), this), kPortsLabel));
    ports->addStretch(1);
    grid->addLayout(ports, 2, 0, 1, 2);
    root->addLayout(grid);

    root->addLayout(layout_buttons(
        this, [this] { preview(); }, [this] { send(); }));
    localise_dialog(this, kDialogNumber);
    setSendButton(kSend);
}

LongStripInput LongStripDialog::input() const {
    return {context_.width, context_.height, fields_->module_width(), fields_->module_height(),
            fields_->count()};
}

void LongStripDialog::preview() {
    const LongStripInput in = input();
    if (const auto refusal = check_long_strip(in, LayoutAction::Preview)) {
        show_refusal(*refusal);
        fields_->focus(refusal->focus);
        return;
    }
    show_preview(long_strip_wiring(in), long_strip_texts(in), long_strip_preview_path());
}

void LongStripDialog::send() {
    const LongStripInput in = input();
    if (const auto refusal = build_long_strip(in, image_)) {
        show_refusal(*refusal);
        fields_->focus(refusal->focus);
        return;
    }
    if (context_.note_layout) {
        const auto plan = long_strip_wiring(in);
        const auto texts = long_strip_texts(in);
        context_.note_layout(layout_note(texts.caption, &plan, texts));
    }
    sendImage(image_);
}

}  // namespace specialscreens
