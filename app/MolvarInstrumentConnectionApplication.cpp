#include "app/MolvarInstrumentConnectionApplication.h"

#include "app/ConfigurationStore.h"
#include "app/InstrumentChannel.h"
#include "app/Logging.h"
#include "app/NetworkAdapterSelection.h"
#include "app/TerminationSignals.h"
#include "link/UDPInstrumentInterface.h"
#include "platform/window/MessageBox.h"
#include "platform/window/WideText.h"
#include "ui/claim/ClaimInstrumentDialog.h"
#include "ui/claim/ClaimInstrumentSelectionDialog.h"
#include "ui/connection/MolvarInstrumentConnectionDialog.h"
#include "ui/rename/RenameInstrumentDialog.h"
#include "ui/rename/RenameInstrumentSelectionDialog.h"

#include <QApplication>
#include <QObject>
#include <cerrno>
#include <cstring>
#include <new>

// The icon lives in this library; a static library's resources need an explicit start, and
// outside any namespace.
static void InitResources() {
    Q_INIT_RESOURCE(resources);
}

namespace {
// The main window's caption, also the default caption of the message boxes.
const QString CAPTION = QStringLiteral("Tavik Instrument Connection");
} // namespace

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
    // The socket thread only posts; the window thread learns of the end of the setup as an event,
    // between the windows' own.
    m_pLinkEvents = std::make_unique<QObject>();
    m_pInstrumentInterface->SetSetupNotification(
        [this, pEvents = m_pLinkEvents.get()](ELinkSetup nSetup) {
            QMetaObject::invokeMethod(
                pEvents, [this, nSetup] { OnLinkSetupEnded(nSetup); }, Qt::QueuedConnection);
        });
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
    SetAppName(CAPTION);
    SetRegistryKey(QStringLiteral("Korvane Solutions, Inc."));
    LoadSettings();
    m_nConnectionState = InitialConnectionState(!m_strInstrumentName.isEmpty());
    qCDebug(AppCategory) << "start:" << ConnectionStateName(m_nConnectionState);
    {
        CMolvarInstrumentConnectionDialog dlg(*this);
        RunModalRecorded(dlg, m_pConnectionDialog);
        if (LinkHoldsPort()) {
            SaveSettings();
        }
    }
    return false;
}

void CMolvarInstrumentConnectionApplication::OnLinkSetupEnded(ELinkSetup nSetup) {
    if (nSetup != ELinkSetup::Failed || m_bLinkFailed) {
        return;
    }
    m_bLinkFailed = true;
    const QString strText = LinkFailureText();
    qCWarning(AppCategory).noquote() << strText;
    if (IsEndingRun()) {
        return; // the windows are closing already
    }
    // Nothing goes out and no other box is shown while the user reads this one, which is modal
    // over whatever window is on top; then every window closes.
    BeginEndingRun();
    ShowMessageBox(QApplication::activeModalWidget(), strText, CAPTION, EMessageIcon::Exclamation);
    EndRun();
}

bool CMolvarInstrumentConnectionApplication::LinkHoldsPort() {
    // Closed before the link had given up or bound: a few seconds at most, with no window left.
    if (!m_bLinkFailed && m_pInstrumentInterface->WaitForSetup(
                              CUDPInstrumentInterface::SETUP_TIMEOUT_MS) != ELinkSetup::Bound) {
        m_bLinkFailed = true;
        qCWarning(AppCategory).noquote() << LinkFailureText();
    }
    return !m_bLinkFailed;
}

QString CMolvarInstrumentConnectionApplication::LinkFailureText() const {
    const unsigned nPort = m_pInstrumentInterface->GetLocalPort();
    const int nError = m_pInstrumentInterface->GetLastSocketError();
    if (nError == EADDRINUSE) {
        return QStringLiteral("UDP port %1 is in use by another program, probably another "
                              "tavik-connection or tavikctl.  The instruments cannot be reached "
                              "without it, and the program will close.")
            .arg(nPort);
    }
    return QStringLiteral("The connection to the instruments could not be set up on UDP port %1: "
                          "%2.  The program will close.")
        .arg(nPort)
        .arg(nError != 0 ? QString::fromLocal8Bit(std::strerror(nError))
                         : QStringLiteral("the socket could not be opened"));
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
