// Helpers shared by the configuration tests.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>

#include "config/configuration.h"

namespace hv {
// Readable failure messages for the records.
void PrintTo(const DoughnutGeometry& g, std::ostream* os);
void PrintTo(const SetupSettings& s, std::ostream* os);
}  // namespace hv

namespace hvtest {

// A fresh folder under the system's temporary directory, removed with its
// contents when the object goes.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

void WriteBytes(const std::filesystem::path& file, std::string_view bytes);
std::string ReadBytes(const std::filesystem::path& file);

}  // namespace hvtest
