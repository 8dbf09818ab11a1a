// CamSetup.xml text: the writer's sixteen lines and the reader's passes.
#include "config/configuration.h"

#include <utility>

#include "config/config_file.h"

namespace hv {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kEol = "\r\n";

// A required numeric tag with its slot in the state being read (OPATH, the
// last required tag, is text and handled apart).
struct RequiredTag {
    std::string_view name;
    int32_t* slot;
};

std::string_view TrimSpacesAndNuls(std::string_view s) {
    const auto drop = [](char c) { return c == ' ' || c == '\0'; };
    while (!s.empty() && drop(s.front())) s.remove_prefix(1);
    while (!s.empty() && drop(s.back())) s.remove_suffix(1);
    return s;
}

// Cuts to kLastFolderMax bytes; a UTF-8 character straddling the limit is
// dropped whole rather than split (invalid UTF-8 is cut at the limit).
std::string_view CutLastFolder(std::string_view s) {
    if (s.size() <= kLastFolderMax) return s;
    const auto isContinuation = [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
    };
    size_t cut = kLastFolderMax;
    size_t k = cut;
    for (int n = 0; n < 3 && k > 0 && isContinuation(s[k]); ++n) --k;
    if ((static_cast<unsigned char>(s[k]) & 0xC0) == 0xC0) cut = k;
    return s.substr(0, cut);
}

// Runs the required-tag pass shared by both programs over folded text.
// Returns false at the first missing or empty field; `lastFolder` is written
// only when every required tag was found.
bool ReadRequiredTags(std::string_view text, const RequiredTag (&tags)[7],
                      std::string& lastFolder) {
    for (const auto& tag : tags) {
        const std::string_view field = ExtractField(text, tag.name);
        if (field.empty()) return false;
        *tag.slot = ConvertNumber(field);
    }
    const std::string_view opath = ExtractField(text, "OPATH");
    if (opath.empty()) return false;  // a field of spaces only is not empty
    lastFolder = std::string(TrimSpacesAndNuls(CutLastFolder(opath)));
    return true;
}

void AppendTagLine(std::string& out, std::string_view indent, std::string_view tag,
                   std::string_view value) {
    out.append(indent).append("<").append(tag).append(">").append(value);
    out.append("</").append(tag).append(">").append(kEol);
}

void AppendTagLine(std::string& out, std::string_view indent, std::string_view tag, int32_t value) {
    AppendTagLine(out, indent, tag, std::to_string(value));
}

// The geometry as the writer saves it: all-zero left and width mean "never
// set" and become the start-up defaults (flips untouched).
DoughnutGeometry GeometryToSave(const DoughnutGeometry& g) {
    if (g.left != 0 || g.width != 0) return g;
    DoughnutGeometry reset = kStartupGeometry;
    reset.flipH = g.flipH;
    reset.flipV = g.flipV;
    return reset;
}

}  // namespace

PlayerConfigState PlayerStartupDefaults() {
    PlayerConfigState s;
    s.geometry = kStartupGeometry;
    return s;
}

SetupConfigState SetupStartupDefaults(std::string currentDir) {
    SetupConfigState s;
    s.geometry = kStartupGeometry;
    s.settings.lastFolder = std::move(currentDir);
    return s;
}

std::string FoldClosingTags(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        out.push_back(text[i]);
        if (text[i] == '<' && i + 1 < text.size() && text[i + 1] == '/') ++i;
    }
    return out;
}

std::string_view ExtractField(std::string_view text, std::string_view tag) {
    std::string separator;
    separator.reserve(tag.size() + 2);
    separator.append("<").append(tag).append(">");
    const size_t first = text.find(separator);
    if (first == std::string_view::npos) return {};
    const size_t start = first + separator.size();
    const size_t second = text.find(separator, start);
    return second == std::string_view::npos ? text.substr(start)
                                            : text.substr(start, second - start);
}

