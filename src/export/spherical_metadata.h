// 360-video metadata for equirectangular MP4 files, added after muxing
// (mp4mux writes neither form):
//  - version 1: an RDF/XML document in a uuid box
//    (ffcc8263-f855-4a93-8814-587a02521fdd) at the end of the video track
//    box (moov/trak);
//  - version 2: st3d (mono) and sv3d (svhd, proj with prhd and equi) at the
//    end of the video sample entry (moov/trak/mdia/minf/stbl/stsd/avc1).
// Every box that holds an inserted box grows by its size. The file's moov
// must come after its mdat (mp4mux's layout without faststart), so no chunk
// offset moves: only the bytes from moov on are rewritten.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hv {

// The picture inside the full 2:1 sphere: the full panorama is fullWidth x
// fullHeight, the file holds the rows top .. top + height - 1 of it (all
// columns). A picture that is the full sphere has top 0 and height
// fullHeight and is written without crop fields.
struct SphericalLayout {
    int32_t fullWidth = 0;
    int32_t fullHeight = 0;
    int32_t top = 0;
    int32_t height = 0;
    bool Cropped() const { return top != 0 || height != fullHeight; }
};

// The version-1 XML document of a layout.
std::string SphericalV1Xml(const SphericalLayout& layout);

// Boxes to insert (whole boxes, headers included).
std::vector<uint8_t> SphericalV1Box(const SphericalLayout& layout);    // uuid
std::vector<uint8_t> SphericalV2Boxes(const SphericalLayout& layout);  // st3d + sv3d

// Adds both versions to the MP4 file at `path` in place. False with a
// message when the file is not an MP4 this can edit (no video track, moov
// before mdat, media after moov, 64-bit box sizes in the path, a damaged
// index) or cannot be written; the file is then either unchanged or to be
// discarded by the caller.
bool InjectSphericalMetadata(const std::string& path, const SphericalLayout& layout,
                             std::string* error);

// The edit InjectSphericalMetadata makes, worked out on the file's bytes
// alone: the file from `offset` on becomes `bytes` (at least as long as
// what it replaces; nothing before `offset` changes). `name` only goes into
// the messages. False with a message, and `rewrite` untouched, for a file
// it cannot edit.
struct Mp4Rewrite {
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
};
bool PlanSphericalMetadata(const std::vector<uint8_t>& file, const std::string& name,
                           const SphericalLayout& layout, Mp4Rewrite* rewrite, std::string* error);

// One box of a parsed file, for readers and tests: type, offset of its
// header in the file, whole size, and the offset of its contents.
struct Mp4Box {
    std::string type;
    uint64_t offset = 0;
    uint64_t size = 0;
    uint64_t contentOffset = 0;
};

// The boxes directly inside bytes [begin, end) of `data`; false when a size
// runs past end.
bool ListMp4Boxes(const std::vector<uint8_t>& data, uint64_t begin, uint64_t end,
                  std::vector<Mp4Box>* boxes);

// Offset where the children of a box start: after the header, plus the
// fixed fields of the box types that have them (stsd: 8, visual sample
// entries avc1/hvc1/...: 78, full boxes of this format: 4).
uint64_t Mp4ChildrenOffset(const Mp4Box& box);

}  // namespace hv
