#include "simulator/card_display.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "common/frame.h"
#include "simulator/pictures.h"

namespace sim {
namespace {

constexpr std::uint32_t kVideoGrey = 0x808080;

std::vector<std::uint8_t> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A card path's file below the card folder ("3\Pic0.jpg" in folder "3").
std::filesystem::path card_file(const std::filesystem::path& folder, const std::string& sub,
                                const std::string& name) {
    // Names with separators or ".." never come from Kelvra; a card would not find such a file.
    if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "..") return {};
    return sub.empty() ? folder / name : folder / sub / name;
}

struct Canvas {
    ModulePicture& picture;
    std::vector<std::string>& refused;

    // Draws `file` with its top left at (left, top), cut at the rectangle and the screen.
    void draw(const std::filesystem::path& file, const display::Rect& rect) {
        if (file.empty()) return;
        const auto decoded = decode_picture(read_file(file));
        if (decoded.too_large) refused.push_back(file.filename().string() + " " + decoded.why);
        const auto& bitmap = decoded.bitmap;
        if (!bitmap) return;
        for (std::uint32_t y = 0; y < rect[3] && y < static_cast<std::uint32_t>(bitmap->height); ++y) {
            for (std::uint32_t x = 0; x < rect[2] && x < static_cast<std::uint32_t>(bitmap->width); ++x) {
                const std::size_t at = (std::size_t{y} * static_cast<std::size_t>(bitmap->width) + x) * 3;
                put(rect[0] + x, rect[1] + y,
                    std::uint32_t{bitmap->rgb[at]} << 16 | std::uint32_t{bitmap->rgb[at + 1]} << 8 |
                        bitmap->rgb[at + 2]);
            }
        }
    }

    void fill(const display::Rect& rect, std::uint32_t rgb) {
        for (std::uint32_t y = 0; y < rect[3] && rect[1] + y < picture.height; ++y)
            for (std::uint32_t x = 0; x < rect[2] && rect[0] + x < picture.width; ++x)
                put(rect[0] + x, rect[1] + y, rgb);
    }

    void put(std::uint64_t x, std::uint64_t y, std::uint32_t rgb) {
        if (x < picture.width && y < picture.height) picture.leds[y * picture.width + x] = rgb;
    }
};

}  // namespace

CardDisplay::Outcome CardDisplay::on_command(std::uint8_t command, std::span<const std::uint8_t> data,
                                             const std::filesystem::path& folder) {
    switch (command) {
        case frame::CMD_WINDOW:
            return on_window(data, folder);
        case frame::CMD_GLINT_WINDOW: {
            auto glint = display::decode_glint(data);
            if (!glint) return {false, "malformed flashing window"};
            glint_ = std::move(glint);
            return {true, "flashing " + glint_->card_name + " in " + std::to_string(glint_->regions.size()) +
                              " regions"};
        }
        case frame::CMD_EXIT_STUNT:
            effect_list_.reset();
            return {true, "effect list ended"};
        default:
            return {false, "not a display command"};
    }
}

CardDisplay::Outcome CardDisplay::on_window(std::span<const std::uint8_t> data,
                                            const std::filesystem::path& folder) {
    const auto c = display::decode_window_command(data);
    if (!c) return {false, "malformed window block"};
    if (c->stunt_start) {
        auto list = display::decode_stunt_list(read_file(folder / std::string(display::kStuntFileName)));
        if (!list) return {false, "no effect list in Config.sys"};
        effect_list_ = std::move(list);
        return {true, "effect list of " + std::to_string(effect_list_->items.size()) + " pictures started"};
    }
    const std::string w = "window " + std::to_string(c->window);
    switch (c->op) {
        case display::WindowOp::Create: {
            if (!windows_.contains(c->window)) window_order_.push_back(c->window);
            DisplayWindow& window = windows_[c->window];
            window = DisplayWindow{c->rect, c->style, false, {}};
            return {true, w + " created"};
        }
        case display::WindowOp::AddItem: {
            const auto it = windows_.find(c->window);
            if (it == windows_.end()) return {false, "no " + w};
            it->second.items.push_back(*c->item);
            return {true, c->item->tag + " " + c->item->card_name + " added to " + w};
        }
        case display::WindowOp::DeletePicture: {
            const auto it = windows_.find(c->window);
            if (it == windows_.end()) return {false, "no " + w};
            auto& items = it->second.items;
            const auto gone =
                std::erase_if(items, [&](const display::Item& i) { return i.card_name == c->card_name; });
            if (gone == 0) return {false, c->card_name + " not in " + w};
            return {true, c->card_name + " deleted from " + w};
        }
        case display::WindowOp::Lock: {
            const auto it = windows_.find(c->window);
            if (it == windows_.end()) return {false, "no " + w};
            it->second.locked = c->word != 0;
            return {true, w + (c->word != 0 ? " locked" : " unlocked")};
        }
        case display::WindowOp::Destroy:
            if (windows_.erase(c->window) == 0) return {false, "no " + w};
            std::erase(window_order_, c->window);
            return {true, w + " destroyed"};
        case display::WindowOp::LeaveInsert:
            windows_.clear();
            window_order_.clear();
            shown_.reset();
            effect_list_.reset();
            glint_.reset();
            return {true, "insert mode left"};
        case display::WindowOp::CreateMultiArea:
            return {true, "multi-area window"};
        case display::WindowOp::InsertList:
            return {true, "list inserted into area"};
    }
    return {false, "unknown window operation"};
}

void CardDisplay::on_shown_file(const std::string& card_name) {
    shown_ = card_name;
}

CardDisplay::Rendering CardDisplay::render(const std::filesystem::path& folder, std::uint32_t width,
                                           std::uint32_t height) const {
    Rendering out{{width, height, std::vector<std::uint32_t>(std::size_t{width} * height, 0)}, {}};
    ModulePicture& screen = out.screen;
    Canvas canvas{screen, out.refused};
    const display::Rect whole{0, 0, width, height};
    if (shown_) canvas.draw(card_file(folder, "", *shown_), whole);
    if (effect_list_ && !effect_list_->items.empty())
        canvas.draw(card_file(folder, "", effect_list_->items.front().card_name),
                    effect_list_->window ? effect_list_->rect : whole);
    for (const std::uint32_t number : window_order_) {
        const DisplayWindow& window = windows_.at(number);
        if (window.items.empty()) continue;
        const display::Item& item = window.items.back();
        if (item.tag == "vod") {
            canvas.fill(window.rect, kVideoGrey);
        } else {
            canvas.draw(card_file(folder, std::to_string(number), item.card_name), window.rect);
        }
    }
    if (glint_) {
        for (const auto& r : glint_->regions)
            canvas.draw(card_file(folder, "", glint_->card_name), {r[0], r[1], r[2], r[3]});
    }
    return out;
}

bool write_picture_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    const auto tmp = std::filesystem::path(path.string() + ".part");
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) return false;
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    return !ec;
}

}  // namespace sim
