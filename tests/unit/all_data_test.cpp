#include "platform/registry.h"
#include "platform/text.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/runtime/application.h"
#include "tamberlin/sysutil/folders.h"
#include "tamberlin/sysutil/paths.h"
#include "tamberlin/sysutil/registry.h"
#include "tests/support/app_state.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

namespace {

using namespace modQFAllData;
using tamberlin::runtime::App;
using tamberlin::testing::kSep;
namespace reg = tamberlin::platform::registry;

constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Each case plays the program with its own registry.
class InitAppDataTest : public tamberlin::testing::AppStateTest {
protected:
    tamberlin::testing::RegistrySandbox sandbox_;
};

// The folder and title taken: values coverage cannot see.
TEST_F(InitAppDataTest, ProgramFolderIsTheExecutablesWhenItsNameMatchesInAnyCase) {
    using namespace modQFSystemUtilities;
    const std::string exe = GetExecutablePath();
    const std::string base = GetFileBaseName(GetFileName(exe));
    const std::string elsewhere = kSep + "elsewhere";
    App().SetPath(elsewhere);
    App().SetEXEName(tamberlin::platform::UpperCase(App().EXEName()));
    InitAppData();
    // A name without an extension (as on Linux) has no base name, so there
    // the run-time's folder is taken.
    EXPECT_EQ(strAppPath, base.empty() ? elsewhere + kSep : GetFolderPath(exe));

    App().SetEXEName("some-other-program");
    App().SetTitle("Tamberlin Test");
    InitAppData();
    EXPECT_EQ(strAppPath, elsewhere + kSep);
    EXPECT_EQ(strAppEXEName, "some-other-program");
    EXPECT_EQ(strAppTitle, "Tamberlin Test");

    const std::string root = kSep == "\\" ? "C:\\" : "/";
    App().SetPath(root);
    InitAppData();
    EXPECT_EQ(strAppPath, root); // one separator, not two
}

TEST_F(InitAppDataTest, DataFolderIsBelowTheRegisteredAppDataOrRelativeWithoutIt) {
    InitAppData();
    const std::string app_data = modQFSystemUtilities::GetAppDataPath();
    ASSERT_FALSE(app_data.empty());
    EXPECT_EQ(strAppDataPath, app_data + "Quillfern" + kSep + "Tamberlin" + kSep);
    const tamberlin::testing::RegistryValueGuard registered(reg::kCurrentUser, 0, kShellFolders,
                                                            "AppData");
    ASSERT_EQ(registered.Set(std::nullopt), 0);
    InitAppData();
    EXPECT_EQ(strAppDataPath, "Quillfern" + kSep + "Tamberlin" + kSep);
}

} // namespace