ReadOutcome ApplyConfigurationText(std::string_view raw, PlayerConfigState& s) {
    const std::string text = FoldClosingTags(raw);
    int32_t flipH = 0, flipV = 0;
    const RequiredTag tags[7] = {
        {"X1_1", &s.geometry.left},
        {"Y1_1", &s.geometry.top},
        {"X2_1", &s.geometry.width},
        {"Y2_1", &s.geometry.height},
        {"RSIZE_1", &s.geometry.innerRadius},
        {"FLIP_1", &flipH},
        {"FLIP_V", &flipV},
    };
    if (!ReadRequiredTags(text, tags, s.lastFolder)) {
        s.geometry = kFallbackGeometry;
        s.flipMode = 0;
        return ReadOutcome::Fallback;
    }
    // Any pair other than 0/1 values leaves the mode as it was.
    if ((flipH == 0 || flipH == 1) && (flipV == 0 || flipV == 1)) s.flipMode = flipH + 2 * flipV;
    return ReadOutcome::FromFile;
}

ReadOutcome ApplyConfigurationText(std::string_view raw, SetupConfigState& s) {
    const std::string text = FoldClosingTags(raw);
    const RequiredTag tags[7] = {
        {"X1_1", &s.geometry.left},           {"Y1_1", &s.geometry.top},
        {"X2_1", &s.geometry.width},          {"Y2_1", &s.geometry.height},
        {"RSIZE_1", &s.geometry.innerRadius}, {"FLIP_1", &s.geometry.flipH},
        {"FLIP_V", &s.geometry.flipV},
    };
    if (!ReadRequiredTags(text, tags, s.settings.lastFolder)) {
        s.geometry = kFallbackGeometry;
        return ReadOutcome::Fallback;
    }
    const auto optional = [&text](std::string_view tag, int32_t whenEmpty) {
        const std::string_view field = ExtractField(text, tag);
        return field.empty() ? whenEmpty : ConvertNumber(field);
    };
    s.settings.popupX = optional("POPUP_X", 0);
    s.settings.popupY = optional("POPUP_Y", 300);
    s.settings.mainX = optional("MAIN_X", 0);
    s.settings.mainY = optional("MAIN_Y", 300);
    s.settings.shiftRect = optional("SHIFTERECT", 0);
    return ReadOutcome::FromFile;
}

std::string LastFolderForFile(std::string_view lastFolder) {
    std::string_view s = CutLastFolder(lastFolder);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return std::string(s);
}

std::string ConfigurationText(const SetupConfigState& s) {
    const DoughnutGeometry g = GeometryToSave(s.geometry);
    const SetupSettings& st = s.settings;
    std::string out;
    out.reserve(512 + kLastFolderMax);
    out.append(kBom).append(R"(<?xml version="1.0" encoding="utf-8"?>)").append(kEol);
    out.append("<config>").append(kEol);
    // An empty field would read back as a missing OPATH and make every reader
    // discard the saved geometry; one space reads as present and empty.
    const std::string folder = LastFolderForFile(st.lastFolder);
    AppendTagLine(out, "  ", "OPATH", folder.empty() ? std::string(" ") : folder);
    AppendTagLine(out, "  ", "POPUP_X", st.popupX);
    AppendTagLine(out, "  ", "POPUP_Y", st.popupY);
    AppendTagLine(out, "  ", "MAIN_X", st.mainX);
    AppendTagLine(out, "  ", "MAIN_Y", st.mainY);
    AppendTagLine(out, "  ", "SHIFTERECT", st.shiftRect);
    AppendTagLine(out, "", "X1_1", g.left);
    AppendTagLine(out, "", "Y1_1", g.top);
    AppendTagLine(out, "", "X2_1", g.width);
    AppendTagLine(out, "", "Y2_1", g.height);
    AppendTagLine(out, "", "RSIZE_1", g.innerRadius);
    AppendTagLine(out, "", "FLIP_1", g.flipH);
    AppendTagLine(out, "", "FLIP_V", g.flipV);
    out.append("</config>").append(kEol);
    return out;
}

ReadOutcome ReadConfiguration(const std::filesystem::path& file, PlayerConfigState& s) {
    return ApplyConfigurationText(ReadConfigurationBytes(file, kConfigurationReadLimit), s);
}

ReadOutcome ReadConfiguration(const std::filesystem::path& file, SetupConfigState& s) {
    return ApplyConfigurationText(ReadConfigurationBytes(file, kConfigurationReadLimit), s);
}

WriteResult WriteConfiguration(const std::filesystem::path& file, SetupConfigState& s) {
    WriteResult result = WriteConfigurationBytes(file, ConfigurationText(s));
    if (result.ok) s.geometry = GeometryToSave(s.geometry);
    return result;
}

}  // namespace hv
