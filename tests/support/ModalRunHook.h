// Acting on a modal window from a test. DoModal blocks in its own event loop; while a
// CModalRunHook lives, its function is called once from inside every modal run that starts
// (nested windows included), when the window is shown and its focus placed. Tell windows apart
// with dynamic_cast; a window that the function does not end stays open.
//
//   CModalRunHook hook([&](CDialog& dlg) {
//       if (auto* pClaim = dynamic_cast<CClaimInstrumentDialog*>(&dlg)) { ...; return; }
//       QTimer::singleShot(0, &dlg, [&dlg] { dlg.EndDialog(IDCANCEL); });
//   });
#pragma once

#include "platform/window/Dialog.h"

#include <functional>

class CModalRunHook {
public:
    explicit CModalRunHook(std::function<void(CDialog&)> fnHook);
    ~CModalRunHook(); // no hook any more
    CModalRunHook(const CModalRunHook&) = delete;
    CModalRunHook& operator=(const CModalRunHook&) = delete;
};
