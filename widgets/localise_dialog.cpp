#include "widgets/localise_dialog.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVariant>
#include <QWidget>

#include "platform/localisation.h"

void set_control_number(QWidget* control, int control_number) {
    control->setProperty(kControlIdProperty, control_number);
}

QWidget* numbered_control(const QWidget* dialog, int control_number) {
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        const QVariant v = w->property(kControlIdProperty);
        if (v.isValid() && v.toInt() == control_number) return w;
    }
    return nullptr;
}

namespace {

void set_control_text(QWidget* control, const QString& text) {
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setTextFormat(Qt::PlainText);  // a language file is data, never markup
        label->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(control))
        group->setTitle(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(text);
    else
        control->setWindowTitle(text);
}

}  // namespace

void localise_dialog(QWidget* dialog, int dialog_number) {
    dialog->setProperty(kDialogIdProperty, dialog_number);
    std::string title = localisation::lookup_or_empty(localisation::dialog_title_key(dialog_number));
    if (!title.empty()) dialog->setWindowTitle(QString::fromStdString(title));
    // Every numbered control below the dialog, however deep the layout nests it; controls that belong
    // to a nested dialog (a child widget with a number of its own) are left to that dialog.
    const auto children = dialog->findChildren<QWidget*>();
    for (QWidget* child : children) {
        QVariant id = child->property(kControlIdProperty);
        if (!id.isValid()) continue;
        QWidget* owner = child->parentWidget();
        while (owner != nullptr && owner != dialog && !owner->property(kDialogIdProperty).isValid())
            owner = owner->parentWidget();
        if (owner != dialog) continue;
        std::string text =
            localisation::lookup_or_empty(localisation::control_key(dialog_number, id.toInt()));
        if (!text.empty()) set_control_text(child, QString::fromStdString(text));
    }
}
