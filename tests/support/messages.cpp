#include "tests/support/messages.h"

namespace support {

RecordingMessages::RecordingMessages() : previous_(platform::install_message_service(this)) {}

RecordingMessages::~RecordingMessages() {
    platform::install_message_service(previous_);
}

platform::MessageReply RecordingMessages::show(const std::string& text, const std::string& caption,
                                               platform::MessageIcon, platform::MessageButtons buttons) {
    std::lock_guard lock(mutex_);
    shown_.push_back({text, caption, buttons});
    return reply_;
}

void RecordingMessages::set_reply(platform::MessageReply reply) {
    std::lock_guard lock(mutex_);
    reply_ = reply;
}

std::vector<RecordingMessages::Shown> RecordingMessages::all() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

std::vector<std::string> RecordingMessages::texts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& s : shown_) out.push_back(s.text);
    return out;
}

std::vector<std::string> RecordingMessages::captions() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& s : shown_) out.push_back(s.caption);
    return out;
}

void RecordingMessages::clear() {
    std::lock_guard lock(mutex_);
    shown_.clear();
}

}  // namespace support
