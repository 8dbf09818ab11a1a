// libFuzzer target: the 360-metadata injector on MP4 files whose box sizes
// and nesting are mutated from a small file the project's writer muxed
// (tests/fuzz/corpus/spherical_inject). The input is the whole file; its
// length picks one of a few layouts.
//
// The injector must refuse what it cannot place. When it accepts, the file
// it would write (the input up to the rewrite's offset, then the rewrite)
// is checked, and any violation aborts:
//  - the top-level boxes add up to the file's size;
//  - every box on the way to the video sample entry (moov, trak, mdia,
//    minf, stbl, stsd, the entry) holds children that add up to its size;
//  - the v1 uuid box ends the video track and st3d + sv3d end the sample
//    entry, each box of theirs within its parent;
//  - every chunk offset of the input that points into media data still
//    finds the same bytes there, and the chunk offset tables still hold
//    the same values.
// A structure-aware mutator changes box sizes (by a little, to 0, 1 or
// past the parent), box types, and cuts, duplicates or moves whole boxes,
// besides libFuzzer's byte-level mutations.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "export/spherical_metadata.h"
#include "fuzz_input.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Be32(const Bytes& b, uint64_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
           b[at + 3];
}

void SetBe32(uint8_t* b, uint32_t v) {
    b[0] = static_cast<uint8_t>(v >> 24);
    b[1] = static_cast<uint8_t>(v >> 16);
    b[2] = static_cast<uint8_t>(v >> 8);
    b[3] = static_cast<uint8_t>(v);
}

bool IsContainer(const std::string& t) {
    return t == "moov" || t == "trak" || t == "mdia" || t == "minf" || t == "stbl" || t == "stsd" ||
           t == "edts" || t == "dinf" || t == "udta" || t == "avc1" || t == "hvc1" || t == "sv3d" ||
           t == "proj";
}

// Every box of the file reached through containers whose children add up
// (a container that does not is not descended into), in file order.
void Collect(const Bytes& d, const hv::Mp4Box& parent, std::vector<hv::Mp4Box>* out, int depth) {
    if (depth > 12) return;
    std::vector<hv::Mp4Box> kids;
    const uint64_t from = parent.type.empty() ? 0 : hv::Mp4ChildrenOffset(parent);
    if (!hv::ListMp4Boxes(d, from, parent.offset + parent.size, &kids)) return;
    for (const hv::Mp4Box& k : kids) {
        out->push_back(k);
        if (IsContainer(k.type)) Collect(d, k, out, depth + 1);
    }
}

std::vector<hv::Mp4Box> AllBoxes(const Bytes& d) {
    std::vector<hv::Mp4Box> out;
    Collect(d, hv::Mp4Box{"", 0, d.size(), 0}, &out, 0);
    return out;
}

// The chunk offsets of every stco / co64 box, in file order.
std::vector<uint64_t> ChunkOffsets(const Bytes& d, const std::vector<hv::Mp4Box>& boxes) {
    std::vector<uint64_t> offsets;
    for (const hv::Mp4Box& b : boxes) {
        if (b.type != "stco" && b.type != "co64") continue;
        const uint64_t end = b.offset + b.size;
        if (b.contentOffset + 8 > end) continue;
        const uint64_t count = Be32(d, b.contentOffset + 4);
        const uint64_t width = b.type == "stco" ? 4 : 8;
        uint64_t at = b.contentOffset + 8;
        for (uint64_t i = 0; i < count && at + width <= end; ++i, at += width) {
            offsets.push_back(width == 4 ? Be32(d, at)
                                         : (uint64_t{Be32(d, at)} << 32) | Be32(d, at + 4));
        }
    }
    return offsets;
}

// The first child of `type` of `parent`, whose children must add up.
hv::Mp4Box Child(const Bytes& d, const hv::Mp4Box& parent, const char* type) {
    std::vector<hv::Mp4Box> kids;
    Check(hv::ListMp4Boxes(d, hv::Mp4ChildrenOffset(parent), parent.offset + parent.size, &kids));
    for (const hv::Mp4Box& k : kids) {
        if (k.type == type) return k;
    }
    std::abort();
}

