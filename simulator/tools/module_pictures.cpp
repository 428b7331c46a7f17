// ledcard-sim-pictures PROFILE FOLDER: writes the pictures of docs/virtual-module.md for the module in
// PROFILE: each smart-setup pattern with the settings that match the module and with a wrong one.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "common/row_decode.h"
#include "simulator/led_module.h"

namespace {

bool write(const std::string& folder, const std::string& name, const sim::ModuleProfile& m,
           const sim::ModuleInputs& in) {
    const auto png = sim::encode_png(sim::render_module(m, in));
    std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    if (!out) std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), name.c_str());
    return static_cast<bool>(out);
}

sim::ModuleInputs smart(const sim::ModuleProfile& m, std::uint32_t pattern, std::uint32_t value = 0,
                        std::uint32_t value2 = 0) {
    sim::ModuleInputs in;
    in.hub_type = m.hub;
    in.decode_type = m.decoder;
    in.pattern = pattern;
    in.value = value;
    in.value2 = value2;
    in.rows = sim::matching_settings(m);
    return in;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PROFILE FOLDER\n", argv[0]);
        return 2;
    }
    std::ifstream file(argv[1]);
    std::stringstream text;
    text << file.rdbuf();
    sim::ModuleProfile m;
    if (const auto err = sim::parse_module_profile(text.str(), m); !file || !err.empty()) {
        std::fprintf(stderr, "%s: %s\n", argv[1], file ? err.c_str() : "cannot read");
        return 1;
    }
    const std::string folder = argv[2];
    bool ok = true;

    ok &= write(folder, "virtual-module-colour.png", m, smart(m, 3, 0x0000FF));  // card red
    ok &= write(folder, "virtual-module-rows.png", m, smart(m, 4));
    ok &= write(folder, "virtual-module-oe-dim.png", m, smart(m, 2, 1 - m.oe_polarity));

    // The line-cross check with the module's own entry, and with the first entry of its list that is
    // not its own.
    ok &= write(folder, "virtual-module-cross.png", m, smart(m, 6));
    const auto list = row_decode::standard_list(m.line_group, m.scan());
    for (const auto& e : list) {
        if (e.order == m.decode() && e.order_class == m.decode_class) continue;
        auto wrong = smart(m, 6);
        const auto words = row_decode::words_of(e.order);
        wrong.rows.decode_word_a = words.a;
        wrong.rows.decode_word_b = words.b;
        wrong.rows.decode_class = e.order_class;
        ok &= write(folder, "virtual-module-cross-wrong.png", m, wrong);
        break;
    }

    // A traced point with the grid-tracing settings: point 3 of the first row address's chain.
    auto traced = smart(m, 5, 1023 - 2, 0);
    traced.point_on = true;
    traced.rows = {0x76543210, 0xDCBA98, 0, 0, 0};
    ok &= write(folder, "virtual-module-trace.png", m, traced);

    // The test line over the wizard's limited size, with the module's point flags and with none.
    const std::uint32_t w = m.width < 32 ? m.width : 32, h = m.height < 16 ? m.height : 16;
    ok &= write(folder, "virtual-module-test-line.png", m, smart(m, 8, w, h));
    auto bent = smart(m, 8, w, h);
    bent.rows.point_flags = bent.rows.point_flags == 0 ? 1 : 0;
    ok &= write(folder, "virtual-module-test-line-bent.png", m, bent);
    return ok ? 0 : 1;
}
