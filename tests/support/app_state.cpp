#include "tests/support/app_state.h"

#include "platform/cdo.h"
#include "platform/clock.h"
#include "platform/simple_mapi.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/critical_error_handler.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/runtime/application.h"
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"

#include <algorithm>

namespace tamberlin::testing {
namespace {

template <typename... T> void Keep(std::vector<std::function<void()>>& restore, T&... variables) {
    (restore.push_back([&variables, value = variables] { variables = value; }), ...);
}

} // namespace

AppStateTest::AppStateTest() {
    using namespace modQFAllData;
    using namespace modQFCriticalErrorHandler;
    Keep(restore_, runtime::App(), strAppTitle, strAppEXEName, strAppPath, strAppDataPath,
         intDecimalSeparator, strFontName, dblFontSize, picAppPicture, intLayoutSpacing,
         lngInterfaceColours, strSpacer1, strSpacer2, strErrorLogFolder, blnLogErrorShown,
         blnDefaultAllowEmail, blnDefaultAllowAbort, AbortHook);
    // Restored in reverse order: the host first, so the pointer's change
    // reaches the host that was current.
    restore_.push_back([pointer = ui::MousePointer()] {
        if (ui::MousePointer() != pointer)
            ui::SetMousePointer(pointer);
    });
    restore_.push_back([host = &ui::CurrentHost()] { ui::SetHost(host); });

    strAppTitle = "Tamberlin";
    strAppEXEName = "tamberlin";
    strErrorLogFolder = temp_.Text();
    runtime::App().SetVersion(19, 0, 19);
    static const platform::clock::LocalTime kNow{2026, 12, 7, 9, 5, 3};
    platform::clock::PinForTesting(&kNow);
}

AppStateTest::~AppStateTest() {
    for (auto restore = restore_.rbegin(); restore != restore_.rend(); ++restore)
        (*restore)();
    platform::clock::PinForTesting(nullptr);
    platform::mapi::InstallProvider(nullptr);
    platform::cdo::InstallSessionFactory(nullptr);
}

std::string AppStateTest::Log() {
    return ReadFile(modQFCriticalErrorHandler::GetErrorLogPath());
}

long AppStateTest::LogLines() {
    const std::string log = Log();
    return std::count(log.begin(), log.end(), '\n');
}

} // namespace tamberlin::testing
