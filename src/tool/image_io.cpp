#include "tool/image_io.h"

#include <QImage>
#include <QImageReader>
#include <QString>
#include <cstring>

#include "unwrap/ring_geometry.h"

namespace hvtool {

bool LoadPictureAsFrame(const std::string& path, hv::FrameBuffer& fb, std::string* error) {
    QImageReader reader(QString::fromStdString(path));
    const QSize size = reader.size();
    // Refuse absurd sizes before decoding anything.
    if (size.isValid()) {
        const std::string problem = hv::CheckFrameSize(size.width(), size.height());
        if (!problem.empty()) {
            if (error) *error = path + ": " + problem;
            return false;
        }
    }
    QImage image = reader.read();
    if (image.isNull()) {
        if (error) *error = path + ": " + reader.errorString().toStdString();
        return false;
    }
    const std::string problem = hv::CheckFrameSize(image.width(), image.height());
    if (!problem.empty()) {
        if (error) *error = path + ": " + problem;
        return false;
    }
    image = image.convertToFormat(QImage::Format_RGB32);
    hv::FrameBuffer out;
    out.Allocate(image.width(), image.height());
    // Picture row y (top-down) becomes memory row height - 1 - y.
    const size_t rowBytes = size_t(out.width) * 4;
    for (int32_t y = 0; y < out.height; ++y) {
        std::memcpy(out.data() + size_t(out.height - 1 - y) * size_t(out.width),
                    image.constScanLine(y), rowBytes);
    }
    fb = std::move(out);
    return true;
}

bool SaveBottomUpAsPng(const std::string& path, const uint32_t* pixels, int32_t width,
                       int32_t height, int32_t strideBytes, std::string* error) {
    if (pixels == nullptr || width <= 0 || height <= 0 || strideBytes < 4 * width) {
        if (error) *error = path + ": nothing to save";
        return false;
    }
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) {
        if (error) *error = path + ": the picture is too large";
        return false;
    }
    const auto* base = reinterpret_cast<const uint8_t*>(pixels);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = base + size_t(height - 1 - y) * size_t(strideBytes);
        auto* dst = reinterpret_cast<uint32_t*>(image.scanLine(y));
        std::memcpy(dst, row, size_t(width) * 4);
        // The fourth byte of a frame means nothing; make the PNG opaque.
        for (int32_t x = 0; x < width; ++x) dst[x] |= 0xff000000u;
    }
    if (!image.save(QString::fromStdString(path), "PNG")) {
        if (error) *error = path + ": cannot write the PNG file";
        return false;
    }
    return true;
}

}  // namespace hvtool
