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

namespace tamberlin::testing {
namespace {

template <typename T> void Keep(std::vector<std::function<void()>>& restore, T& variable) {
    restore.push_back([&variable, value = variable] { variable = value; });
}

} // namespace

AppStateTest::AppStateTest() {
    Keep(restore_, runtime::App());
    {
        using namespace modQFAllData;
        Keep(restore_, strAppTitle);
        Keep(restore_, strAppEXEName);
        Keep(restore_, strAppPath);
        Keep(restore_, strAppDataPath);
        Keep(restore_, intDecimalSeparator);
        Keep(restore_, strFontName);
        Keep(restore_, dblFontSize);
        Keep(restore_, picAppPicture);
        Keep(restore_, intLayoutSpacing);
        Keep(restore_, lngInterfaceColours);
        Keep(restore_, strSpacer1);
        Keep(restore_, strSpacer2);
    }
    {
        using namespace modQFCriticalErrorHandler;
        Keep(restore_, strErrorLogFolder);
        Keep(restore_, blnLogErrorShown);
        Keep(restore_, blnDefaultAllowEmail);
        Keep(restore_, blnDefaultAllowAbort);
        Keep(restore_, AbortHook);
    }
    // Restored in reverse order: the host first, so the pointer's change
    // reaches the host that was current.
    restore_.push_back([pointer = ui::MousePointer()] {
        if (ui::MousePointer() != pointer)
            ui::SetMousePointer(pointer);
    });
    restore_.push_back([host = &ui::CurrentHost()] { ui::SetHost(host); });
}

AppStateTest::~AppStateTest() {
    for (auto restore = restore_.rbegin(); restore != restore_.rend(); ++restore)
        (*restore)();
    platform::clock::PinForTesting(nullptr);
    platform::mapi::InstallProvider(nullptr);
    platform::cdo::InstallSessionFactory(nullptr);
}

} // namespace tamberlin::testing
