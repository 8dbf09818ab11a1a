// Shared pieces of the video tests: a temporary folder per test program,
// real test videos made with the project's maker, a message recorder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "video/messages.h"
#include "video/test_video_maker.h"

namespace hvtest {

// A fresh folder under the system's temp folder, removed at exit.
const std::filesystem::path& TempFolder();

// Makes a video into TempFolder() (name relative to it); returns its path.
// Fails the current test (ADD_FAILURE) and returns "" when the maker fails.
std::string MakeVideo(const std::string& name, int32_t width, int32_t height, int32_t fpsNum,
                      int32_t fpsDen, int32_t frames, bool audio, int64_t lengthNs = 0);

// Writes bytes to a file in TempFolder(); returns its path.
std::string WriteFile(const std::string& name, const std::string& bytes);

struct MessageRecord {
    hv::MessageKind kind;
    std::string caption, text;
};

class RecordingSink : public hv::MessageSink {
  public:
    void ShowMessage(hv::MessageKind kind, const std::string& caption,
                     const std::string& text) override;
    std::vector<MessageRecord> Messages() const;

  private:
    mutable std::mutex mu_;
    std::vector<MessageRecord> messages_;
};

// Open file descriptors of this process (/proc/self/fd).
int OpenFileCount();

}  // namespace hvtest
