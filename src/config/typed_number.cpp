#include "config/typed_number.h"

namespace hv {

TypedNumber ReadTypedNumber(std::string_view text, int32_t lo, int32_t hi) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    TypedNumber n;
    if (text.empty()) {
        n.state = TypedState::Intermediate;
        return n;
    }
    bool negative = false;
    if (text.front() == '-' || text.front() == '+') {
        negative = text.front() == '-';
        if (negative ? lo >= 0 : hi < 0) return n;
        text.remove_prefix(1);
        if (text.empty()) {
            n.state = TypedState::Intermediate;
            return n;
        }
    }
    // Ten digits hold every 32-bit value; the sum cannot overflow 64 bits.
    if (text.size() > 10) return n;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return n;
        v = v * 10 + (c - '0');
    }
    if (negative) v = -v;
    if (v >= lo && v <= hi) {
        n.state = TypedState::Acceptable;
        n.value = static_cast<int32_t>(v);
    } else if (lo != hi && !((v >= 0 && v > hi) || (v < 0 && v < lo))) {
        n.state = TypedState::Intermediate;
    }
    return n;
}

}  // namespace hv
