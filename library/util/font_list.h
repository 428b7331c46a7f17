// The installed font families (fontconfig's list, every family name a font carries), enumerated once
// per process and sorted, and the lookup of a face name in it.
// Threading: the list is built once under std::call_once; safe from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kelvra::fonts {

const std::vector<std::string>& installed_fonts();

// The index of `face` in installed_fonts() (names compare without regard to ASCII case). A face that
// is not installed gives the index of "Arial", or, as "Arial" itself is seldom installed here, of the
// family fontconfig puts in its place (its metric-compatible substitute); 0 when there is neither.
std::size_t font_index(std::string_view face);

}  // namespace kelvra::fonts
