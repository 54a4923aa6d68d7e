// Window handles: numbers that name a window for as long as it exists and are never reused, so
// a message posted from another thread to a window that has gone is dropped safely.
#pragma once

#include <cstdint>

class QObject;

using HWND = std::uint32_t; // 0 is no window

HWND RegisterWindow(QObject* pWindow);
void UnregisterWindow(HWND hWnd);
// Thread-safe; false when the window no longer exists.
bool PostWindowMessage(HWND hWnd, unsigned nMessage, std::uintptr_t wParam = 0,
                       std::intptr_t lParam = 0);
// Called by a window before it looks at an event: orders the reading of a message posted from
// another thread after its writing also for ThreadSanitizer, which cannot see Qt's queue lock.
void AcquirePostedWindowMessages();
