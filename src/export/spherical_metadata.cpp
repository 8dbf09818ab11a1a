#include "export/spherical_metadata.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace hv {

namespace {

constexpr uint8_t kSphericalUuid[16] = {0xff, 0xcc, 0x82, 0x63, 0xf8, 0x55, 0x4a, 0x93,
                                        0x88, 0x14, 0x58, 0x7a, 0x02, 0x52, 0x1f, 0xdd};
constexpr const char* kSoftware = "hvtool export";

void Put32(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v >> 24));
    b.push_back(static_cast<uint8_t>(v >> 16));
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}

uint32_t Get32(const std::vector<uint8_t>& b, uint64_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
           b[at + 3];
}

void Set32(std::vector<uint8_t>& b, uint64_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 24);
    b[at + 1] = static_cast<uint8_t>(v >> 16);
    b[at + 2] = static_cast<uint8_t>(v >> 8);
    b[at + 3] = static_cast<uint8_t>(v);
}

// A box of `type` around `body`.
std::vector<uint8_t> Box(const char* type, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> b;
    Put32(b, static_cast<uint32_t>(8 + body.size()));
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// A full box: version 0, flags 0.
std::vector<uint8_t> FullBox(const char* type, std::vector<uint8_t> body) {
    body.insert(body.begin(), 4, 0);
    return Box(type, body);
}

// Bounds as 0.32 fixed point fractions of the full height.
uint32_t Fraction32(int64_t part, int64_t whole) {
    if (whole <= 0 || part <= 0) return 0;
    const double f = std::ldexp(static_cast<double>(part) / whole, 32);
    return f >= 4294967295.0 ? 0xffffffffu : static_cast<uint32_t>(std::llround(f));
}

bool IsVisualSampleEntry(const std::string& t) {
    return t == "avc1" || t == "avc3" || t == "hvc1" || t == "hev1" || t == "mp4v" || t == "vp09" ||
           t == "av01";
}

// The child of `parent` of `type` (first one), or false.
bool Child(const std::vector<uint8_t>& data, const Mp4Box& parent, const char* type, Mp4Box* out) {
    std::vector<Mp4Box> boxes;
    if (!ListMp4Boxes(data, Mp4ChildrenOffset(parent), parent.offset + parent.size, &boxes))
        return false;
    for (const Mp4Box& b : boxes) {
        if (b.type == type) {
            *out = b;
            return true;
        }
    }
    return false;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* data, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read '" + path + "'";
        return false;
    }
    data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

bool ListMp4Boxes(const std::vector<uint8_t>& data, uint64_t begin, uint64_t end,
                  std::vector<Mp4Box>* boxes) {
    boxes->clear();
    if (end > data.size()) return false;
    uint64_t at = begin;
    while (at + 8 <= end) {
        Mp4Box b;
        b.offset = at;
        b.size = Get32(data, at);
        b.type.assign(reinterpret_cast<const char*>(&data[at + 4]), 4);
        b.contentOffset = at + 8;
        if (b.size == 1) {
            if (at + 16 > end) return false;
            b.size = (uint64_t{Get32(data, at + 8)} << 32) | Get32(data, at + 12);
            b.contentOffset = at + 16;
        } else if (b.size == 0) {
            b.size = end - at;
        }
        if (b.size < b.contentOffset - at || b.size > end - at) return false;
        boxes->push_back(b);
        at += b.size;
    }
    return at == end;
}

uint64_t Mp4ChildrenOffset(const Mp4Box& box) {
    if (box.type == "stsd") return box.contentOffset + 8;
    if (IsVisualSampleEntry(box.type)) return box.contentOffset + 78;
    if (box.type == "sv3d" || box.type == "proj" || box.type == "trak" || box.type == "moov" ||
        box.type == "mdia" || box.type == "minf" || box.type == "stbl")
        return box.contentOffset;
    if (box.type == "st3d" || box.type == "svhd" || box.type == "prhd" || box.type == "equi")
        return box.contentOffset + 4;
    return box.contentOffset;
}

std::string SphericalV1Xml(const SphericalLayout& l) {
    std::string x =
        "<?xml version=\"1.0\"?>"
        "<rdf:SphericalVideo\n"
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"\n"
        "xmlns:GSpherical=\"http://ns.google.com/videos/1.0/spherical/\">"
        "<GSpherical:Spherical>true</GSpherical:Spherical>"
        "<GSpherical:Stitched>true</GSpherical:Stitched>"
        "<GSpherical:StitchingSoftware>";
    x += kSoftware;
    x += "</GSpherical:StitchingSoftware>"
         "<GSpherical:ProjectionType>equirectangular</GSpherical:ProjectionType>";
    if (l.Cropped()) {
        auto field = [&](const char* name, int32_t v) {
            x += std::string("<GSpherical:") + name + ">" + std::to_string(v) +
                 "</GSpherical:" + name + ">";
        };
        field("CroppedAreaImageWidthPixels", l.fullWidth);
        field("CroppedAreaImageHeightPixels", l.height);
        field("FullPanoWidthPixels", l.fullWidth);
        field("FullPanoHeightPixels", l.fullHeight);
        field("CroppedAreaLeftPixels", 0);
        field("CroppedAreaTopPixels", l.top);
    }
    x += "</rdf:SphericalVideo>";
    return x;
}

std::vector<uint8_t> SphericalV1Box(const SphericalLayout& layout) {
    std::vector<uint8_t> body(kSphericalUuid, kSphericalUuid + 16);
    const std::string xml = SphericalV1Xml(layout);
    body.insert(body.end(), xml.begin(), xml.end());
    return Box("uuid", body);
}

std::vector<uint8_t> SphericalV2Boxes(const SphericalLayout& l) {
    std::vector<uint8_t> out = FullBox("st3d", {0});  // mono
    std::vector<uint8_t> name(kSoftware, kSoftware + std::strlen(kSoftware) + 1);
    std::vector<uint8_t> svhd = FullBox("svhd", name);
    std::vector<uint8_t> pose;
    Put32(pose, 0);  // yaw, pitch, roll: 16.16 fixed, all 0
    Put32(pose, 0);
    Put32(pose, 0);
    std::vector<uint8_t> bounds;
    Put32(bounds, Fraction32(l.top, l.fullHeight));
    Put32(bounds, Fraction32(int64_t{l.fullHeight} - l.top - l.height, l.fullHeight));
    Put32(bounds, 0);
    Put32(bounds, 0);
    std::vector<uint8_t> proj = FullBox("prhd", pose);
    const std::vector<uint8_t> equi = FullBox("equi", bounds);
    proj.insert(proj.end(), equi.begin(), equi.end());
    std::vector<uint8_t> sv3d = svhd;
    const std::vector<uint8_t> projBox = Box("proj", proj);
    sv3d.insert(sv3d.end(), projBox.begin(), projBox.end());
    const std::vector<uint8_t> sv3dBox = Box("sv3d", sv3d);
    out.insert(out.end(), sv3dBox.begin(), sv3dBox.end());
    return out;
}

bool PlanSphericalMetadata(const std::vector<uint8_t>& data, const std::string& path,
                           const SphericalLayout& layout, Mp4Rewrite* rewrite, std::string* error) {
    std::vector<Mp4Box> top;
    if (!ListMp4Boxes(data, 0, data.size(), &top)) {
        *error = "'" + path + "' is not a readable MP4 file";
        return false;
    }
    const Mp4Box* moov = nullptr;
    const Mp4Box* mdat = nullptr;
    bool mediaAfterIndex = false;  // would move, and its chunk offsets with it
    for (const Mp4Box& b : top) {
        if (b.type == "moov") moov = &b;
        if (b.type == "mdat" && mdat == nullptr) mdat = &b;
        if (b.type == "mdat" && moov != nullptr) mediaAfterIndex = true;
    }
    if (moov == nullptr || mdat == nullptr || moov->offset < mdat->offset || mediaAfterIndex) {
        *error = "the 360 metadata needs an MP4 file whose index follows its media";
        return false;
    }
    // The video track: the trak whose handler is 'vide'.
    std::vector<Mp4Box> tracks;
    ListMp4Boxes(data, moov->contentOffset, moov->offset + moov->size, &tracks);
    Mp4Box trak, mdia, minf, stbl, stsd, entry;
    bool found = false;
    for (const Mp4Box& t : tracks) {
        if (t.type != "trak") continue;
        Mp4Box hdlr;
        if (!Child(data, t, "mdia", &mdia) || !Child(data, mdia, "hdlr", &hdlr)) continue;
        if (hdlr.contentOffset + 12 > data.size() ||
            std::memcmp(&data[hdlr.contentOffset + 8], "vide", 4) != 0)
            continue;
        if (!Child(data, mdia, "minf", &minf) || !Child(data, minf, "stbl", &stbl) ||
            !Child(data, stbl, "stsd", &stsd))
            continue;
        std::vector<Mp4Box> entries;
        if (!ListMp4Boxes(data, stsd.contentOffset + 8, stsd.offset + stsd.size, &entries) ||
            entries.empty() || !IsVisualSampleEntry(entries[0].type))
            continue;
        trak = t;
        entry = entries[0];
        found = true;
        break;
    }
    if (!found) {
        *error = "'" + path + "' has no video track to mark as 360 video";
        return false;
    }
    for (const Mp4Box* b :
         std::initializer_list<const Mp4Box*>{moov, &trak, &mdia, &minf, &stbl, &stsd, &entry}) {
        if (b->contentOffset != b->offset + 8) {
            *error = "'" + path + "' uses 64-bit box sizes in its index";
            return false;
        }
    }
    // The new boxes go after the last child of the track and of the sample
    // entry, and every box on the way grows by them: each of those boxes
    // must hold exactly its children, none of them open-ended (size 0, "up
    // to the end", would swallow what follows), or a reader would not find
    // the new boxes where they are.
    for (const Mp4Box* b :
         std::initializer_list<const Mp4Box*>{moov, &trak, &mdia, &minf, &stbl, &stsd, &entry}) {
        std::vector<Mp4Box> kids;
        const uint64_t from = b == &stsd ? stsd.contentOffset + 8 : Mp4ChildrenOffset(*b);
        bool whole = ListMp4Boxes(data, from, b->offset + b->size, &kids);
        for (const Mp4Box& k : kids) whole = whole && Get32(data, k.offset) != 0;
        if (!whole) {
            *error = "'" + path + "' has a damaged index (box sizes do not add up)";
            return false;
        }
    }
    const std::vector<uint8_t> v1 = SphericalV1Box(layout);
    const std::vector<uint8_t> v2 = SphericalV2Boxes(layout);
    std::vector<uint8_t> index(data.begin() + static_cast<std::ptrdiff_t>(moov->offset),
                               data.end());
    const uint64_t base = moov->offset;
    auto grow = [&](const Mp4Box& b, size_t by) -> bool {
        // The size as parsed: a moov of size 0 (up to the end of the file)
        // gets its real size written.
        const uint64_t size = b.size + uint64_t{by};
        if (size > 0xffffffffu) return false;
        Set32(index, b.offset - base, static_cast<uint32_t>(size));
        return true;
    };
    // The later insertion first, so the earlier one's offsets stay valid;
    // every header being grown lies before both insertion points.
    index.insert(index.begin() + static_cast<std::ptrdiff_t>(trak.offset + trak.size - base),
                 v1.begin(), v1.end());
    index.insert(index.begin() + static_cast<std::ptrdiff_t>(entry.offset + entry.size - base),
                 v2.begin(), v2.end());
    bool ok = grow(*moov, v1.size() + v2.size()) && grow(trak, v1.size() + v2.size());
    for (const Mp4Box* b : std::initializer_list<const Mp4Box*>{&mdia, &minf, &stbl, &stsd, &entry})
        ok = ok && grow(*b, v2.size());
    if (!ok) {
        *error = "the index of '" + path + "' is too large";
        return false;
    }
    rewrite->offset = base;
    rewrite->bytes = std::move(index);
    return true;
}

bool InjectSphericalMetadata(const std::string& path, const SphericalLayout& layout,
                             std::string* error) {
    std::vector<uint8_t> data;
    if (!ReadFile(path, &data, error)) return false;
    Mp4Rewrite rewrite;
    if (!PlanSphericalMetadata(data, path, layout, &rewrite, error)) return false;
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    if (f == nullptr) {
        *error = "cannot write '" + path + "': " + std::strerror(errno);
        return false;
    }
    bool written =
        std::fseek(f, static_cast<long>(rewrite.offset), SEEK_SET) == 0 &&
        std::fwrite(rewrite.bytes.data(), 1, rewrite.bytes.size(), f) == rewrite.bytes.size();
    written = std::fflush(f) == 0 && written;
    const int savedErrno = errno;
    written = std::fclose(f) == 0 && written;
    if (!written) {
        *error = "cannot write '" + path + "': " + std::strerror(savedErrno ? savedErrno : errno);
        return false;
    }
    return true;
}

}  // namespace hv
