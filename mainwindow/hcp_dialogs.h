// The file dialogs that choose a ".hcp" file, as choosers for the operations in screen_files.h.
// Open: filter "HCF FILE(*.hcp)". Save: the same filter, default suffix "hcp", overwrite prompt, the
// given title. Both are Qt's own (non-native) dialogs, so they look and behave the same everywhere.
// UI thread only.
#pragma once

#include "screenconfig/screen_files.h"

class QWidget;

namespace screenconfig {

inline constexpr const char* kHcpFilter = "HCF FILE(*.hcp)";

OpenChooser open_hcp_chooser(QWidget* parent);
SaveChooser save_hcp_chooser(QWidget* parent);

}  // namespace screenconfig
