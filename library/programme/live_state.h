// The library-wide state of the display windows and the live display: the card file naming counter,
// each card's pending effect list, the regions of the next flashing window, and the gates of the two
// single-picture exports. One LiveState per loaded library (live_state()); each piece has its own lock.
//
// Threading: every member may be called from any thread. Two callers on two threads never corrupt a
// list; an effect list or the region list is taken out whole, so a picture or region is sent once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/display_blocks.h"
#include "library/protocol/gate.h"

namespace kelvra::live {

// Card file names "Pic0" to "Pic1000": every naming attempt takes the current number and raises it,
// back to 0 after 1000.
inline constexpr std::uint32_t kLastPictureNumber = 1000;

class NameCounter {
  public:
    std::uint32_t take();
    void reset();

  private:
    std::mutex mutex_;
    std::uint32_t next_ = 0;
};

// Each card's effect list, keyed by the card's IP text: items in the order added.
class EffectLists {
  public:
    void append(std::string_view card_ip, const display::ItemBytes& item);
    // Takes the card's whole list out (empty when it has none).
    std::vector<display::ItemBytes> take(std::string_view card_ip);
    std::size_t size(std::string_view card_ip) const;
    void clear();

  private:
    mutable std::mutex mutex_;
    std::map<std::string, std::vector<display::ItemBytes>, std::less<>> lists_;
};

// The regions of the next flashing window, at most display::kMaxRegions.
class RegionList {
  public:
    // The number of regions now listed, or -1 when the list is full (nothing added).
    int add(const display::Region& region);
    std::vector<display::Region> take();
    // Puts regions taken out back in front of any added since (a send that failed keeps them); the
    // list keeps at most kMaxRegions.
    void put_back(std::vector<display::Region> regions);
    std::size_t size() const;
    void clear();

  private:
    mutable std::mutex mutex_;
    std::vector<display::Region> regions_;
};

struct LiveState {
    NameCounter names;
    EffectLists effect_lists;
    RegionList regions;
    TransferGate show_picture_gate;    // ShowPicture's sends, one at a time
    TransferGate screen_picture_gate;  // SendScreenPicToCards' sends, one at a time
};

// The library's one LiveState (never destroyed: worker threads may outlive the last call).
LiveState& live_state();
// Back to the state at load: counter 0, no effect lists, no regions (tests use it between cases).
void reset_live_state();

}  // namespace kelvra::live
