// A special-screen layout as the commissioning report shows it: the layout in words (the wiring
// preview's caption) and its wiring picture, drawn into a file of its own in the per-user folder.
// Threading: UI thread (draws with Qt Gui).
#pragma once

#include <string>

#include "report/report.h"
#include "screenconfig/special_layout.h"
#include "specialscreens/wiring_preview.h"

namespace specialscreens {

// `plan` may be null (a turned or mirrored screen has no wiring to draw); a picture that cannot be drawn
// or saved is left out.
report::LayoutNote layout_note(const std::string& description, const screenconfig::WiringPlan* plan,
                               const PreviewTexts& texts);

}  // namespace specialscreens
