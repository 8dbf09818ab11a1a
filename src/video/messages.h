// The fixed messages of a failed frame source build, and the interface
// through which the build shows them. The GUI programs implement
// MessageSink with message boxes; tests and hvtool capture or print them.
#pragma once

#include <optional>
#include <string>

namespace hv {

// Which program builds the frame source: the texts, boxes and a few build
// details (sound branch, serialised build, second open attempt) differ.
enum class FrameSourceProgram { Player, Setup };

// The two kinds of message box a build failure shows.
//  Monitoring: caption "Error Monitoring", information icon, OK button,
//              owned by the program's main window.
//  Error:      caption "Error", error icon, OK button, no owner.
enum class MessageKind { Monitoring, Error };

inline constexpr const char* kMonitoringCaption = "Error Monitoring";
inline constexpr const char* kErrorCaption = "Error";

inline const char* CaptionOf(MessageKind kind) {
    return kind == MessageKind::Monitoring ? kMonitoringCaption : kErrorCaption;
}

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // Called on the thread that runs the build (the video worker). An
    // implementation may block until the user has closed the box; the build
    // goes on to its clean-up only afterwards. Must not throw.
    virtual void ShowMessage(MessageKind kind, const std::string& caption,
                             const std::string& text) = 0;
    // The same fixed message with the reason behind it (the file name and
    // GStreamer's own message) for a user who wants to know more; shown
    // apart from the fixed text (a message box's details). The default
    // drops the detail.
    virtual void ShowDetailedMessage(MessageKind kind, const std::string& caption,
                                     const std::string& text, const std::string& /*detail*/) {
        ShowMessage(kind, caption, text);
    }
};

// The step of the build that failed. The numbers are the order of the
// build's steps; the GStreamer source maps its failures onto them (see
// gst_frame_source.h).
enum class BuildStep : int {
    None = 0,                  // success
    CreateGraph = 4,           // the pipeline cannot be created: no message
    SampleGrabber = 5,         // the appsink cannot be created
    AddGrabber = 6,            // the appsink cannot be added to the pipeline
    SetMediaType = 7,          // the BGRx caps cannot be set on the sink
    AddSource = 8,             // missing, a folder, unreadable (resource error)
    ConnectSource = 9,         // unknown type, no decoder, no video, undecodable
    AddNullRenderer = 10,      // converter / source elements cannot be created or added
    ConnectNullRenderer = 11,  // converter and sink cannot be linked
    KeepSamples = 12,          // the sink cannot be configured to keep samples
    ConnectedType = 17,        // prerolled, but no BGRx sample or caps to read
};

struct BuildMessage {
    MessageKind kind = MessageKind::Monitoring;
    std::string text;  // line breaks are "\r\n"
};

// The fixed message of a failed step for a program, or nothing when the
// step fails silently (CreateGraph in both programs, ConnectedType in the
// setup utility, None).
std::optional<BuildMessage> MessageForStep(FrameSourceProgram program, BuildStep step);

// Shows MessageForStep(program, step) on sink, if there is one; a non-empty
// `detail` goes with it (MessageSink::ShowDetailedMessage).
void ReportBuildFailure(MessageSink& sink, FrameSourceProgram program, BuildStep step,
                        const std::string& detail = std::string());

}  // namespace hv
