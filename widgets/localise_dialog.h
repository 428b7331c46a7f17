// Localising dialogs by number.
//
// Every dialog carries its number as the dynamic property "dialogId" and each of its controls its
// control number as "controlId" (ints), as the dialog templates numbered them. localise_dialog() sets the
// title from "IDD<dialog>_Title" and each numbered control's text from "IDD<dialog>_<control>"; a key that
// is missing or empty keeps the template text. Label texts are set as plain text. Call it from the dialog's
// constructor, after building the controls. UI thread only.
#pragma once

class QWidget;

inline constexpr const char* kDialogIdProperty = "dialogId";
inline constexpr const char* kControlIdProperty = "controlId";

void localise_dialog(QWidget* dialog, int dialog_number);

// Tags a control with its number (sets "controlId") and returns it, for use while building dialogs.
template <typename W>
W* numbered(W* control, int control_number);

void set_control_number(QWidget* control, int control_number);

// The first control below `dialog` (at any depth) that carries `control_number`, or nullptr.
QWidget* numbered_control(const QWidget* dialog, int control_number);

template <typename W>
W* numbered(W* control, int control_number) {
    set_control_number(control, control_number);
    return control;
}
