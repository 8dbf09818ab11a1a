// Command identifiers of the player's main window. A menu item, its keyboard
// shortcut and its control-row button share one id and one handler.
#pragma once

namespace hv::player {

enum CommandId : int {
    kCmdLoad = 100,
    kCmdAbout = 103,
    kCmdExit = 107,
    kCmdHelp = 110,
    kStartPicture = 515,
    kCmdVideoInfo = 597,
    kCmdSetup = 650,
    kCmdDraft = 652,
    kCmdMixed = 653,
    kCmdHigh = 654,
    kCmdGrayscale = 656,
    kCmdRepeat = 662,
    kPositionBar = 680,
    kCmdSound = 683,
    kCmdLevel1 = 684,  // .. kCmdLevel5 = 688
    kCmdLevel5 = 688,
    kCmdRestart = 689,
    kCmdFlip = 691,
    kLogoStrip = 700,
    kCmdPlay = 3100,
    kCmdPause = 3101,
    kCmdSoften = 3102,
    kCmdLeft = 3900,
    kCmdRight = 3901,
    kCmdUp = 3902,
    kCmdDown = 3903,
    kCmdStopMotion = 3904,
    kCmdZoomIn = 3907,
    kCmdZoomOut = 3908,
    kCmdViewStandard = 3920,  // "View resolution" items
    kCmdViewWindow = 3921,
    kCmdSaveSnapshot = 3930,
    kCmdRecordPath = 3931,
    kCmdExportVideo = 3932,
    kCmdSaveSnapshotAtSize = 3933,
};

}  // namespace hv::player
