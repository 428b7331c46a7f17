// How the program reports to the user and asks questions. Every module goes through here, so that tests
// can answer the questions and read what was shown. The service is process-wide; install() and
// current() are guarded. The default (before the program installs its toolkit service) writes to stderr
// and answers Ok / Yes.
#pragma once

#include <string>

namespace platform {

enum class MessageIcon { None, Information, Warning, Error, Question };
// YesNoDefaultNo: a question whose Yes risks something (stopping a transfer, sending a damaged file):
// Enter answers No.
enum class MessageButtons { Ok, YesNo, OkCancel, YesNoDefaultNo };
enum class MessageReply { Ok, Cancel, Yes, No };

class MessageService {
  public:
    virtual ~MessageService() = default;
    // `text` and `caption` are UTF-8. An empty caption means the program's default caption.
    virtual MessageReply show(const std::string& text, const std::string& caption, MessageIcon icon,
                              MessageButtons buttons) = 0;
};

// Installs `service` (not owned; nullptr restores the default) and returns the previous one.
MessageService* install_message_service(MessageService* service);

// Shows a message through the installed service.
MessageReply show_message(const std::string& text, const std::string& caption = {},
                          MessageIcon icon = MessageIcon::None, MessageButtons buttons = MessageButtons::Ok);

}  // namespace platform
