// Where the settings files live: beside the program when its folder can be
// written, else in the user's configuration folder.
#include "config/settings_location.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "config_test_util.h"
#include "read_only_folder.h"

namespace {

namespace fs = std::filesystem;
using hvtest::TempFolder;

// Sets (or with nullopt unsets) an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(SettingsLocation, UserFolderFollowsXdgThenHome) {
    TempFolder home;
    ScopedEnv h("HOME", home.path().string());
    {
        ScopedEnv x("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(hv::UserSettingsFolder(), home / ".config/halvora360") << "XDG unset";
    }
    {
        ScopedEnv x("XDG_CONFIG_HOME", "");
        EXPECT_EQ(hv::UserSettingsFolder(), home / ".config/halvora360") << "XDG empty";
    }
    {
        ScopedEnv x("XDG_CONFIG_HOME", "relative/cfg");
        EXPECT_EQ(hv::UserSettingsFolder(), home / ".config/halvora360") << "XDG relative";
    }
    {
        ScopedEnv x("XDG_CONFIG_HOME", (home / "cfg").string());
        EXPECT_EQ(hv::UserSettingsFolder(), home / "cfg/halvora360");
    }
}

TEST(SettingsLocation, ProgramFolderWhenWritableElseUserFolder) {
    TempFolder program, config;
    ScopedEnv x("XDG_CONFIG_HOME", config.path().string());

    EXPECT_TRUE(hv::FolderIsWritable(program.path()));
    EXPECT_EQ(hv::SettingsFolderFor(program.path()), program.path());
    EXPECT_FALSE(hv::FolderIsWritable(program / "missing"));
    EXPECT_EQ(hv::SettingsFolderFor(program / "missing"), config / "halvora360");

    // The injected test decides, whatever the folder really allows.
    EXPECT_EQ(hv::SettingsFolderFor(program.path(), [](const fs::path&) { return false; }),
              config / "halvora360");

    // A real read-only folder (as root: an immutable one).
    hvtest::ReadOnlyFolder readOnly(program.path());
    if (!readOnly.Active()) GTEST_SKIP() << "cannot make a folder read-only here";
    EXPECT_FALSE(hv::FolderIsWritable(program.path()));
    EXPECT_EQ(hv::SettingsFolderFor(program.path()), config / "halvora360");
}

TEST(SettingsLocation, UserFolderCreatedOnSaveAndReadBack) {
    TempFolder config;
    const fs::path dir = config / "a/b/halvora360";
    ASSERT_FALSE(fs::exists(dir));
    ASSERT_TRUE(hv::EnsureSettingsFolder(dir).ok);
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_TRUE(hv::EnsureSettingsFolder(dir).ok) << "an existing folder is fine";

    hv::SetupConfigState saved = hv::SetupStartupDefaults("/v");
    saved.geometry = {100, 40, 380, 370, 30, 1, 0};
    ASSERT_TRUE(hv::WriteConfiguration(dir / hv::kConfigurationFileName, saved).ok);
    hv::PlayerConfigState player = hv::PlayerStartupDefaults();
    EXPECT_EQ(hv::ReadConfiguration(dir / hv::kConfigurationFileName, player),
              hv::ReadOutcome::FromFile);
    EXPECT_EQ(player.geometry.left, 100);
    EXPECT_EQ(player.flipMode, 1);

    // A folder that cannot be made (its parent is a file) gives the reason.
    hvtest::WriteBytes(config / "file", "x");
    const hv::WriteResult r = hv::EnsureSettingsFolder(config / "file/halvora360");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("file/halvora360"), std::string::npos) << r.error;
}

}  // namespace
