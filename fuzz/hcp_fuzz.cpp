// ".hcp" loading: a file of any bytes chosen in the main window. It is taken, taken as unchecked, or
// refused with its message; a refused file leaves the working record, its path and its source as they
// were.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/message_service.h"
#include "screenconfig/record_files.h"
#include "screenconfig/screen_files.h"
#include "screenconfig/working_set.h"
#include "fuzz/require.h"

namespace fs = std::filesystem;

namespace {

// Counts what would be shown and answers every question with Yes.
class QuietMessages : public platform::MessageService {
  public:
    platform::MessageReply show(const std::string&, const std::string&, platform::MessageIcon,
                                platform::MessageButtons) override {
        ++shown;
        return platform::MessageReply::Yes;
    }
    int shown = 0;
};

QuietMessages g_messages;
fs::path g_file;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/hcp_fuzz.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    g_file = fs::path(pattern) / "screen.hcp";
    platform::install_message_service(&g_messages);
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(g_file.parent_path(), ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(g_file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const auto load = screenconfig::load_hcp(g_file);
    using screenconfig::LoadStatus;
    FUZZ_REQUIRE(size >= screenconfig::kParamsSize
                     ? (load.status == LoadStatus::Ok || load.status == LoadStatus::SumMismatch)
                     : load.status == LoadStatus::TooShort);
    if (load.status == LoadStatus::Ok) FUZZ_REQUIRE(load.record.sum_matches());

    // The window's load: a record that was there before must survive a refused file.
    // One working set for every input: it holds a 2 MB image, too much to make afresh each time.
    static screenconfig::WorkingSet ws;
    ws.params = {};
    ws.unchecked = false;
    ws.params.set(screenconfig::ParamsField::wordSum, 0x12345678);
    ws.hcp_path = "/before.hcp";
    ws.source = screenconfig::ParamSource::Wizard;
    const auto before = ws.params;
    const int shown = g_messages.shown;
    (void)screenconfig::load_hcp_file(ws, true, [] { return std::optional<fs::path>(g_file); });
    if (size < screenconfig::kParamsSize) {
        FUZZ_REQUIRE(ws.params == before && ws.hcp_path == "/before.hcp");
        FUZZ_REQUIRE(ws.source == screenconfig::ParamSource::Wizard);
        FUZZ_REQUIRE(g_messages.shown > shown);
    } else {
        FUZZ_REQUIRE(ws.source == screenconfig::ParamSource::File && ws.hcp_path == g_file);
        FUZZ_REQUIRE(ws.unchecked == !ws.params.sum_matches());
    }
    return 0;
}