// The box of `out` on the path to the video sample entry, which must hold
// the inserted boxes last; `in` is the input's box at the same place.
void CheckPath(const Bytes& out, const Bytes& in, uint64_t moovOffset) {
    std::vector<hv::Mp4Box> top;
    Check(hv::ListMp4Boxes(out, 0, out.size(), &top));
    const hv::Mp4Box* moov = nullptr;
    for (const hv::Mp4Box& b : top) {
        if (b.offset == moovOffset) moov = &b;
    }
    Check(moov != nullptr && moov->type == "moov");
    std::vector<hv::Mp4Box> tracks;
    Check(hv::ListMp4Boxes(out, moov->contentOffset, moov->offset + moov->size, &tracks));
    bool marked = false;
    for (const hv::Mp4Box& trak : tracks) {
        if (trak.type != "trak") continue;
        std::vector<hv::Mp4Box> kids;
        if (!hv::ListMp4Boxes(out, hv::Mp4ChildrenOffset(trak), trak.offset + trak.size, &kids) ||
            kids.empty())
            continue;
        // The v1 box: the uuid and the XML document.
        const hv::Mp4Box& last = kids.back();
        if (last.type != "uuid" || last.size < 24 ||
            std::memcmp(&out[last.contentOffset], "\xff\xcc\x82\x63", 4) != 0)
            continue;
        const hv::Mp4Box mdia = Child(out, trak, "mdia");
        const hv::Mp4Box minf = Child(out, mdia, "minf");
        const hv::Mp4Box stbl = Child(out, minf, "stbl");
        const hv::Mp4Box stsd = Child(out, stbl, "stsd");
        std::vector<hv::Mp4Box> entries;
        Check(hv::ListMp4Boxes(out, stsd.contentOffset + 8, stsd.offset + stsd.size, &entries));
        Check(!entries.empty());
        const hv::Mp4Box& entry = entries[0];
        std::vector<hv::Mp4Box> inEntry;
        Check(hv::ListMp4Boxes(out, hv::Mp4ChildrenOffset(entry), entry.offset + entry.size,
                               &inEntry));
        Check(inEntry.size() >= 2);
        const hv::Mp4Box& st3d = inEntry[inEntry.size() - 2];
        const hv::Mp4Box& sv3d = inEntry.back();
        Check(st3d.type == "st3d" && st3d.size == 13 && sv3d.type == "sv3d");
        std::vector<hv::Mp4Box> inSv3d, inProj;
        Check(hv::ListMp4Boxes(out, hv::Mp4ChildrenOffset(sv3d), sv3d.offset + sv3d.size, &inSv3d));
        Check(inSv3d.size() == 2 && inSv3d[0].type == "svhd" && inSv3d[1].type == "proj");
        Check(hv::ListMp4Boxes(out, hv::Mp4ChildrenOffset(inSv3d[1]),
                               inSv3d[1].offset + inSv3d[1].size, &inProj));
        Check(inProj.size() == 2 && inProj[0].type == "prhd" && inProj[1].type == "equi");
        marked = true;
    }
    Check(marked);
    (void)in;
}

// Start and end of the media data boxes (contents) of a file.
std::vector<std::pair<uint64_t, uint64_t>> MediaRanges(const Bytes& d) {
    std::vector<hv::Mp4Box> top;
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    if (!hv::ListMp4Boxes(d, 0, d.size(), &top)) return ranges;
    for (const hv::Mp4Box& b : top) {
        if (b.type == "mdat") ranges.emplace_back(b.contentOffset, b.offset + b.size);
    }
    return ranges;
}

hv::SphericalLayout LayoutFor(size_t size) {
    switch (size % 4) {
        case 0:
            return {64, 32, 0, 32};
        case 1:
            return {4000, 2000, 500, 1000};
        case 2:
            return {64, 0, -5, 7};
        default:
            return {2147483647, 2147483647, 2147483647, -2147483647};
    }
}

