// A sealed record with every field the words read set, and its profile.
#pragma once

#include "profiles/profile_format.h"

namespace profiles_test {

inline screenconfig::ScreenParams sample_record(std::uint32_t colour = 2) {
    using screenconfig::ParamsField;
    screenconfig::ScreenParams r;
    r.set(ParamsField::magic, screenconfig::kLedMarker);
    r.set(ParamsField::hubType, 1);
    r.set(ParamsField::decodeType, 2);
    r.set(ParamsField::dataPolarity, 1);
    r.set(ParamsField::oePolarity, 0);
    r.set(ParamsField::colourOrder, colour);
    r.set(ParamsField::lineGroup, 8);
    r.set(ParamsField::scanCode, 1);  // 1/8
    r.set(ParamsField::lineInterval, 3);
    r.set(ParamsField::decodeOrder, 2);
    r.set(ParamsField::decodeWordA, 0x89abcdef);
    r.set(ParamsField::decodeWordB, 0x01234567);
    r.set(ParamsField::pointFlags, 0x5);
    r.set(ParamsField::endMarker, screenconfig::kEndMarker);
    r.seal();
    return r;
}

inline profiles::Profile sample_profile(std::string name = "32x16 1/8") {
    profiles::Profile p = profiles::make_profile(sample_record(), std::move(name));
    p.maker = "Qiangli";
    p.model = "P10-2121 outdoor";
    p.pitch = "P10";
    p.width = 32;
    p.height = 16;
    p.notes = "column 17 dark on the first batch\nback\\slash";
    p.date = "2026-12-11";
    return p;
}

}  // namespace profiles_test
