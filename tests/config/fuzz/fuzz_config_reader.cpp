// libFuzzer target: the CamSetup.xml reader passes of both programs.
//
//   make fuzz-build     (clang, ASan + UBSan, every library built with
//                        -fsanitize=fuzzer-no-link, in build-fuzz/)
//   mkdir -p /tmp/reader-corpus
//   build-fuzz/bin/fuzz_config_reader /tmp/reader-corpus tests/config/fuzz/corpus/reader \
//         -max_len=4096 -max_total_time=60
//
// Checks beyond "no crash": a state read from the input, written out and read
// again, comes back unchanged whenever its folder holds no '<' (which the
// file format cannot carry).
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/configuration.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    hv::PlayerConfigState player = hv::PlayerStartupDefaults();
    const hv::ReadOutcome playerOutcome = hv::ApplyConfigurationText(text, player);
    if (player.lastFolder.size() > hv::kLastFolderMax) std::abort();

    hv::SetupConfigState setup = hv::SetupStartupDefaults("/start");
    const hv::ReadOutcome setupOutcome = hv::ApplyConfigurationText(text, setup);
    if (setupOutcome != playerOutcome) std::abort();  // same required tags in both
    if (setupOutcome == hv::ReadOutcome::Fallback) {
        if (!(setup.geometry == hv::kFallbackGeometry)) std::abort();
        if (setup.settings.lastFolder != "/start") std::abort();
        return 0;
    }
    if (player.lastFolder != setup.settings.lastFolder) std::abort();
    if (setup.geometry.left == 0 && setup.geometry.width == 0) return 0;  // the writer resets these
    if (setup.settings.lastFolder.find('<') != std::string::npos) return 0;

    hv::SetupConfigState again = hv::SetupStartupDefaults("/elsewhere");
    if (hv::ApplyConfigurationText(hv::ConfigurationText(setup), again) !=
        hv::ReadOutcome::FromFile)
        std::abort();
    if (!(again.geometry == setup.geometry) || !(again.settings == setup.settings)) std::abort();
    return 0;
}
