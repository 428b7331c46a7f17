#include "library/programme/live_state.h"

#include <algorithm>

namespace kelvra::live {

std::uint32_t NameCounter::take() {
    std::lock_guard lock(mutex_);
    const std::uint32_t n = next_;
    next_ = n >= kLastPictureNumber ? 0 : n + 1;
    return n;
}

void NameCounter::reset() {
    std::lock_guard lock(mutex_);
    next_ = 0;
}

void EffectLists::append(std::string_view card_ip, const display::ItemBytes& item) {
    std::lock_guard lock(mutex_);
    auto it = lists_.find(card_ip);
    if (it == lists_.end())
        it = lists_.emplace(std::string(card_ip), std::vector<display::ItemBytes>{}).first;
    it->second.push_back(item);
}

std::vector<display::ItemBytes> EffectLists::take(std::string_view card_ip) {
    std::lock_guard lock(mutex_);
    const auto it = lists_.find(card_ip);
    if (it == lists_.end()) return {};
    std::vector<display::ItemBytes> items = std::move(it->second);
    lists_.erase(it);
    return items;
}

std::size_t EffectLists::size(std::string_view card_ip) const {
    std::lock_guard lock(mutex_);
    const auto it = lists_.find(card_ip);
    return it == lists_.end() ? 0 : it->second.size();
}

void EffectLists::clear() {
    std::lock_guard lock(mutex_);
    lists_.clear();
}

int RegionList::add(const display::Region& region) {
    std::lock_guard lock(mutex_);
    if (regions_.size() >= display::kMaxRegions) return -1;
    regions_.push_back(region);
    return static_cast<int>(regions_.size());
}

std::vector<display::Region> RegionList::take() {
    std::lock_guard lock(mutex_);
    std::vector<display::Region> out = std::move(regions_);
    regions_.clear();
    return out;
}

void RegionList::put_back(std::vector<display::Region> regions) {
    std::lock_guard lock(mutex_);
    regions.insert(regions.end(), regions_.begin(), regions_.end());
    if (regions.size() > display::kMaxRegions) regions.resize(display::kMaxRegions);
    regions_ = std::move(regions);
}

std::size_t RegionList::size() const {
    std::lock_guard lock(mutex_);
    return regions_.size();
}

void RegionList::clear() {
    std::lock_guard lock(mutex_);
    regions_.clear();
}

LiveState& live_state() {
    static LiveState* s = new LiveState;  // intentionally never freed (see header)
    return *s;
}

void reset_live_state() {
    live_state().names.reset();
    live_state().effect_lists.clear();
    live_state().regions.clear();
}

}  // namespace kelvra::live
