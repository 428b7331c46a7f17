// What a wizard step's controller hands back to its panel: whether the step accepted, and the messages
// to show, in order. A message is a language key ("IDS_MESSAGE_...", shown localised) or one of the
// short fixed codes ("error RP") shown as it stands. GUI-free.
#pragma once

#include <string>
#include <vector>

#include "common/screen_control.h"

namespace wizard {

using Messages = std::vector<std::string>;
using Block = screen_control::Words;

struct Outcome {
    bool accepted = false;
    Messages messages;
};

// The text a message shows: the localised text of a key, or the code itself.
std::string message_text(const std::string& message);

}  // namespace wizard
