// An application built against the installed Tamberlin services: it starts
// the way a Tamberlin program does and traps one failing statement.
#include <cstdint>
#include <cstdio>
#include <tamberlin/services.h>

int main() {
    tamberlin::runtime::App().SetTitle("Consumer");
    modQFAllData::InitAppData();
    // The vendor folder an installer would have made; the error log goes
    // beneath it.
    modQFSystemUtilities::EnsureFolder(modQFSystemUtilities::GetAppDataPath() + "Quillfern", true);
    // Crashes leave a record; the ones earlier runs left are reported now.
    tamberlin::errors::InstallCrashHandler();
    tamberlin::errors::ReportPendingCrashes();
    std::printf("title: %s\ndata folder: %s\n", modQFAllData::strAppTitle.c_str(),
                modQFAllData::strAppDataPath.c_str());

    // The error goes to the critical error handler: it logs it and shows the
    // Application Error dialog, whose answer decides whether to go on.
    std::int16_t response = 0;
    const bool continued = tamberlin::errors::Trap(
        "opening the settings file", [] { throw tamberlin::runtime::RuntimeError(53); }, &response);
    std::printf("response: %d (%s)\n", response, continued ? "continued" : "left");
    std::printf("error log: %s\n", modQFCriticalErrorHandler::GetErrorLogPath().c_str());
    return continued ? 0 : 1;
}
