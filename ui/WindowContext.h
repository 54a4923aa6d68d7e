// What the program's windows reach of the application that opens them, named by what each
// window reads and changes, so that no window depends on the application object itself. The
// application implements it; the state it stands for is the application's shared state.
#pragma once

#include "protocol/ConnectionState.h"

#include <QString>
#include <cstdint>

class CDialog;
class CInstrumentChannel;
class CMolvarInstrument;
class QWidget;

// The configured instrument; nothing is configured while the name is empty.
struct SConfiguredInstrument {
    QString strName;
    QString strHostName;
    std::uint32_t dwIPAddress = 0;
};

// Who holds the configured instrument, as the last verification reported it (address 0: nobody).
struct SClaimOwner {
    QString strHostName;
    std::uint32_t dwIPAddress = 0;
};

class CWindowContext {
public:
    // ---- Every window: this computer and the one way to the instruments ----
    virtual QString LocalHostName() const = 0;
    // The link's addresses: the source of every request, the destination of the broadcasts.
    virtual std::uint32_t LocalAddress() const = 0;
    virtual std::uint32_t BroadcastAddress() const = 0;
    // Sends every request and routes every reply; none when the program has no link.
    virtual CInstrumentChannel* Channel() = 0;

    // ---- The configured instrument: shown by the main connection window, forgotten by its
    // release and moved by its repair; read by the claim selection window's release check; set
    // by a granted claim or rename ----
    virtual SConfiguredInstrument ConfiguredInstrument() const = 0;
    virtual void SetConfiguredInstrument(const SConfiguredInstrument& instrument) = 0;

    // ---- Its connection state, and the owner its verification reported: shown and moved by
    // the main connection window; a granted claim or rename makes it ready ----
    virtual EConnectionState ConnectionState() const = 0;
    virtual void SetConnectionState(EConnectionState nState) = 0;
    virtual SClaimOwner ClaimOwner() const = 0;
    virtual void SetClaimOwner(const SClaimOwner& owner) = 0;

    // ---- The windows, which the application opens modally over pParent and records while
    // they run; each returns the window's result ----
    // From the main connection window.
    virtual int RunClaimInstrumentSelection(QWidget* pParent) = 0;
    virtual int RunRenameInstrumentSelection(QWidget* pParent) = 0;
    // From the selection windows, for the instrument chosen in the list.
    virtual int RunClaimInstrument(const CMolvarInstrument& instrument, QWidget* pParent) = 0;
    virtual int RunRenameInstrument(const CMolvarInstrument& instrument, QWidget* pParent) = 0;
    // The open selection window, which the main connection window asks to look again after a
    // release; the main connection window while it is visible, which the claim selection window
    // asks for a release.
    virtual CDialog* GetOpenSelectionDialog() const = 0;
    virtual CDialog* GetVisibleConnectionDialog() const = 0;

protected:
    ~CWindowContext() = default;
};
