// The fixture of every test case that changes the application-wide state.
//
// Each case starts as the application usually does: titled "Tamberlin",
// executable "tamberlin", version 19.00.0019, its error log in the case's
// own temporary folder (temp_), and the clock pinned to 7 Dec 2026 09:05:03.
//
// Before the case it saves the application object, the start-up data, the
// error handler's switches, log folder and abort hook, the current UI host
// and the screen's mouse pointer, and puts them back after it however it
// ends. The seams a case may pin or replace but the process never does (the
// clock, the simple MAPI provider, the CDO session factory) go back to the
// system's. Under Wine all cases of an executable share one process: what
// one case left behind would be what the next one starts with.
//
// The state is saved when the fixture is made and restored when it goes
// away, so a derived fixture's own SetUp and TearDown need not call these,
// and its members (a scripted host, a temporary folder) come and go inside.
#pragma once

#include "tests/support/temp_folder.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tamberlin::testing {

class AppStateTest : public ::testing::Test {
protected:
    AppStateTest();
    ~AppStateTest() override;

    // The error log's text, and its number of lines.
    static std::string Log();
    static long LogLines();

    TempFolder temp_;

private:
    std::vector<std::function<void()>> restore_;
};

} // namespace tamberlin::testing
