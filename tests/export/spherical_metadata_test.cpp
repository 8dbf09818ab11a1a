// The 360 metadata boxes byte for byte, and their insertion into a real
// MP4 written by VideoWriter: every parent grows, the media data and the
// chunk offsets stay as they were.
#include "export/spherical_metadata.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "video/video_writer.h"

namespace {

namespace fs = std::filesystem;

uint32_t Be32(const std::vector<uint8_t>& b, uint64_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
           b[at + 3];
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Path of boxes from the file's top, each the first child of its type.
bool Walk(const std::vector<uint8_t>& d, const std::vector<std::string>& path, hv::Mp4Box* out) {
    hv::Mp4Box box{"file", 0, d.size(), 0};
    for (const std::string& type : path) {
        std::vector<hv::Mp4Box> kids;
        const uint64_t from = box.type == "file" ? 0 : hv::Mp4ChildrenOffset(box);
        if (!hv::ListMp4Boxes(d, from, box.offset + box.size, &kids)) return false;
        bool found = false;
        for (const auto& k : kids) {
            if (k.type == type) {
                box = k;
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    *out = box;
    return true;
}

TEST(SphericalMetadata, V2BoxesFollowTheirLayout) {
    hv::SphericalLayout cropped{4000, 2000, 500, 1000};
    const std::vector<uint8_t> b = hv::SphericalV2Boxes(cropped);
    // st3d: size 13, full box, mono.
    ASSERT_GE(b.size(), 13u);
    EXPECT_EQ(Be32(b, 0), 13u);
    EXPECT_EQ(std::string(b.begin() + 4, b.begin() + 8), "st3d");
    EXPECT_EQ(b[12], 0);
    // sv3d > svhd, proj > prhd, equi with the bounds as 0.32 fractions.
    std::vector<hv::Mp4Box> top;
    ASSERT_TRUE(hv::ListMp4Boxes(b, 0, b.size(), &top));
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[1].type, "sv3d");
    std::vector<hv::Mp4Box> sv3d, proj;
    ASSERT_TRUE(hv::ListMp4Boxes(b, hv::Mp4ChildrenOffset(top[1]), b.size(), &sv3d));
    ASSERT_EQ(sv3d.size(), 2u);
    EXPECT_EQ(sv3d[0].type, "svhd");
    EXPECT_EQ(b[sv3d[0].offset + sv3d[0].size - 1], 0);  // the name ends in a zero byte
    ASSERT_TRUE(hv::ListMp4Boxes(b, sv3d[1].contentOffset, sv3d[1].offset + sv3d[1].size, &proj));
    ASSERT_EQ(proj.size(), 2u);
    EXPECT_EQ(proj[0].type, "prhd");
    EXPECT_EQ(proj[0].size, 24u);
    EXPECT_EQ(proj[1].type, "equi");
    EXPECT_EQ(proj[1].size, 28u);
    EXPECT_EQ(Be32(b, proj[1].contentOffset + 4), 0x40000000u);  // top: a quarter
    EXPECT_EQ(Be32(b, proj[1].contentOffset + 8), 0x40000000u);  // bottom: a quarter
    EXPECT_EQ(Be32(b, proj[1].contentOffset + 12), 0u);
    EXPECT_EQ(Be32(b, proj[1].contentOffset + 16), 0u);

    const std::string xml = hv::SphericalV1Xml(cropped);
    EXPECT_NE(xml.find("<GSpherical:CroppedAreaTopPixels>500<"), std::string::npos);
    EXPECT_NE(xml.find("<GSpherical:FullPanoHeightPixels>2000<"), std::string::npos);
    const std::string full = hv::SphericalV1Xml({4000, 2000, 0, 2000});
    EXPECT_EQ(full.find("Cropped"), std::string::npos);
    const std::vector<uint8_t> v1 = hv::SphericalV1Box(cropped);
    EXPECT_EQ(Be32(v1, 0), v1.size());
    EXPECT_EQ(std::string(v1.begin() + 4, v1.begin() + 8), "uuid");
    EXPECT_EQ(v1[8], 0xff);
    EXPECT_EQ(v1[23], 0xdd);
}

TEST(SphericalMetadata, InjectionGrowsParentsAndMovesNoMedia) {
    const fs::path file =
        fs::temp_directory_path() / ("hv_spherical_" + std::to_string(getpid()) + ".mp4");
    hv::VideoWriterSettings s;
    s.path = file.string();
    s.width = 64;
    s.height = 32;
    s.tone = hv::VideoWriterTone{400'000'000};
    std::string error;
    auto writer = hv::VideoWriter::Open(s, &error);
    ASSERT_TRUE(writer) << error;
    hv::FrameBuffer fb;
    fb.Allocate(64, 32);
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(writer->Write(fb, &error)) << error;
    ASSERT_TRUE(writer->Finish(&error)) << error;
    writer.reset();

    const std::vector<uint8_t> before = ReadBytes(file.string());
    hv::Mp4Box mdat, moov, stcoBefore;
    ASSERT_TRUE(Walk(before, {"mdat"}, &mdat));
    ASSERT_TRUE(Walk(before, {"moov"}, &moov));
    ASSERT_TRUE(Walk(before, {"moov", "trak", "mdia", "minf", "stbl", "stco"}, &stcoBefore));
    const std::vector<uint8_t> offsets(before.begin() + stcoBefore.contentOffset,
                                       before.begin() + stcoBefore.offset + stcoBefore.size);

    const hv::SphericalLayout layout{512, 256, 0, 256};
    ASSERT_TRUE(hv::InjectSphericalMetadata(file.string(), layout, &error)) << error;
    const std::vector<uint8_t> after = ReadBytes(file.string());
    const size_t v1 = hv::SphericalV1Box(layout).size(), v2 = hv::SphericalV2Boxes(layout).size();
    EXPECT_EQ(after.size(), before.size() + v1 + v2);
    // Everything before the index is untouched, and so are the offsets.
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + moov.offset, after.begin()));
    hv::Mp4Box stco, moov2, entry, uuid;
    ASSERT_TRUE(Walk(after, {"moov"}, &moov2));
    EXPECT_EQ(moov2.size, moov.size + v1 + v2);
    ASSERT_TRUE(Walk(after, {"moov", "trak", "mdia", "minf", "stbl", "stco"}, &stco));
    EXPECT_TRUE(std::equal(offsets.begin(), offsets.end(), after.begin() + stco.contentOffset));
    ASSERT_TRUE(Walk(
        after, {"moov", "trak", "mdia", "minf", "stbl", "stsd", "avc1", "sv3d", "proj", "equi"},
        &entry));
    ASSERT_TRUE(Walk(after, {"moov", "trak", "uuid"}, &uuid));
    // The sound track is not marked.
    std::vector<hv::Mp4Box> tracks;
    ASSERT_TRUE(hv::ListMp4Boxes(after, moov2.contentOffset, moov2.offset + moov2.size, &tracks));
    int uuids = 0;
    for (const auto& t : tracks) {
        std::vector<hv::Mp4Box> kids;
        if (t.type != "trak") continue;
        ASSERT_TRUE(hv::ListMp4Boxes(after, t.contentOffset, t.offset + t.size, &kids));
        for (const auto& k : kids) uuids += k.type == "uuid";
    }
    EXPECT_EQ(uuids, 1);

    // What the injector cannot place is refused: media after the index
    // (it would move under its chunk offsets), a sample entry whose
    // children do not add up (the new boxes would land inside one).
    hv::Mp4Rewrite rewrite;
    std::vector<uint8_t> late(before.begin(), before.begin() + mdat.offset);
    const uint8_t emptyMdat[] = {0, 0, 0, 8, 'm', 'd', 'a', 't'};
    late.insert(late.end(), emptyMdat, emptyMdat + 8);
    late.insert(late.end(), before.begin() + moov.offset, before.end());
    late.insert(late.end(), before.begin() + mdat.offset, before.begin() + moov.offset);
    EXPECT_FALSE(hv::PlanSphericalMetadata(late, "late", layout, &rewrite, &error));
    hv::Mp4Box avcC;
    ASSERT_TRUE(
        Walk(before, {"moov", "trak", "mdia", "minf", "stbl", "stsd", "avc1", "avcC"}, &avcC));
    std::vector<uint8_t> damaged = before;
    damaged[avcC.offset + 3] -= 1;
    EXPECT_FALSE(hv::PlanSphericalMetadata(damaged, "damaged", layout, &rewrite, &error));
    // A last moov of size 0 (up to the end of the file) gets its real size.
    std::vector<uint8_t> open = before;
    std::fill_n(open.begin() + moov.offset, 4, 0);
    ASSERT_TRUE(hv::PlanSphericalMetadata(open, "open", layout, &rewrite, &error)) << error;
    EXPECT_EQ(rewrite.offset, moov.offset);
    EXPECT_EQ(Be32(rewrite.bytes, 0), moov.size + v1 + v2);

    // A file whose index comes first is refused and left alone.
    std::vector<uint8_t> front = {0, 0, 0, 8, 'm', 'o', 'o', 'v', 0, 0, 0, 8, 'm', 'd', 'a', 't'};
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(front.data()), static_cast<long>(front.size()));
    EXPECT_FALSE(hv::InjectSphericalMetadata(file.string(), layout, &error));
    EXPECT_EQ(ReadBytes(file.string()), front);
    fs::remove(file);
}

}  // namespace
