// The message service on Qt Widgets: modal message boxes on the UI thread. Messages raised on another
// thread are handed to the UI thread and the caller waits for the reply.
#pragma once

#include "platform/message_service.h"

namespace platform {

class QtMessageService final : public MessageService {
  public:
    MessageReply show(const std::string& text, const std::string& caption, MessageIcon icon,
                      MessageButtons buttons) override;
};

}  // namespace platform
