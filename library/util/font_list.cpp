#include "library/util/font_list.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <mutex>
#include <optional>

namespace kelvra::fonts {
namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::optional<std::size_t> find(const std::vector<std::string>& list, std::string_view face) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (same_name(list[i], face)) return i;
    return std::nullopt;
}

std::vector<std::string> enumerate(FcConfig* config) {
    std::vector<std::string> names;
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* set = (pattern && objects) ? FcFontList(config, pattern, objects) : nullptr;
    if (set != nullptr) {
        for (int i = 0; i < set->nfont; ++i) {
            FcChar8* family = nullptr;
            for (int n = 0; FcPatternGetString(set->fonts[i], FC_FAMILY, n, &family) == FcResultMatch; ++n)
                names.emplace_back(reinterpret_cast<const char*>(family));
        }
        FcFontSetDestroy(set);
    }
    if (objects) FcObjectSetDestroy(objects);
    if (pattern) FcPatternDestroy(pattern);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

// The family fontconfig would draw for `face`.
std::optional<std::string> substitute_for(FcConfig* config, const char* face) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(face));
    if (pattern == nullptr) return std::nullopt;
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    std::optional<std::string> family;
    FcChar8* name = nullptr;
    if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch)
        family = reinterpret_cast<const char*>(name);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return family;
}

struct FontTable {
    std::vector<std::string> names;
    std::size_t arial = 0;
};

const FontTable& table() {
    static FontTable t;
    static std::once_flag once;
    std::call_once(once, [] {
        // A configuration of our own, released afterwards: the process-wide one would stay allocated
        // for good, and the program's toolkit may use it in its own way.
        FcConfig* config = FcInitLoadConfigAndFonts();
        if (config == nullptr) return;
        t.names = enumerate(config);
        if (auto i = find(t.names, "Arial")) {
            t.arial = *i;
        } else if (auto sub = substitute_for(config, "Arial")) {
            t.arial = find(t.names, *sub).value_or(0);
        }
        FcConfigDestroy(config);
    });
    return t;
}

}  // namespace

const std::vector<std::string>& installed_fonts() {
    return table().names;
}

std::size_t font_index(std::string_view face) {
    const FontTable& t = table();
    return find(t.names, face).value_or(t.arial);
}

}  // namespace kelvra::fonts
