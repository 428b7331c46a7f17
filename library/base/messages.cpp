#include "library/base/messages.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace kelvra {
namespace {

void default_message_handler(const char* text, void*) {
    std::fprintf(stderr, "%s\n", text);
}

struct Handler {
    std::mutex mutex;
    MessageHandler handler = default_message_handler;
    void* user = nullptr;
};

// Created on first use and never destroyed: worker threads that outlive a caller's last call may
// still show a message.
Handler& handler_state() {
    static auto* state = new Handler;
    return *state;
}

}  // namespace

void set_message_handler(MessageHandler handler, void* user) {
    Handler& state = handler_state();
    std::lock_guard lock(state.mutex);
    state.handler = handler != nullptr ? handler : default_message_handler;
    state.user = handler != nullptr ? user : nullptr;
}

void show_message(std::string_view text) {
    Handler& state = handler_state();
    MessageHandler handler;
    void* user;
    {
        std::lock_guard lock(state.mutex);
        handler = state.handler;
        user = state.user;
    }
    const std::string copy(text);
    handler(copy.c_str(), user);
}

}  // namespace kelvra
