// The CDO object model over an IDispatch the caller already holds: what
// CreateSystemSession wraps the created "MAPI.Session" in, and what a test
// wraps an IDispatch of its own in to see the calls as the COM object gets them.
#pragma once

#include <windows.h>

#include "platform/cdo.h"

#include <oaidl.h>

namespace tamberlin::platform::cdo {

// Takes over the caller's reference.
ObjectPtr FromDispatch(IDispatch* dispatch);

} // namespace tamberlin::platform::cdo
