#include "library/programme/card_pictures.h"

#include <algorithm>
#include <cctype>

#include "common/bytes.h"
#include "library/imaging/codecs.h"
#include "library/programme/records.h"

namespace kelvra::live {

std::string lower_extension(std::string_view path) {
    const std::size_t name_at = path.find_last_of("/\\");
    const std::string_view name = name_at == std::string_view::npos ? path : path.substr(name_at + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) return {};
    std::string ext(name.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

std::optional<image::PictureType> picture_kind(std::string_view path) {
    const std::string ext = lower_extension(path);
    if (ext == "bmp") return image::PictureType::Bmp;
    if (ext == "jpg" || ext == "jpeg") return image::PictureType::Jpeg;
    if (ext == "gif") return image::PictureType::Gif;
    return std::nullopt;
}

bool is_avi(std::string_view path) {
    return lower_extension(path) == "avi";
}

std::string_view picture_tag(image::PictureType kind, bool to_gif) {
    if (to_gif) return "gif";
    switch (kind) {
        case image::PictureType::Bmp:
            return "bmp";
        case image::PictureType::Jpeg:
            return "jpg";
        case image::PictureType::Gif:
            break;
    }
    return "gif";
}

std::string card_picture_name(std::uint32_t number, image::PictureType kind, bool to_gif) {
    return "Pic" + std::to_string(number) + "." + std::string(picture_tag(kind, to_gif));
}

CardPicture load_card_picture(std::string_view path, image::PictureType kind, bool to_gif) {
    const bool bmp = kind == image::PictureType::Bmp;
    auto loaded = imaging::load_picture_for_sending(path, bmp && to_gif);
    if (loaded.too_large) return {std::nullopt, true};
    // The loader keeps a BMP it cannot convert as it is; here that would be a file the card cannot
    // read under a ".gif" name, or a BMP the card may not take.
    if (!loaded.bytes || (bmp && !loaded.converted)) return {};
    return {std::move(loaded.bytes), false};
}

display::ItemBytes card_play_item(std::string_view tag, const programme::PlayNumbers& n,
                                  std::string_view card_name) {
    programme::PlayItem item;
    bytes::cut_text(item.tag, tag);
    item.loop_count = n.loop_count;
    item.entry_effect = n.entry_effect;
    item.clear_effect = n.clear_effect;
    item.entry_speed = n.entry_speed;
    item.clear_speed = n.clear_speed;
    item.stay_seconds = n.stay_seconds;
    item.display_mode = n.display_mode;
    bytes::cut_text(item.file_name_again, card_name);
    return programme::encode(item);
}

}  // namespace kelvra::live
