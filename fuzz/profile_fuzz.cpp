// Module profile files and library archives: files of any bytes that a technician imports or finds in
// the library folder. A profile is read whole or refused with a named error; what is read writes back
// to the same profile; an archive is read or refused, and what it holds writes back to the same files.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/require.h"
#include "profiles/profile_archive.h"
#include "profiles/profile_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const profiles::ParsedProfile parsed = profiles::parse_profile(bytes);
    if (parsed.ok()) {
        FUZZ_REQUIRE(parsed.profile.record.sum_matches());
        FUZZ_REQUIRE(profiles::valid_name(parsed.profile.name));
        const profiles::ParsedProfile again =
            profiles::parse_profile(profiles::serialise_profile(parsed.profile));
        FUZZ_REQUIRE(again.ok() && again.profile == parsed.profile);
    } else {
        FUZZ_REQUIRE(!parsed.detail.empty());
    }

    const profiles::ReadArchive archive = profiles::read_archive(bytes);
    if (archive.error == profiles::ArchiveError::None) {
        bool short_names = true;
        for (const auto& m : archive.members)
            short_names = short_names && m.name.size() <= profiles::kMaxMemberName;
        if (short_names) {
            const auto back = profiles::read_archive(profiles::write_archive(archive.members));
            FUZZ_REQUIRE(back.error == profiles::ArchiveError::None &&
                         back.members.size() == archive.members.size());
            for (std::size_t i = 0; i < back.members.size(); ++i)
                FUZZ_REQUIRE(back.members[i].name == archive.members[i].name &&
                             back.members[i].bytes == archive.members[i].bytes);
        }
    }
    return 0;
}
