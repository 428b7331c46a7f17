// What the library "shows in a message box": the texts go to one handler, set by the caller, which
// by default writes the text and a newline to standard error.
//
// Threading: any thread. The handler and its argument are kept under one lock; the handler is called
// with no lock held.
#pragma once

#include <string_view>

namespace kelvra {

using MessageHandler = void (*)(const char* text, void* user);
// A null handler restores the default.
void set_message_handler(MessageHandler handler, void* user);
void show_message(std::string_view text);

}  // namespace kelvra
