// The seams between a service's portable half and its per-target files: what
// each target's file provides as the real thing, and what the portable half
// puts a test's stand-in in front of (clock::PinForTesting,
// mapi::InstallProvider, cdo::InstallSessionFactory).
#pragma once

#include "platform/cdo.h"
#include "platform/clock.h"
#include "platform/simple_mapi.h"

namespace tamberlin::platform {

namespace clock {
// The system's local time (clock_win32.cpp, clock_posix.cpp).
LocalTime SystemNow();
LocalTime SystemUtcNow();
// A local time as UTC, by the system's time zone rules.
LocalTime UtcFromLocal(const LocalTime& local);
} // namespace clock

namespace mapi {
// MAPI32.DLL (simple_mapi_win32.cpp) or the xdg-email provider
// (simple_mapi_xdg.cpp).
Provider& SystemProvider();
} // namespace mapi

namespace cdo {
// A new "MAPI.Session": the COM object (cdo_win32.cpp) or ours over simple
// MAPI (cdo_mapi.cpp).
ObjectPtr CreateSystemSession();
} // namespace cdo

} // namespace tamberlin::platform
