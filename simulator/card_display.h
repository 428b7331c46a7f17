// What a simulated card shows on its screen: the windows a caller opened (each playing the picture
// added to it last), a picture shown at once (file type 5), a running effect list (its first picture),
// and a picture flashing over regions. The card renders all of it into one picture of the whole
// screen, written as "screen.png" into the card's folder on every change (docs/card-screen.md).
//
// Layers, bottom to top: the shown picture at the top left; the effect list in its rectangle (the
// whole screen without one); the windows in the order they were opened; the flashing picture in each
// region. A picture is placed at the top left of its rectangle and cut at its edges, never scaled. The
// four rectangle words and the first four words of a region are read as left, top, width, height.
// A video shows as a grey rectangle.
//
// Threading: not thread-safe. The card model changes it under the simulator's lock; the simulator
// renders a copy of it outside that lock, so decoding pictures never holds up other clients.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/display_blocks.h"
#include "simulator/led_module.h"

namespace sim {

struct DisplayWindow {
    display::Rect rect{};
    std::uint32_t style = 0;
    bool locked = false;
    std::vector<display::Item> items;  // in the order added
};

class CardDisplay {
  public:
    struct Outcome {
        bool accepted = true;
        std::string note;  // what the card did, for the journal
    };

    // CMD_WINDOW, CMD_GLINT_WINDOW and CMD_EXIT_STUNT. `folder` is the card's folder, where the effect
    // list ("Config.sys") lies when its start block arrives.
    Outcome on_command(std::uint8_t command, std::span<const std::uint8_t> data,
                       const std::filesystem::path& folder);
    // A file of type 5 has arrived whole: it is shown at once.
    void on_shown_file(const std::string& card_name);

    const std::map<std::uint32_t, DisplayWindow>& windows() const { return windows_; }
    const std::optional<display::StuntList>& effect_list() const { return effect_list_; }
    const std::optional<display::Glint>& glint() const { return glint_; }

    // The whole screen, one 0x00RRGGBB value per pixel; pictures are read from the card's folder and
    // decoded (pictures.h). A picture refused for its size is left out and named in `refused`.
    struct Rendering {
        ModulePicture screen;
        std::vector<std::string> refused;  // "<file> declares W x H pixels, more than a card shows"
    };
    Rendering render(const std::filesystem::path& folder, std::uint32_t width, std::uint32_t height) const;

  private:
    Outcome on_window(std::span<const std::uint8_t> data, const std::filesystem::path& folder);

    std::map<std::uint32_t, DisplayWindow> windows_;
    std::vector<std::uint32_t> window_order_;  // opening order, for drawing
    std::optional<std::string> shown_;         // card name of the picture shown at once
    std::optional<display::StuntList> effect_list_;
    std::optional<display::Glint> glint_;
};

// Writes `bytes` beside `path` and renames it over, so that a viewer never reads half a picture.
// False when it could not be written.
bool write_picture_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace sim
