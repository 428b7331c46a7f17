// A message service that records every message box instead of showing it, and answers questions with
// `reply`. It installs itself for its lifetime. Thread-safe: messages may come from worker threads.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/message_service.h"

namespace support {

class RecordingMessages final : public platform::MessageService {
  public:
    struct Shown {
        std::string text;
        std::string caption;
        platform::MessageButtons buttons;
    };

    RecordingMessages();
    ~RecordingMessages() override;
    RecordingMessages(const RecordingMessages&) = delete;
    RecordingMessages& operator=(const RecordingMessages&) = delete;

    platform::MessageReply show(const std::string& text, const std::string& caption,
                                platform::MessageIcon icon, platform::MessageButtons buttons) override;

    void set_reply(platform::MessageReply reply);
    std::vector<Shown> all() const;
    std::vector<std::string> texts() const;
    std::vector<std::string> captions() const;
    void clear();

  private:
    mutable std::mutex mutex_;
    platform::MessageReply reply_ = platform::MessageReply::Yes;
    std::vector<Shown> shown_;
    platform::MessageService* previous_ = nullptr;
};

}  // namespace support
