// Test fixtures: a listener on a card's address that records every frame exactly as it arrived over
// TCP (what ledcard-sim's journal does not keep: each frame's size on the wire), a message service
// that records what the program shows, and a language file with known texts.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/frame.h"
#include "platform/localisation.h"
#include "platform/message_service.h"
#include "tests/support/messages.h"
#include "tests/support/wait.h"

namespace testing_support {

struct ReceivedFrame {
    std::uint8_t command = 0;
    std::string card_id;
    std::vector<std::uint8_t> data;
    std::size_t wire_size = 0;  // bytes this frame took on the wire (28 + n + 1)
};

class RecordingCard {
  public:
    struct Options {
        std::string address = "127.0.0.61";
    };

    explicit RecordingCard(Options options) : options_(std::move(options)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(frame::kCommandPort);
        ::inet_pton(AF_INET, options_.address.c_str(), &a.sin_addr);
        bound_ =
            ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(listener_, 4) == 0;
        thread_ = std::thread([this] { serve(); });
    }
    RecordingCard() : RecordingCard(Options{}) {}
    ~RecordingCard() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }

    bool bound() const { return bound_; }
    const std::string& address() const { return options_.address; }

    std::vector<ReceivedFrame> frames() const {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    int connections() const { return connections_.load(); }

    // Waits until `n` connections have ended (or 20 s pass).
    bool wait_for_closed_connections(int n) const {
        return support::wait_until([&] { return closed_.load() >= n; }, std::chrono::seconds(20));
    }

  private:
    void serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) != 1) continue;
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            ++connections_;
            handle(fd);
            ::close(fd);
            ++closed_;
        }
    }

    void handle(int fd) {
        std::vector<std::uint8_t> buf;
        std::uint8_t chunk[65536];
        while (!stop_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) != 1) continue;
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) return;
            buf.insert(buf.end(), chunk, chunk + n);
            for (;;) {
                if (buf.size() < frame::kHeaderSize) break;
                const std::uint32_t len = static_cast<std::uint32_t>(buf[24]) | (buf[25] << 8) |
                                          (buf[26] << 16) | (static_cast<std::uint32_t>(buf[27]) << 24);
                const std::size_t total = frame::kHeaderSize + len + 1;
                if (buf.size() < total) break;
                ReceivedFrame f;
                f.command = buf[3];
                f.card_id.assign(reinterpret_cast<const char*>(&buf[4]), 16);
                f.card_id.resize(f.card_id.find('\0') == std::string::npos ? 16 : f.card_id.find('\0'));
                f.data.assign(buf.begin() + frame::kHeaderSize, buf.begin() + frame::kHeaderSize + len);
                f.wire_size = total;
                buf.erase(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(total));
                std::lock_guard lock(mutex_);
                frames_.push_back(std::move(f));
            }
        }
    }

    Options options_;
    int listener_ = -1;
    bool bound_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> closed_{0};
    mutable std::mutex mutex_;
    std::vector<ReceivedFrame> frames_;
    std::thread thread_;
};

using support::RecordingMessages;

// A language file in which each message key's text is the key itself, made current.
inline void use_key_language(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    const auto file = folder / "keys.ini";
    std::ofstream out(file);
    out << "[Setting]\nZAVO_Language=Keys\n[String]\n";
    for (const char* key :
         {"IDS_MESSAGE_CARD_LINK_ERROR", "IDS_MESSAGE_HAVE_NO_LINKED_CARD", "IDS_MESSAGE_DUDO_ERROR_FILE",
          "IDS_MESSAGE_DUDO_SAVE_AND_SEND_PARAM", "IDS_MESSAGE_DUDO_SEND_OVER_TIP",
          "IDS_MESSAGE_IS_SAVE_PARAM", "IDS_MESSAGE_SET_SUCCESS", "IDS_MESSAGE_IMPORT_FILE_NUMBER",
          "IDS_MESSAGE_IMPORT_FILE_CUR_COUNT", "IDS_MESSAGE_HCP_TOO_SHORT", "IDS_MESSAGE_HCP_SEND_UNCHECKED"})
        out << key << '=' << key << '\n';
    out.close();
    localisation::set_current_file(file);
}

}  // namespace testing_support
