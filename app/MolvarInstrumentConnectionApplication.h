// The application object: the state every window shares, start-up and shut-down. The windows
// reach the shared state through CWindowContext, which the application implements; tests and
// start-up read and set the members themselves.
#pragma once

#include "link/Messages.h"
#include "platform/NetworkAdapters.h"
#include "platform/window/WinApp.h"
#include "protocol/ConnectionState.h"
#include "ui/WindowContext.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CInstrumentChannel;
class CUDPInstrumentInterface;
class QObject;
enum class ELinkSetup : std::uint8_t;
class CMolvarInstrumentConnectionDialog;
class CClaimInstrumentSelectionDialog;
class CClaimInstrumentDialog;
class CRenameInstrumentSelectionDialog;
class CRenameInstrumentDialog;

using NetworkAdapterListing = std::optional<std::vector<SNetworkAdapter>>;

class CMolvarInstrumentConnectionApplication : public CWinApp, public CWindowContext {
public:
    // First start-up phase: chooses the adapter from the listing (asking the user when several
    // qualify) and obtains the link. Throws InterfaceException when the link cannot be built.
    // The ports are the protocol's own unless a test chooses others.
    explicit CMolvarInstrumentConnectionApplication(const NetworkAdapterListing& adapters,
                                                    std::uint16_t nLocalPort = INSTRUMENT_PORT,
                                                    std::uint16_t nPeerPort = INSTRUMENT_PORT);
    ~CMolvarInstrumentConnectionApplication() override;

    // Second phase: loads the configuration, runs the main connection window modally, saves the
    // configuration. Returns false, which ends the program.
    //
    // The link may still be trying its port meanwhile. When it gives up (another program holds
    // the port), the user is told so over whatever window is on top, every window closes, and
    // nothing is saved: the configuration is the other program's to write.
    bool InitInstance() override;
    // The program's exit status once InitInstance has returned: 1 when the link could not take
    // its port, else 0.
    int ExitStatus() const { return m_bLinkFailed ? 1 : 0; }

    // CWindowContext: the shared state below, and the windows run modally with their window
    // pointer recorded.
    QString LocalHostName() const override { return m_strLocalHostName; }
    std::uint32_t LocalAddress() const override;
    std::uint32_t BroadcastAddress() const override;
    CInstrumentChannel* Channel() override { return m_pChannel.get(); }
    SConfiguredInstrument ConfiguredInstrument() const override;
    void SetConfiguredInstrument(const SConfiguredInstrument& instrument) override;
    EConnectionState ConnectionState() const override { return m_nConnectionState; }
    void SetConnectionState(EConnectionState nState) override { m_nConnectionState = nState; }
    SClaimOwner ClaimOwner() const override;
    void SetClaimOwner(const SClaimOwner& owner) override;
    int RunClaimInstrumentSelection(QWidget* pParent) override;
    int RunRenameInstrumentSelection(QWidget* pParent) override;
    int RunClaimInstrument(const CMolvarInstrument& instrument, QWidget* pParent) override;
    int RunRenameInstrument(const CMolvarInstrument& instrument, QWidget* pParent) override;
    CDialog* GetOpenSelectionDialog() const override;
    CDialog* GetVisibleConnectionDialog() const override;

    void SelectNetworkAdapter(const NetworkAdapterListing& adapters);
    void LoadSettings();
    void SaveSettings();

    QString m_strLocalHostName;
    QString m_strInstrumentName;
    QString m_strInstrumentHostName;
    std::uint32_t m_dwInstrumentIPAddress = 0;
    QString m_strClaimOwnerName;
    std::uint32_t m_dwClaimOwnerIPAddress = 0;
    EConnectionState m_nConnectionState = CONNECTION_VERIFYING;
    CUDPInstrumentInterface* m_pInstrumentInterface = nullptr;
    // The link's one send path, and the router that hands each datagram the link takes in to
    // the open window that waits for its code.
    std::unique_ptr<CInstrumentChannel> m_pChannel;
    std::uint32_t m_dwLocalIPAddress = 0;
    std::uint32_t m_dwBroadcastIPAddress = 0xFFFFFFFF;
    CMolvarInstrumentConnectionDialog* m_pConnectionDialog = nullptr;
    CClaimInstrumentSelectionDialog* m_pClaimInstrumentSelectionDialog = nullptr;
    CClaimInstrumentDialog* m_pClaimInstrumentDialog = nullptr;
    CRenameInstrumentSelectionDialog* m_pRenameInstrumentSelectionDialog = nullptr;
    CRenameInstrumentDialog* m_pRenameInstrumentDialog = nullptr;

private:
    // The link's announcement that its setup has ended, posted to the window thread.
    void OnLinkSetupEnded(ELinkSetup nSetup);
    // After the main window's run: whether the link holds its port, once its setup has ended.
    bool LinkHoldsPort();
    QString LinkFailureText() const;

    // Where the link's socket thread posts its setup announcement; outlives the link.
    std::unique_ptr<QObject> m_pLinkEvents;
    bool m_bLinkFailed = false;
};
