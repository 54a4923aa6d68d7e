// The window messages the program's windows post to each other (besides the link's
// WM_INSTRUMENT_DATAGRAM, link/DatagramNotifyTarget.h).
#pragma once

#include "platform/window/Dialog.h"

// The claim selection window asks the main connection window to release the configured
// instrument; both parameters 0.
constexpr unsigned WM_RELEASE_INSTRUMENT = WM_USER + 100; // 1124
// The main connection window tells the open selection window that a release has ended, so that
// it runs a discovery cycle at once unless one is under way; both parameters 0.
constexpr unsigned WM_REFRESH_INSTRUMENTS = WM_USER + 101; // 1125

static_assert(WM_RELEASE_INSTRUMENT == 1124 && WM_REFRESH_INSTRUMENTS == 1125);
