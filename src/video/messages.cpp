#include "video/messages.h"

namespace hv {

namespace {

struct StepTexts {
    BuildStep step;
    MessageKind playerKind;
    const char* playerText;  // null: no message
    MessageKind setupKind;
    const char* setupText;
};

using K = MessageKind;

// The fixed texts, exactly as the programs have always shown them.
constexpr StepTexts kTexts[] = {
    {BuildStep::SampleGrabber, K::Monitoring, "IID_ISampleGrabber Error.", K::Monitoring,
     "IID_ISampleGrabber Error."},
    {BuildStep::AddGrabber, K::Monitoring, "GraphBuilder AddFilter Error.", K::Error,
     "Stream Error 004"},
    {BuildStep::SetMediaType, K::Monitoring, "ISampleGrabber SetMediaType Error.", K::Error,
     "Stream Error 005"},
    {BuildStep::AddSource, K::Error, "AddSourceFilte Error", K::Monitoring,
     "Stream Error 006\r\nInput stream is inaccessible"},
    {BuildStep::ConnectSource, K::Error, "Unsupported media type!", K::Monitoring,
     "Stream Error 007"},
    {BuildStep::AddNullRenderer, K::Error, "AddFilter m_pNullRenderer", K::Monitoring,
     "Stream Error 008"},
    {BuildStep::ConnectNullRenderer, K::Error, "Stream Error 010", K::Monitoring,
     "Stream Error 009"},
    {BuildStep::KeepSamples, K::Error, "Stream Error 011", K::Monitoring, "Stream Error 010"},
    {BuildStep::ConnectedType, K::Monitoring,
     "Format of the file is not support.\r\nOr - File can be open by another app.\r\n ",
     K::Monitoring, nullptr},
};

}  // namespace

std::optional<BuildMessage> MessageForStep(FrameSourceProgram program, BuildStep step) {
    for (const auto& t : kTexts) {
        if (t.step != step) continue;
        const bool player = program == FrameSourceProgram::Player;
        const char* text = player ? t.playerText : t.setupText;
        if (text == nullptr) return std::nullopt;
        return BuildMessage{player ? t.playerKind : t.setupKind, text};
    }
    return std::nullopt;
}

void ReportBuildFailure(MessageSink& sink, FrameSourceProgram program, BuildStep step,
                        const std::string& detail) {
    auto m = MessageForStep(program, step);
    if (!m) return;
    if (detail.empty())
        sink.ShowMessage(m->kind, CaptionOf(m->kind), m->text);
    else
        sink.ShowDetailedMessage(m->kind, CaptionOf(m->kind), m->text, detail);
}

}  // namespace hv
