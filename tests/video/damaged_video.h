// Damages a real MP4 from half way through, the way that reaches the player
// as a stream error rather than a quiet early end: the sample-size entries
// of the second half of its pictures are overwritten with a size no sample
// can have, so the demuxer fails on the first picture it reads past them.
// (Zeroed, random or cut-off picture data is hidden by the decoders or ends
// the stream as if it were complete, in every container of the maker.)
// Header-only: shared by the video, playback and tool tests.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace hvtest {

// For an MP4 with one track (a video made without sound). Returns "" on
// success, else why the file could not be damaged.
inline std::string DamageMp4FromHalfway(const std::string& path) {
    std::vector<unsigned char> b;
    {
        std::ifstream in(path, std::ios::binary);
        b.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const auto u32 = [&b](size_t at) {
        return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 |
               uint32_t{b[at + 3]};
    };
    // Top-level boxes up to "moov"; the tables are inside it.
    size_t moov = 0, moovEnd = 0;
    for (size_t at = 0; at + 8 <= b.size();) {
        const uint32_t size = u32(at);
        if (size < 8 || at + size > b.size()) break;
        if (std::string(b.begin() + at + 4, b.begin() + at + 8) == "moov") {
            moov = at;
            moovEnd = at + size;
            break;
        }
        at += size;
    }
    if (moovEnd == 0) return "no moov box";
    const std::string tag = "stsz";
    for (size_t at = moov + 8; at + 20 <= moovEnd; ++at) {
        if (std::string(b.begin() + at, b.begin() + at + 4) != tag) continue;
        // stsz: size, "stsz", version/flags, uniform size, count, entries.
        const uint32_t uniform = u32(at + 8);
        const uint32_t count = u32(at + 12);
        if (uniform != 0 || count < 2 || at + 16 + size_t{4} * count > moovEnd)
            return "unexpected stsz";
        for (uint32_t k = count / 2; k < count; ++k) {
            const size_t e = at + 16 + size_t{4} * k;
            b[e] = 0x7f;  // 2 GiB: beyond any sample the demuxer accepts
            b[e + 1] = 0xff;
            b[e + 2] = 0xff;
            b[e + 3] = 0x00;
        }
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
        return out ? "" : "cannot write";
    }
    return "no stsz box";
}

}  // namespace hvtest
