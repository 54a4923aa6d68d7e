// The application object: the state every window shares, start-up and shut-down.
#pragma once

#include "link/Messages.h"
#include "platform/NetworkAdapters.h"
#include "platform/window/WinApp.h"
#include "protocol/ConnectionState.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CInstrumentChannel;
class CDialog;
class QWidget;
class CUDPInstrumentInterface;
class CMolvarInstrumentConnectionDialog;
class CClaimInstrumentSelectionDialog;
class CClaimInstrumentDialog;
class CRenameInstrumentSelectionDialog;
class CRenameInstrumentDialog;

using NetworkAdapterListing = std::optional<std::vector<SNetworkAdapter>>;

class CMolvarInstrumentConnectionApplication : public CWinApp {
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
    bool InitInstance() override;

    // The selection windows, run modally over pParent with their window pointer recorded.
    int RunClaimInstrumentSelection(QWidget* pParent);
    int RunRenameInstrumentSelection(QWidget* pParent);
    // The open selection window, if any; the main connection window, if open and visible.
    CDialog* GetOpenSelectionDialog() const;
    CDialog* GetVisibleConnectionDialog() const;

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
};
