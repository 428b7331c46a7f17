#include "library/util/vocabulary.h"

#include <span>

#include "platform/localisation.h"

namespace kelvra::vocabulary {
namespace {

void fill(std::vector<std::string>& list, std::span<const std::string_view> keys) {
    list.clear();
    list.reserve(keys.size());
    for (std::string_view key : keys) list.push_back(localisation::lookup(key));
}

}  // namespace

void build_display_mode_list(std::vector<std::string>& list) {
    fill(list, kDisplayModeKeys);
}
void build_effect_list(std::vector<std::string>& list) {
    fill(list, kEffectKeys);
}
void build_marquee_type_list(std::vector<std::string>& list) {
    fill(list, kMarqueeTypeKeys);
}
void build_position_list(std::vector<std::string>& list) {
    fill(list, kPositionKeys);
}
void build_clock_type_list(std::vector<std::string>& list) {
    fill(list, kClockTypeKeys);
}

void build_rotation_list(std::vector<std::string>& list) {
    fill(list, std::span(kRotationKeys).first(kLibraryRotationCount));
}
void build_rotation_list_with_mirrors(std::vector<std::string>& list) {
    fill(list, kRotationKeys);
}

void build_speed_list(std::vector<std::string>& list) {
    list.clear();
    list.reserve(kSpeedCount);
    list.push_back(localisation::lookup(kSpeedFirstKey));
    for (char digit = '2'; digit <= '9'; ++digit) list.emplace_back(1, digit);
    list.push_back(localisation::lookup(kSpeedLastKey));
}

}  // namespace kelvra::vocabulary
