#include "platform/message_service.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

class StderrService final : public MessageService {
  public:
    MessageReply show(const std::string& text, const std::string& caption, MessageIcon,
                      MessageButtons buttons) override {
        std::fprintf(stderr, "[%s] %s\n", caption.empty() ? "Vantor" : caption.c_str(), text.c_str());
        return buttons == MessageButtons::YesNo            ? MessageReply::Yes
               : buttons == MessageButtons::YesNoDefaultNo ? MessageReply::No
                                                           : MessageReply::Ok;
    }
};

std::mutex& service_mutex() {
    static std::mutex m;
    return m;
}
StderrService& fallback() {
    static StderrService s;
    return s;
}
MessageService*& installed() {
    static MessageService* s = nullptr;
    return s;
}

}  // namespace

MessageService* install_message_service(MessageService* service) {
    std::lock_guard lock(service_mutex());
    MessageService* previous = installed();
    installed() = service;
    return previous;
}

MessageReply show_message(const std::string& text, const std::string& caption, MessageIcon icon,
                          MessageButtons buttons) {
    MessageService* service;
    {
        std::lock_guard lock(service_mutex());
        service = installed() != nullptr ? installed() : &fallback();
    }
    // Shown outside the lock: a modal box runs an event loop that may show further messages.
    return service->show(text, caption, icon, buttons);
}

}  // namespace platform
