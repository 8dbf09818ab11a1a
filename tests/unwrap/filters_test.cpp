// Grayscale and soften filters.
#include "unwrap/filters.h"

#include <gtest/gtest.h>

#include <vector>

#include "view_test_util.h"

namespace {

TEST(Filters, GrayscaleDividesByFour) {
    std::vector<uint32_t> px = {0x00FFFFFFu, 0xFF000000u, 0x00000000u, 0x00010203u, 0x12345678u};
    hv::ApplyGrayscale(static_cast<int32_t>(px.size()), px.data());
    EXPECT_EQ(px[0], 0xDFDFDFDFu) << "white becomes 223";
    EXPECT_EQ(px[1], 0x1F1F1F1Fu) << "the fourth byte is ignored; black becomes 31";
    EXPECT_EQ(px[2], 0x1F1F1F1Fu);
    EXPECT_EQ(px[3], 0x21212121u);  // (3 + 2 + 1 + 127) >> 2 = 33
    EXPECT_EQ(px[4], ((0x34u + 0x56u + 0x78u + 127) >> 2) * 0x01010101u);
}

// Soften in place, pixel by pixel, as the plainest reading of its rule.
void SoftenByHand(int32_t W, int32_t H, std::vector<uint32_t>& p) {
    for (size_t n = 0; n < static_cast<size_t>(W) * H; ++n) {
        uint32_t r = 0;
        for (int b = 0; b < 32; b += 8) {
            const uint32_t sum = ((p[n] >> b) & 255) + ((p[n + 1] >> b) & 255) +
                                 ((p[n + W] >> b) & 255) + ((p[n + W + 1] >> b) & 255);
            r |= (sum >> 2) << b;
        }
        p[n] = r;
    }
}

TEST(Filters, SoftenUniformAreaUnchanged) {
    const int32_t W = 208, H = 116;
    std::vector<uint32_t> px(static_cast<size_t>(W) * (H + 1) + 1, 0x80C0FF11u);
    hv::ApplySoften(W, H, px.data());
    for (uint32_t p : px) ASSERT_EQ(p, 0x80C0FF11u);
}

TEST(Filters, SoftenUsesUnfilteredNeighboursAndTheSpareRow) {
    for (auto [W, H] :
         {std::pair{208, 116}, std::pair{5, 3}, std::pair{7, 1}, std::pair{600, 400}}) {
        std::vector<uint32_t> px(static_cast<size_t>(W) * (H + 1) + 1);
        for (size_t n = 0; n < px.size(); ++n) {
            px[n] = hvtest::NoisePixel(static_cast<int32_t>(n), 3);
        }
        auto byHand = px, scalar = px;
        SoftenByHand(W, H, byHand);
        hv::ApplySoftenScalar(W, H, scalar.data());
        hv::ApplySoften(W, H, px.data());
        EXPECT_EQ(scalar, byHand) << W << "x" << H;
        EXPECT_EQ(px, byHand) << W << "x" << H;
        // The spare row and the pixel after it are read, never written.
        for (size_t n = static_cast<size_t>(W) * H; n < px.size(); ++n) {
            EXPECT_EQ(px[n], hvtest::NoisePixel(static_cast<int32_t>(n), 3));
        }
    }
    // Grayscale: SIMD and scalar agree at an odd count.
    std::vector<uint32_t> a(1003), b;
    for (size_t n = 0; n < a.size(); ++n) a[n] = hvtest::NoisePixel(static_cast<int32_t>(n), 9);
    b = a;
    hv::ApplyGrayscale(1003, a.data());
    hv::ApplyGrayscaleScalar(1003, b.data());
    EXPECT_EQ(a, b);
}

}  // namespace
