// SHA-256 of bytes, as lowercase hexadecimal: what a fleet plan records of a card's settings and of the
// files it sends, so that a commit can tell whether either changed since the plan was made.
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace fleet {

class Sha256 {
  public:
    Sha256();
    void add(std::span<const std::uint8_t> bytes);
    void add(std::string_view text);
    // The digest of everything added, as 64 lowercase hex digits. Ends the object's use.
    std::string hex();

  private:
    void block(const std::uint8_t* p);
    std::uint32_t h_[8];
    std::uint8_t buffer_[64];
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

std::string sha256_hex(std::span<const std::uint8_t> bytes);

}  // namespace fleet
