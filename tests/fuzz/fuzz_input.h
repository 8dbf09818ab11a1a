// What the libFuzzer targets share: reading typed values off the input and
// aborting on a broken promise with the condition and its line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Aborts with the failed condition and its line, for the crash report.
#define Check(cond)                                                               \
    do {                                                                          \
        if (!(cond)) {                                                            \
            std::fprintf(stderr, "check failed, line %d: %s\n", __LINE__, #cond); \
            std::abort();                                                         \
        }                                                                         \
    } while (0)

namespace hv::fuzz {

// Values taken off the front of the input; past its end they read as zero.
class Reader {
  public:
    Reader(const uint8_t* d, size_t n) : d_(d), n_(n) {}
    template <class T>
    T Get() {
        T v{};
        uint8_t b[sizeof(T)] = {};
        for (size_t i = 0; i < sizeof(T); ++i) b[i] = pos_ < n_ ? d_[pos_++] : 0;
        std::memcpy(&v, b, sizeof(T));
        return v;
    }
    // What is left of the input.
    const uint8_t* Rest(size_t* n) const {
        *n = n_ - pos_;
        return d_ + pos_;
    }

  private:
    const uint8_t* d_;
    size_t n_;
    size_t pos_ = 0;
};

}  // namespace hv::fuzz
