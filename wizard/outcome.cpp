#include "wizard/outcome.h"

#include "platform/localisation.h"

namespace wizard {

std::string message_text(const std::string& message) {
    return message.starts_with("IDS_") ? localisation::lookup(message) : message;
}

}  // namespace wizard
