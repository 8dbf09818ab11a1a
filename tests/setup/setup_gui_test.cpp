// hvconfig's "Save Parameters" on a full disk (a file size limit, with
// SIGXFSZ ignored): the failure is reported in a box, the values stay in
// the program and the file keeps the previous save, complete.
#include <gtest/gtest.h>

#include "config/configuration.h"
#include "hardening_util.h"
#include "ui/message_box.h"
#include "setup/setup_main_window.h"

namespace hvhard {
namespace {

TEST(SetupFaults, SaveOnAFullDiskIsReportedAndKeepsThePreviousSave) {
    TempFolder dir("setupsave");
    const hv::setup::SetupPaths paths = hv::setup::SetupPaths::ForFolder(dir.path());
    hv::SetupConfigState s = hv::SetupStartupDefaults(dir.path().string());
    s.geometry = kVideoGeometry;
    hv::setup::SetupMainWindow w(paths, s);
    std::vector<QString> boxes;
    hv::ui::SetMessageBoxHook([&](QWidget*, QMessageBox::Icon, const QString& caption,
                                  const QString& text, QMessageBox::StandardButtons) {
        boxes.push_back(caption + ": " + text);
        return QMessageBox::Ok;
    });
    ASSERT_TRUE(w.SaveParameters());
    const std::string before = ReadFile(paths.configFile);
    ASSERT_FALSE(before.empty());
    {
        ScopedFileSizeLimit limit(16);
        EXPECT_FALSE(w.SaveParameters());
    }
    hv::ui::SetMessageBoxHook({});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].startsWith("Save Parameters")) << boxes[0].toStdString();
    EXPECT_EQ(ReadFile(paths.configFile), before);
    EXPECT_EQ(w.Record().geometry, kVideoGeometry);
    EXPECT_TRUE(w.SaveParameters());  // and once there is room again
}

}  // namespace
}  // namespace hvhard
