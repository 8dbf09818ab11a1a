#include "video/frame_source_graph.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "video/gst_frame_source.h"

namespace hv {

std::atomic<int32_t> GraphActive{0};

namespace {

// Admits one player build at a time, for the whole build.
std::mutex gPlayerBuildMutex;

// The program's current source; swapped under the lock, used outside it.
std::mutex gCurrentMutex;
std::shared_ptr<FrameSource> gCurrent;

void Publish(std::shared_ptr<FrameSource> source) {
    std::lock_guard guard(gCurrentMutex);
    gCurrent = std::move(source);
}

// The setup utility tries the source step a second time after 300 ms.
constexpr auto kSetupSourceRetryDelay = std::chrono::milliseconds(300);

BuildOutcome BuildLocked(FrameSourceProgram program, const std::string& file, MessageSink& messages,
                         const FrameSourceGraphHooks& hooks) {
    int32_t expected = 0;
    if (!GraphActive.compare_exchange_strong(expected, 1)) return BuildOutcome::AlreadyActive;
    if (hooks.building) hooks.building();

    FrameSourceOptions options;
    options.withAudio = program == FrameSourceProgram::Player && !hooks.withoutSound;
    // The player unwraps straight from the decoder's planes.
    options.planarPictures = program == FrameSourceProgram::Player;
    if (hooks.prerollTimeoutMs > 0) options.prerollTimeoutMs = hooks.prerollTimeoutMs;

    std::shared_ptr<FrameSource> source =
        hooks.factory ? std::shared_ptr<FrameSource>(hooks.factory()) : CreateGstFrameSource();
    BuildOutcome outcome = BuildOutcome::Failed;
    if (source) {
        BuildStep step = source->Open(file, options);
        if (step == BuildStep::AddSource && program == FrameSourceProgram::Setup) {
            std::this_thread::sleep_for(kSetupSourceRetryDelay);
            step = source->Open(file, options);
        }
        if (step == BuildStep::None) {
            Publish(source);
            if (hooks.running) hooks.running(*source);
            outcome = BuildOutcome::Ran;
        } else {
            std::string detail = "File: " + file;
            if (const std::string reason = source->StreamError(); !reason.empty())
                detail += "\n" + reason;
            ReportBuildFailure(messages, program, step, detail);
        }
    }
    // Clean-up, on every way out.
    ReleaseFrameSourceGraph();
    if (source) source->Close();
    source.reset();
    GraphActive.store(0);
    if (hooks.released) hooks.released();
    return outcome;
}

}  // namespace

BuildOutcome BuildFrameSourceGraph(FrameSourceProgram program, const std::string& file,
                                   MessageSink& messages, const FrameSourceGraphHooks& hooks) {
    if (program == FrameSourceProgram::Player) {
        std::lock_guard guard(gPlayerBuildMutex);
        return BuildLocked(program, file, messages, hooks);
    }
    return BuildLocked(program, file, messages, hooks);
}

void ReleaseFrameSourceGraph() {
    std::shared_ptr<FrameSource> source;
    {
        std::lock_guard guard(gCurrentMutex);
        source.swap(gCurrent);
    }
    if (source) source->Close();
}

std::shared_ptr<FrameSource> CurrentFrameSource() {
    std::lock_guard guard(gCurrentMutex);
    return gCurrent;
}

}  // namespace hv
