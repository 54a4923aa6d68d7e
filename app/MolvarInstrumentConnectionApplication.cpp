#include "app/MolvarInstrumentConnectionApplication.h"

#include "app/ConfigurationStore.h"
#include "app/InstrumentChannel.h"
#include "app/Logging.h"
#include "app/NetworkAdapterSelection.h"
#include "app/TerminationSignals.h"
#include "link/UDPInstrumentInterface.h"
#include "platform/window/WideText.h"
#include "ui/claim/ClaimInstrumentDialog.h"
#include "ui/claim/ClaimInstrumentSelectionDialog.h"
#include "ui/connection/MolvarInstrumentConnectionDialog.h"
#include "ui/rename/RenameInstrumentDialog.h"
#include "ui/rename/RenameInstrumentSelectionDialog.h"

#include <new>

// The icon lives in this library; a static library's resources need an explicit start, and
// outside any namespace.
static void InitResources() {
    Q_INIT_RESOURCE(resources);
}

CMolvarInstrumentConnectionApplication::CMolvarInstrumentConnectionApplication(
    const NetworkAdapterListing& adapters, std::uint16_t nLocalPort, std::uint16_t nPeerPort) {
    InitResources();
    InstallLinkLog();
    SelectNetworkAdapter(adapters);
    // Throws InterfaceException when the link cannot be built.
    m_pInstrumentInterface =
        GetInstrumentInterface(m_dwLocalIPAddress, m_dwBroadcastIPAddress, nLocalPort, nPeerPort);
    if (m_pInstrumentInterface == nullptr) {
        // Nothing works without the link, and nothing may read its host name.
        throw std::bad_alloc();
    }
    m_pChannel = std::make_unique<CInstrumentChannel>(*m_pInstrumentInterface);
    m_strLocalHostName = FromWide(m_pChannel->LocalHostName());
    qCDebug(AppCategory) << "local host" << m_strLocalHostName << "ports" << nLocalPort
                         << nPeerPort;
}

CMolvarInstrumentConnectionApplication::~CMolvarInstrumentConnectionApplication() {
    m_pChannel.reset();
    if (m_pInstrumentInterface != nullptr) {
        ReleaseInstrumentInterface();
        m_pInstrumentInterface = nullptr;
    }
}

bool CMolvarInstrumentConnectionApplication::InitInstance() {
    // Asked to end before the configuration was loaded (during the adapter question): there is
    // nothing to show and nothing of this run's to save.
    if (IsEndingRun()) {
        qCDebug(AppCategory) << "asked to end before start-up was complete";
        return false;
    }
    SetAppName(QStringLiteral("Tavik Instrument Connection"));
    SetRegistryKey(QStringLiteral("Korvane Solutions, Inc."));
    LoadSettings();
    m_nConnectionState = InitialConnectionState(!m_strInstrumentName.isEmpty());
    qCDebug(AppCategory) << "start:" << ConnectionStateName(m_nConnectionState);
    {
        CMolvarInstrumentConnectionDialog dlg(*this);
        RunModalRecorded(dlg, m_pConnectionDialog);
        SaveSettings();
    }
    return false;
}

std::uint32_t CMolvarInstrumentConnectionApplication::LocalAddress() const {
    return m_pChannel ? m_pChannel->LocalAddress() : m_dwLocalIPAddress;
}

std::uint32_t CMolvarInstrumentConnectionApplication::BroadcastAddress() const {
    return m_pChannel ? m_pChannel->BroadcastAddress() : m_dwBroadcastIPAddress;
}

SConfiguredInstrument CMolvarInstrumentConnectionApplication::ConfiguredInstrument() const {
    return {m_strInstrumentName, m_strInstrumentHostName, m_dwInstrumentIPAddress};
}

void CMolvarInstrumentConnectionApplication::SetConfiguredInstrument(
    const SConfiguredInstrument& instrument) {
    m_strInstrumentHostName = instrument.strHostName;
    m_dwInstrumentIPAddress = instrument.dwIPAddress;
    m_strInstrumentName = instrument.strName;
}

SClaimOwner CMolvarInstrumentConnectionApplication::ClaimOwner() const {
    return {m_strClaimOwnerName, m_dwClaimOwnerIPAddress};
}

void CMolvarInstrumentConnectionApplication::SetClaimOwner(const SClaimOwner& owner) {
    m_strClaimOwnerName = owner.strHostName;
    m_dwClaimOwnerIPAddress = owner.dwIPAddress;
}

int CMolvarInstrumentConnectionApplication::RunClaimInstrumentSelection(QWidget* pParent) {
    CClaimInstrumentSelectionDialog dlg(*this, pParent);
    return RunModalRecorded(dlg, m_pClaimInstrumentSelectionDialog);
}

int CMolvarInstrumentConnectionApplication::RunRenameInstrumentSelection(QWidget* pParent) {
    CRenameInstrumentSelectionDialog dlg(*this, pParent);
    return RunModalRecorded(dlg, m_pRenameInstrumentSelectionDialog);
}

int CMolvarInstrumentConnectionApplication::RunClaimInstrument(const CMolvarInstrument& instrument,
                                                               QWidget* pParent) {
    CClaimInstrumentDialog dlg(*this, FromWide(instrument.HostNameText()),
                               FromWide(instrument.NameText()), instrument.m_dwIPAddress, pParent);
    return RunModalRecorded(dlg, m_pClaimInstrumentDialog);
}

int CMolvarInstrumentConnectionApplication::RunRenameInstrument(const CMolvarInstrument& instrument,
                                                                QWidget* pParent) {
    CRenameInstrumentDialog dlg(*this, FromWide(instrument.HostNameText()),
                                FromWide(instrument.NameText()), instrument.m_dwIPAddress, pParent);
    return RunModalRecorded(dlg, m_pRenameInstrumentDialog);
}

CDialog* CMolvarInstrumentConnectionApplication::GetOpenSelectionDialog() const {
    if (m_pClaimInstrumentSelectionDialog != nullptr) {
        return m_pClaimInstrumentSelectionDialog;
    }
    return m_pRenameInstrumentSelectionDialog;
}

CDialog* CMolvarInstrumentConnectionApplication::GetVisibleConnectionDialog() const {
    if (m_pConnectionDialog != nullptr && m_pConnectionDialog->IsWindowVisible()) {
        return m_pConnectionDialog;
    }
    return nullptr;
}

void CMolvarInstrumentConnectionApplication::SelectNetworkAdapter(
    const NetworkAdapterListing& adapters) {
    m_dwLocalIPAddress = 0;
    m_dwBroadcastIPAddress = 0xFFFFFFFF;
    const SAdapterChoice choice = ChooseNetworkAdapter(adapters);
    m_dwLocalIPAddress = choice.dwLocalIPAddress;
    m_dwBroadcastIPAddress = choice.dwBroadcastIPAddress;
}

void CMolvarInstrumentConnectionApplication::LoadSettings() {
    SConfiguration configuration;
    if (CConfigurationStore::Load(configuration)) {
        m_strInstrumentName = configuration.strInstrumentName;
        m_strInstrumentHostName = configuration.strInstrumentHostName;
        m_dwInstrumentIPAddress = configuration.dwInstrumentIPAddress;
    }
}

void CMolvarInstrumentConnectionApplication::SaveSettings() {
    CConfigurationStore::Save(
        {m_strInstrumentName, m_strInstrumentHostName, m_dwInstrumentIPAddress});
}
