// libFuzzer target: the number conversion, checked against the C library's
// strtod (C locale) on inputs made only of decimal-number characters, where
// both follow the same grammar. Build and run as fuzz_config_reader.cpp says,
// with target fuzz_number_conversion and corpus tests/config/fuzz/corpus/number.
#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "config/number_conversion.h"

namespace {

bool OnlyDecimalCharacters(std::string_view s) {
    return s.find_first_not_of("0123456789+-.eE \t\r\n") == std::string_view::npos;
}

int32_t Reference(const std::string& s) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const double v = strtod_l(s.c_str(), nullptr, c);
    const double r = std::nearbyint(v);
    if (r >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (r <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int32_t value = hv::ConvertNumber(text);
    // Every integer the writer prints reads back as itself.
    if (hv::ConvertNumber(std::to_string(value)) != value) std::abort();
    if (OnlyDecimalCharacters(text) && value != Reference(text)) std::abort();
    return 0;
}
