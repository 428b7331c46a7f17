#include "common/display_blocks.h"

#include <algorithm>

#include "common/bytes.h"

namespace display {
namespace {

using bytes::get_u32;
using bytes::put_u32;

constexpr std::string_view kLed = "LED";
constexpr std::string_view kEnd = "END";

void put_text(Bytes& out, std::size_t offset, std::string_view text) {
    std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(offset));
}

bool fits(std::string_view text, std::size_t field) {
    return text.size() < field && text.find('\0') == std::string_view::npos;
}

Bytes window_op(WindowOp op, std::size_t size, std::uint32_t window) {
    Bytes out(size, 0);
    put_u32(out, kOpOffset, static_cast<std::uint32_t>(op));
    put_u32(out, kConstantOffset, kWindowConstant);
    put_u32(out, kWindowOffset, window);
    return out;
}

void put_rect(Bytes& out, std::size_t offset, const Rect& rect) {
    for (std::size_t i = 0; i < rect.size(); ++i) put_u32(out, offset + 4 * i, rect[i]);
}

Rect get_rect(std::span<const std::uint8_t> in, std::size_t offset) {
    Rect r{};
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = get_u32(in, offset + 4 * i);
    return r;
}

}  // namespace

std::optional<Item> decode_item(std::span<const std::uint8_t> in) {
    if (in.size() < kItemSize) return std::nullopt;
    if (bytes::field_text(in, kItemEndOffset, 8) != kEnd) return std::nullopt;
    Item item;
    item.tag = std::string(bytes::field_text(in, kItemTagOffset, kItemTagSize));
    item.card_name = std::string(bytes::field_text(in, kItemCardNameOffset, kItemNameSize));
    for (std::size_t i = 0; i < item.numbers.size(); ++i)
        item.numbers[i] = get_u32(in, kItemNumbersOffset + 4 * i);
    return item;
}

Bytes create_window(std::uint32_t window, std::uint32_t window_word, const Rect& rect, std::uint32_t style,
                    bool marker) {
    Bytes out = window_op(WindowOp::Create, kWindowBlockSize, window);
    put_u32(out, kArgumentOffset, window_word);
    put_rect(out, kCreateRectOffset, rect);
    put_u32(out, kCreateFlag1Offset, 1);
    put_u32(out, kCreateFlag2Offset, 1);
    put_u32(out, kCreateStyleOffset, style);
    put_u32(out, kCreateMarkerOffset, marker ? kWindowMarker : 0);
    return out;
}

Bytes add_item(std::uint32_t window, const ItemBytes& item) {
    Bytes out = window_op(WindowOp::AddItem, kAddItemBlockSize, window);
    std::copy(item.begin(), item.end(), out.begin() + kAddItemOffset);
    return out;
}

std::optional<Bytes> delete_picture(std::uint32_t window, std::string_view card_name) {
    if (!fits(card_name, kMaxCardName + 1)) return std::nullopt;
    Bytes out = window_op(WindowOp::DeletePicture, kWindowBlockSize, window);
    put_text(out, kArgumentOffset, card_name);
    return out;
}

Bytes lock_window(std::uint32_t window, std::uint32_t lock_word) {
    Bytes out = window_op(WindowOp::Lock, kWindowBlockSize, window);
    put_u32(out, kArgumentOffset, lock_word);
    return out;
}

Bytes destroy_window(std::uint32_t window) {
    Bytes out = window_op(WindowOp::Destroy, kWindowBlockSize, window);
    put_u32(out, kArgumentOffset, 1);
    return out;
}

Bytes leave_insert_mode() {
    return window_op(WindowOp::LeaveInsert, kWindowBlockSize, 0);
}

Bytes create_multi_area(const Rect& rect, std::uint32_t area_set, std::uint32_t area_word) {
    Bytes out(kMultiAreaBlockSize, 0);
    put_u32(out, kOpOffset, static_cast<std::uint32_t>(WindowOp::CreateMultiArea));
    put_u32(out, kAreaSetOffset, area_set);
    put_rect(out, kAreaRectOffset, rect);
    put_u32(out, kAreaFlagOffset, 1);
    put_u32(out, kAreaWordOffset, area_word);
    put_u32(out, kAreaFlag2Offset, 1);
    put_u32(out, kAreaFlag3Offset, 1);
    return out;
}

Bytes insert_list(std::uint32_t list_word) {
    Bytes out(kInsertListBlockSize, 0);
    put_u32(out, kOpOffset, static_cast<std::uint32_t>(WindowOp::InsertList));
    put_u32(out, kListWordOffset, list_word);
    return out;
}

Bytes stunt_start() {
    Bytes out(kStuntStartSize, 0);
    put_u32(out, kStuntStartWordOffset, kStuntStartWord);
    put_text(out, kStuntStartNameOffset, kStuntFileName);
    return out;
}