// Box headers the mutator can reach: offset and end of every box listed,
// also in containers whose children do not add up (as far as they go).
void Headers(const uint8_t* d, size_t size, uint64_t begin, uint64_t end, int depth,
             std::vector<std::pair<uint64_t, uint64_t>>* out) {
    uint64_t at = begin;
    while (depth < 10 && at + 8 <= end && out->size() < 256) {
        uint64_t n = (uint64_t{d[at]} << 24) | (uint64_t{d[at + 1]} << 16) |
                     (uint64_t{d[at + 2]} << 8) | d[at + 3];
        if (n == 0) n = end - at;
        if (n < 8 || n > end - at) return;
        out->emplace_back(at, at + n);
        const std::string type(reinterpret_cast<const char*>(d + at + 4), 4);
        uint64_t from = at + 8;
        if (type == "stsd") from += 8;
        if (type == "avc1") from += 78;
        if (IsContainer(type) && from <= at + n) Headers(d, size, from, at + n, depth + 1, out);
        at += n;
    }
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned int seed) {
    std::srand(seed);
    std::vector<std::pair<uint64_t, uint64_t>> boxes;
    Headers(data, size, 0, size, 0, &boxes);
    if (boxes.empty() || std::rand() % 4 == 0) return LLVMFuzzerMutate(data, size, maxSize);
    const auto [at, end] = boxes[static_cast<size_t>(std::rand()) % boxes.size()];
    const uint32_t old = (uint32_t{data[at]} << 24) | (uint32_t{data[at + 1]} << 16) |
                         (uint32_t{data[at + 2]} << 8) | data[at + 3];
    switch (std::rand() % 6) {
        case 0: {  // size a little off, or a special value
            static const int32_t kDelta[] = {-8, -4, -1, 1, 4, 8, 16};
            const int pick = std::rand() % 10;
            uint32_t v = old + static_cast<uint32_t>(kDelta[pick % 7]);
            if (pick == 7) v = 0;
            if (pick == 8) v = 1;
            if (pick == 9) v = 0xffffffffu;
            SetBe32(data + at, v);
            return size;
        }
        case 1: {  // another box's type
            const auto other = boxes[static_cast<size_t>(std::rand()) % boxes.size()];
            std::memcpy(data + at + 4, data + other.first + 4, 4);
            return size;
        }
        case 2: {  // cut the box out, parents left as they were
            std::memmove(data + at, data + end, size - end);
            return size - (end - at);
        }
        case 3:
        case 4: {  // a copy of the box somewhere else (a box start or the end)
            const uint64_t len = end - at;
            if (size + len > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
            const auto where = boxes[static_cast<size_t>(std::rand()) % boxes.size()];
            const uint64_t to = std::rand() % 3 == 0 ? size : where.first;
            std::vector<uint8_t> copy(data + at, data + end);
            std::memmove(data + to + len, data + to, size - to);
            std::memcpy(data + to, copy.data(), len);
            return size + len;
        }
        default: {  // move the box to the end of the file
            std::vector<uint8_t> copy(data + at, data + end);
            std::memmove(data + at, data + end, size - end);
            std::memcpy(data + size - copy.size(), copy.data(), copy.size());
            return size;
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Bytes in(data, data + size);
    hv::Mp4Rewrite rewrite;
    rewrite.offset = 12345;
    std::string error;
    if (!hv::PlanSphericalMetadata(in, "fuzz.mp4", LayoutFor(size), &rewrite, &error)) {
        Check(!error.empty() && rewrite.offset == 12345 && rewrite.bytes.empty());
        return 0;
    }
    Check(rewrite.offset <= in.size() && rewrite.bytes.size() >= in.size() - rewrite.offset);
    Bytes out(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(rewrite.offset));
    out.insert(out.end(), rewrite.bytes.begin(), rewrite.bytes.end());

    CheckPath(out, in, rewrite.offset);

    // The media stays where the chunk offsets say it is.
    const std::vector<hv::Mp4Box> inBoxes = AllBoxes(in);
    const std::vector<uint64_t> before = ChunkOffsets(in, inBoxes);
    const std::vector<uint64_t> after = ChunkOffsets(out, AllBoxes(out));
    Check(before == after);
    for (const auto& [begin, end] : MediaRanges(in)) {
        for (uint64_t o : before) {
            if (o < begin || o >= end) continue;
            Check(end <= out.size() && std::memcmp(&in[o], &out[o], end - o) == 0);
        }
    }
    return 0;
}
