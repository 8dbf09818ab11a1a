#include "config_test_util.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <ostream>
#include <stdexcept>

namespace hv {

void PrintTo(const DoughnutGeometry& g, std::ostream* os) {
    *os << "{left " << g.left << ", top " << g.top << ", width " << g.width << ", height "
        << g.height << ", inner " << g.innerRadius << ", flipH " << g.flipH << ", flipV " << g.flipV
        << "}";
}

void PrintTo(const SetupSettings& s, std::ostream* os) {
    *os << "{lastFolder \"" << s.lastFolder << "\", popup " << s.popupX << "," << s.popupY
        << ", main " << s.mainX << "," << s.mainY << ", shift " << s.shiftRect << "}";
}

}  // namespace hv

namespace hvtest {

TempFolder::TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "hvconfig-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void WriteBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace hvtest
