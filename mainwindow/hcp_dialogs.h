// The file dialogs that choose a ".hcp" file, as choosers for the screen-parameter operations
// (screenconfig/screen_files.h), which stay free of widgets. Open: filter "HCF FILE(*.hcp)". Save: the
// same filter, default suffix "hcp", overwrite prompt, the given title. Both are Qt's own (non-native)
// dialogs, so they look and behave the same everywhere and speak the program's language.
// UI thread only.
#pragma once

#include "screenconfig/screen_files.h"

class QWidget;

inline constexpr const char* kHcpFilter = "HCF FILE(*.hcp)";

screenconfig::OpenChooser open_hcp_chooser(QWidget* parent);
screenconfig::SaveChooser save_hcp_chooser(QWidget* parent);
