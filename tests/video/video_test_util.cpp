#include "video_test_util.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace hvtest {

namespace {

struct Folder {
    std::filesystem::path path;
    Folder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "hv-video-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~Folder() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
};

}  // namespace

const std::filesystem::path& TempFolder() {
    static Folder folder;
    return folder.path;
}

std::string MakeVideo(const std::string& name, int32_t width, int32_t height, int32_t fpsNum,
                      int32_t fpsDen, int32_t frames, bool audio, int64_t lengthNs) {
    hv::TestVideoOptions clip;
    clip.path = (TempFolder() / name).string();
    clip.width = width;
    clip.height = height;
    clip.fpsNum = fpsNum;
    clip.fpsDen = fpsDen;
    clip.frames = frames;
    clip.audio = audio;
    clip.lengthNs = lengthNs;
    const std::string error = hv::MakeTestVideo(clip);
    if (!error.empty()) {
        ADD_FAILURE() << "making " << name << ": " << error;
        return "";
    }
    return clip.path;
}

std::string WriteFile(const std::string& name, const std::string& bytes) {
    const std::filesystem::path p = TempFolder() / name;
    std::ofstream(p, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p.string();
}

void RecordingSink::ShowMessage(hv::MessageKind kind, const std::string& caption,
                                const std::string& text) {
    std::lock_guard guard(mu_);
    messages_.push_back({kind, caption, text});
}

std::vector<MessageRecord> RecordingSink::Messages() const {
    std::lock_guard guard(mu_);
    return messages_;
}

int OpenFileCount() {
    int n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        ++n;
    }
    return n;
}

}  // namespace hvtest