std::optional<WindowCommand> decode_window_command(std::span<const std::uint8_t> in) {
    WindowCommand c;
    if (in.size() == kStuntStartSize) {
        if (get_u32(in, kStuntStartWordOffset) != kStuntStartWord ||
            bytes::field_text(in, kStuntStartNameOffset, kStuntStartSize - kStuntStartNameOffset) !=
                kStuntFileName)
            return std::nullopt;
        c.stunt_start = true;
        return c;
    }
    if (in.size() < kInsertListBlockSize) return std::nullopt;
    c.op = static_cast<WindowOp>(get_u32(in, kOpOffset));
    switch (c.op) {
        case WindowOp::InsertList:
            if (in.size() != kInsertListBlockSize) return std::nullopt;
            c.word = get_u32(in, kListWordOffset);
            return c;
        case WindowOp::CreateMultiArea:
            if (in.size() != kMultiAreaBlockSize) return std::nullopt;
            c.area_set = get_u32(in, kAreaSetOffset);
            c.rect = get_rect(in, kAreaRectOffset);
            c.word = get_u32(in, kAreaWordOffset);
            return c;
        case WindowOp::AddItem:
            if (in.size() != kAddItemBlockSize) return std::nullopt;
            c.window = get_u32(in, kWindowOffset);
            c.item = decode_item(in.subspan(kAddItemOffset));
            if (!c.item) return std::nullopt;
            return c;
        case WindowOp::Create:
        case WindowOp::DeletePicture:
        case WindowOp::Lock:
        case WindowOp::Destroy:
        case WindowOp::LeaveInsert:
            break;
        default:
            return std::nullopt;
    }
    if (in.size() != kWindowBlockSize) return std::nullopt;
    c.window = get_u32(in, kWindowOffset);
    if (c.op == WindowOp::DeletePicture) {
        c.card_name = std::string(bytes::field_text(in, kArgumentOffset, kItemNameSize));
    } else {
        c.word = get_u32(in, kArgumentOffset);
    }
    if (c.op == WindowOp::Create) {
        c.rect = get_rect(in, kCreateRectOffset);
        c.style = get_u32(in, kCreateStyleOffset);
        c.marker = get_u32(in, kCreateMarkerOffset) == kWindowMarker;
    }
    return c;
}

Bytes encode_stunt_list(bool marker, bool window, const Rect& rect, std::span<const ItemBytes> items) {
    Bytes out(stunt_list_size(items.size()), 0);
    put_text(out, kStuntMarkerOffset, kLed);
    put_u32(out, kStuntSwitchOffset, marker ? kWindowMarker : 0);
    if (window) {
        put_u32(out, kStuntWindowOffset, kStuntWindowMarker);
        put_rect(out, kStuntRectOffset, rect);
    }
    std::size_t at = kStuntItemsOffset;
    for (const auto& item : items) {
        std::copy(item.begin(), item.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
        at += kItemSize;
    }
    put_text(out, at, kEnd);
    const std::size_t sum_at = out.size() - 4;
    put_u32(out, sum_at, bytes::word_sum(std::span<const std::uint8_t>(out).first(sum_at)));
    return out;
}

std::optional<StuntList> decode_stunt_list(std::span<const std::uint8_t> in) {
    if (in.size() < stunt_list_size(0) || (in.size() - stunt_list_size(0)) % kItemSize != 0)
        return std::nullopt;
    const std::size_t n = (in.size() - stunt_list_size(0)) / kItemSize;
    const std::size_t end_at = kStuntItemsOffset + kItemSize * n;
    if (bytes::field_text(in, kStuntMarkerOffset, 8) != kLed || bytes::field_text(in, end_at, 8) != kEnd)
        return std::nullopt;
    if (bytes::word_sum(in.first(in.size() - 4)) != get_u32(in, in.size() - 4)) return std::nullopt;
    StuntList list;
    list.marker = get_u32(in, kStuntSwitchOffset) == kWindowMarker;
    list.window = get_u32(in, kStuntWindowOffset) == kStuntWindowMarker;
    list.rect = get_rect(in, kStuntRectOffset);
    for (std::size_t i = 0; i < n; ++i) {
        auto item = decode_item(in.subspan(kStuntItemsOffset + kItemSize * i, kItemSize));
        if (!item) return std::nullopt;
        list.items.push_back(std::move(*item));
    }
    return list;
}

std::optional<Bytes> encode_glint(std::string_view card_name, std::uint32_t flash,
                                  std::span<const Region> regions) {
    if (regions.size() > kMaxRegions || !fits(card_name, kGlintNameSize)) return std::nullopt;
    Bytes out(kGlintSize, 0);
    put_u32(out, kGlintKindOffset, kGlintKind);
    put_text(out, kGlintNameOffset, card_name);
    put_u32(out, kGlintCountOffset, static_cast<std::uint32_t>(regions.size()));
    put_u32(out, kGlintFlashOffset, flash);
    for (std::size_t r = 0; r < regions.size(); ++r) {
        for (std::size_t w = 0; w < regions[r].size(); ++w)
            put_u32(out, kGlintRegionsOffset + kRegionSize * r + 4 * w, regions[r][w]);
    }
    return out;
}

std::optional<Glint> decode_glint(std::span<const std::uint8_t> in) {
    if (in.size() != kGlintSize) return std::nullopt;
    const std::uint32_t count = get_u32(in, kGlintCountOffset);
    if (count > kMaxRegions) return std::nullopt;
    Glint g;
    g.card_name = std::string(bytes::field_text(in, kGlintNameOffset, kGlintNameSize));
    g.flash = get_u32(in, kGlintFlashOffset);
    for (std::size_t r = 0; r < count; ++r) {
        Region region{};
        for (std::size_t w = 0; w < region.size(); ++w)
            region[w] = get_u32(in, kGlintRegionsOffset + kRegionSize * r + 4 * w);
        g.regions.push_back(region);
    }
    return g;
}

}  // namespace display
