#include "ui/connection/MolvarInstrumentConnectionDialog.h"

#include "app/Logging.h"
#include "app/MolvarInstrumentConnectionApplication.h"
#include "link/UDPInstrumentInterface.h"
#include "model/AddressText.h"
#include "platform/AnsiCodePage.h"
#include "platform/window/Controls.h"
#include "platform/window/WideText.h"
#include "platform/window/WindowNotifyTarget.h"
#include "ui/WindowMessages.h"
#include "ui/claim/ClaimInstrumentDialog.h"
#include "ui/claim/ClaimInstrumentSelectionDialog.h"
#include "ui/rename/RenameInstrumentDialog.h"
#include "ui/rename/RenameInstrumentSelectionDialog.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

namespace {

const QString CAPTION = QStringLiteral("Tavik Instrument Connection");
const QString TITLE = QStringLiteral("Tavik Instrument Connection v2.1.0");
const QString NONE_TEXT = QStringLiteral("{none}");
const QString CLAIM_TEXT = QStringLiteral("Claim an Instrument...");
const QString RELEASE_TEXT = QStringLiteral("Release Instrument");

QString HostAndAddress(const QString& strHostName, std::uint32_t dwAddress) {
    return FromWide(FormatHostAndAddress(ToWideView(strHostName), dwAddress));
}

QString AddressText(std::uint32_t dwAddress) {
    return FromWide(FormatAddress(dwAddress));
}

QLineEdit* MakeField(QLabel* pLabel, QWidget* pParent) {
    auto* pEdit = new QLineEdit(pParent);
    MakeReadOnlyField(pEdit);
    // The field is named after its label, colon included.
    pEdit->setAccessibleName(pLabel->text());
    pLabel->setAccessibleName(pLabel->text());
    pLabel->setBuddy(pEdit);
    return pEdit;
}

} // namespace

CMolvarInstrumentConnectionDialog::CMolvarInstrumentConnectionDialog(
    CMolvarInstrumentConnectionApplication& app, QWidget* pParent)
    : CDialog(pParent), m_app(app), m_hIcon(QStringLiteral(":/icons/tavik-connection.svg")) {
    auto* pGroup = new QGroupBox(QStringLiteral("Current Configuration"), this);
    pGroup->setAccessibleName(pGroup->title());

    m_pNameLabel = new QLabel(QStringLiteral("Instrument name:"), pGroup);
    m_pAddressLabel = new QLabel(QStringLiteral("Instrument address:"), pGroup);
    m_pStatusLabel = new QLabel(QStringLiteral("Connection status:"), pGroup);
    m_pNameEdit = MakeField(m_pNameLabel, pGroup);
    m_pAddressEdit = MakeField(m_pAddressLabel, pGroup);
    m_pStatusEdit = MakeField(m_pStatusLabel, pGroup);

    // Wide enough for the longest text a field shows in practice: an owner with a host name of
    // the full 63 characters; anything wider scrolls inside its field.
    const QString strWidest = QStringLiteral("Claimed by %1 [255.255.255.255]")
                                  .arg(QString(TEXT_FIELD_MAX_UNITS, QLatin1Char('n')));
    const int nFieldWidth = m_pStatusEdit->fontMetrics().horizontalAdvance(strWidest) +
                            m_pStatusEdit->fontMetrics().averageCharWidth() * 4;
    for (QLineEdit* pEdit : {m_pNameEdit, m_pAddressEdit, m_pStatusEdit}) {
        pEdit->setMinimumWidth(nFieldWidth);
    }

    m_pClaimButton = MakePushButton(CLAIM_TEXT, pGroup);
    m_pClaimButton->setDefault(true);
    m_pRepairButton = MakePushButton(QStringLiteral("Repair Connection"), pGroup);
    m_pRenameButton = MakePushButton(QStringLiteral("Rename an Instrument..."), pGroup);
    m_pCloseButton = MakePushButton(QStringLiteral("Close"), pGroup);
    // The claim button's text changes; keep it wide enough for both.
    const int nButtonWidth =
        std::max({m_pClaimButton->sizeHint().width(), m_pRenameButton->sizeHint().width(),
                  m_pClaimButton->fontMetrics().horizontalAdvance(RELEASE_TEXT) +
                      m_pClaimButton->fontMetrics().averageCharWidth() * 4});
    for (QPushButton* pButton :
         {m_pClaimButton, m_pRepairButton, m_pRenameButton, m_pCloseButton}) {
        pButton->setMinimumWidth(nButtonWidth);
    }

    auto* pFields = new QFormLayout;
    pFields->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    pFields->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    pFields->addRow(m_pNameLabel, m_pNameEdit);
    pFields->addRow(m_pAddressLabel, m_pAddressEdit);
    pFields->addRow(m_pStatusLabel, m_pStatusEdit);

    auto* pButtons = new QVBoxLayout;
    pButtons->addWidget(m_pClaimButton);
    pButtons->addWidget(m_pRepairButton);
    pButtons->addWidget(m_pRenameButton);
    pButtons->addStretch(1);
    pButtons->addWidget(m_pCloseButton);

    auto* pGroupLayout = new QHBoxLayout(pGroup);
    pGroupLayout->addLayout(pFields, 1);
    pGroupLayout->addSpacing(8);
    pGroupLayout->addLayout(pButtons);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(pGroup);
    pLayout->setSizeConstraint(QLayout::SetMinimumSize);

    setTabOrder(m_pNameEdit, m_pAddressEdit);
    setTabOrder(m_pAddressEdit, m_pStatusEdit);
    setTabOrder(m_pStatusEdit, m_pClaimButton);
    setTabOrder(m_pClaimButton, m_pRepairButton);
    setTabOrder(m_pRepairButton, m_pRenameButton);
    setTabOrder(m_pRenameButton, m_pCloseButton);

    connect(m_pClaimButton, &QPushButton::clicked, this,
            &CMolvarInstrumentConnectionDialog::OnClaimInstrument);
    connect(m_pRepairButton, &QPushButton::clicked, this,
            &CMolvarInstrumentConnectionDialog::OnRepairConnection);
    connect(m_pRenameButton, &QPushButton::clicked, this,
            &CMolvarInstrumentConnectionDialog::OnRenameInstrument);
    connect(m_pCloseButton, &QPushButton::clicked, this,
            &CMolvarInstrumentConnectionDialog::OnClose);
}

CMolvarInstrumentConnectionDialog::~CMolvarInstrumentConnectionDialog() = default;

// ---- Opening ------------------------------------------------------------------------------

bool CMolvarInstrumentConnectionDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    setWindowTitle(TITLE);
    setWindowIcon(m_hIcon);
    if (m_app.m_pInstrumentInterface) {
        m_app.m_pInstrumentInterface->m_hNotifyWnd.store(
            CWindowNotifyTarget::ForWindow(GetSafeHwnd()));
    }
    UpdateDisplay();
    m_nVerifyAttempts = 0;
    StartVerification();
    m_pCloseButton->setFocus();
    return false;
}

// ---- Display ------------------------------------------------------------------------------

void CMolvarInstrumentConnectionDialog::UpdateDisplay() {
    QString strName = m_app.m_strInstrumentName;
    QString strAddress =
        HostAndAddress(m_app.m_strInstrumentHostName, m_app.m_dwInstrumentIPAddress);
    QString strStatus;
    QString strClaimText = CLAIM_TEXT;
    bool bClaimEnabled = true;
    bool bRepairEnabled = false;
    QPushButton* pFocus = m_pClaimButton;

    switch (m_app.m_nConnectionState) {
    case CONNECTION_VERIFYING:
        strStatus = QStringLiteral("Verifying current configuration...");
        bClaimEnabled = false;
        pFocus = m_pCloseButton;
        break;
    case CONNECTION_NOT_CONFIGURED:
        strName = NONE_TEXT;
        strAddress = NONE_TEXT;
        strStatus = QStringLiteral("Not configured");
        break;
    case CONNECTION_READY:
        strStatus = QStringLiteral("Ready");
        strClaimText = RELEASE_TEXT;
        break;
    case CONNECTION_NOT_READY:
        strStatus = QStringLiteral("Not ready");
        strClaimText = RELEASE_TEXT;
        bRepairEnabled = true;
        pFocus = m_pRepairButton;
        break;
    case CONNECTION_NOT_CLAIMED:
        strStatus =
            m_app.m_dwClaimOwnerIPAddress == 0
                ? QStringLiteral("Not claimed")
                : QStringLiteral("Claimed by ") +
                      HostAndAddress(m_app.m_strClaimOwnerName, m_app.m_dwClaimOwnerIPAddress);
        break;
    default:
        return; // an unknown state leaves the window as it is
    }

    m_pNameEdit->setText(strName);
    m_pAddressEdit->setText(strAddress);
    m_pStatusEdit->setText(strStatus);
    for (QLineEdit* pEdit : {m_pNameEdit, m_pAddressEdit, m_pStatusEdit}) {
        pEdit->setCursorPosition(0);
    }
    m_pClaimButton->setText(strClaimText);
    m_pClaimButton->setAccessibleName(strClaimText);
    m_pClaimButton->setEnabled(bClaimEnabled);
    m_pRepairButton->setEnabled(bRepairEnabled);
    pFocus->setFocus();
}

// ---- Buttons ------------------------------------------------------------------------------

void CMolvarInstrumentConnectionDialog::OnClaimInstrument() {
    switch (m_app.m_nConnectionState) {
    case CONNECTION_READY:
    case CONNECTION_NOT_READY:
        m_nReleaseAttempts = 0;
        StartRelease();
        break;
    case CONNECTION_NOT_CONFIGURED:
    case CONNECTION_NOT_CLAIMED: {
        CClaimInstrumentSelectionDialog dlg(m_app, this);
        m_app.m_pClaimInstrumentSelectionDialog = &dlg;
        dlg.DoModal();
        m_app.m_pClaimInstrumentSelectionDialog = nullptr;
        OnSelectionWindowClosed();
        break;
    }
    default:
        break;
    }
}

void CMolvarInstrumentConnectionDialog::OnRepairConnection() {
    m_nRepairAttempts = 0;
    StartRepair();
}

void CMolvarInstrumentConnectionDialog::OnRenameInstrument() {
    CRenameInstrumentSelectionDialog dlg(m_app, this);
    m_app.m_pRenameInstrumentSelectionDialog = &dlg;
    dlg.DoModal();
    m_app.m_pRenameInstrumentSelectionDialog = nullptr;
    OnSelectionWindowClosed();
}

void CMolvarInstrumentConnectionDialog::OnClose() {
    EndDialog(0);
}

void CMolvarInstrumentConnectionDialog::OnSelectionWindowClosed() {
    if (m_app.m_nConnectionState == CONNECTION_NOT_CONFIGURED) {
        UpdateDisplay();
        return;
    }
    m_app.m_nConnectionState = CONNECTION_VERIFYING;
    UpdateDisplay();
    m_nVerifyAttempts = 0;
    StartVerification();
}

// ---- Window messages ----------------------------------------------------------------------

std::intptr_t CMolvarInstrumentConnectionDialog::OnWindowMessage(unsigned nMessage,
                                                                 std::uintptr_t wParam,
                                                                 std::intptr_t lParam) {
    switch (nMessage) {
    case WM_INSTRUMENT_DATAGRAM:
        return RouteDatagram();
    case WM_RELEASE_INSTRUMENT:
        // The claim selection window's release keeps the count the last release left.
        StartRelease();
        return 0;
    default:
        return CDialog::OnWindowMessage(nMessage, wParam, lParam);
    }
}

int CMolvarInstrumentConnectionDialog::RouteDatagram() {
    CUDPInstrumentInterface* pLink = m_app.m_pInstrumentInterface;
    if (!pLink) {
        return 1;
    }
    std::array<std::uint8_t, MAX_DATAGRAM_SIZE> abDatagram{};
    std::uint32_t dwLength = 0;
    if (!pLink->TakeDatagram(&dwLength, abDatagram.data()) || dwLength > abDatagram.size()) {
        return 1;
    }
    const std::optional<DatagramView> datagram =
        ParseDatagram(std::span<const std::uint8_t>(abDatagram.data(), dwLength));
    if (!datagram) {
        qCDebug(AppCategory) << "datagram dropped: not a whole datagram, length" << dwLength;
        return 0;
    }
    const DatagramHeader& header = datagram->header;
    if (header.dwDestination == pLink->m_dwBroadcastAddress) {
        qCDebug(AppCategory).noquote() << "datagram dropped: to the broadcast address, from"
                                       << AddressText(header.dwSource) << "length" << dwLength;
        return 0;
    }
    // A datagram without a payload carries no code and reaches nobody.
    if (datagram->payload.empty()) {
        qCDebug(AppCategory).noquote()
            << "datagram dropped: no payload, from" << AddressText(header.dwSource);
        return 0;
    }

    const std::uint8_t nCode = datagram->payload[0];
    const char* pszTarget = "nobody";
    switch (nCode) {
    case MSG_CLAIM:
        if (CClaimInstrumentDialog* pDialog = m_app.m_pClaimInstrumentDialog;
            pDialog && pDialog->IsWindowVisible() && pDialog->IsWaitingForReply()) {
            pszTarget = "claim window";
            pDialog->HandleClaimReply(abDatagram.data(), dwLength);
        }
        break;
    case MSG_DISCOVERY_REPLY:
        if (CClaimInstrumentSelectionDialog* pDialog = m_app.m_pClaimInstrumentSelectionDialog;
            pDialog && pDialog->IsWindowVisible()) {
            pszTarget = "claim selection window";
            pDialog->HandleDiscoveryReply(abDatagram.data(), dwLength);
        } else if (CRenameInstrumentSelectionDialog* pRename =
                       m_app.m_pRenameInstrumentSelectionDialog;
                   pRename && pRename->IsWindowVisible()) {
            pszTarget = "rename selection window";
            pRename->HandleDiscoveryReply(abDatagram.data(), dwLength);
        }
        break;
    case MSG_RELEASE:
    case MSG_REPAIR:
    case MSG_VERIFY:
        // Only the reply to the request that waits: a release or repair reply from anyone on the
        // segment during a verification would otherwise forget or move the configuration.
        if (CMolvarInstrumentConnectionDialog* pDialog = m_app.m_pConnectionDialog;
            pDialog && pDialog->IsWindowVisible() && pDialog->IsWaitingForReply() &&
            pDialog->GetPendingRequest() == nCode) {
            pszTarget = "main connection window";
            pDialog->HandleResponse(abDatagram.data(), dwLength);
        }
        break;
    case MSG_RENAME:
        if (CRenameInstrumentDialog* pDialog = m_app.m_pRenameInstrumentDialog;
            pDialog && pDialog->IsWindowVisible() && pDialog->IsWaitingForReply()) {
            pszTarget = "rename window";
            pDialog->HandleRenameReply(abDatagram.data(), dwLength);
        }
        break;
    default:
        break; // 1 and 7 and above: no window takes them
    }
    qCDebug(AppCategory).noquote()
        << "datagram code" << nCode << "from" << AddressText(header.dwSource) << "to"
        << AddressText(header.dwDestination) << "length" << dwLength << "->" << pszTarget;
    return 0;
}

// ---- Exchanges ----------------------------------------------------------------------------

void CMolvarInstrumentConnectionDialog::StartVerification() {
    if (m_app.m_nConnectionState == CONNECTION_NOT_CONFIGURED) {
        return;
    }
    StartExchange(MSG_VERIFY, m_app.m_dwInstrumentIPAddress, ID_VERIFY_RESPONSE_TIMER_EVENT,
                  m_nVerifyAttempts);
}

void CMolvarInstrumentConnectionDialog::StartRelease() {
    StartExchange(MSG_RELEASE, m_app.m_dwInstrumentIPAddress, ID_RELEASE_RESPONSE_TIMER_EVENT,
                  m_nReleaseAttempts);
}

void CMolvarInstrumentConnectionDialog::StartRepair() {
    const std::uint32_t dwBroadcast = m_app.m_pInstrumentInterface
                                          ? m_app.m_pInstrumentInterface->m_dwBroadcastAddress
                                          : m_app.m_dwBroadcastIPAddress;
    StartExchange(MSG_REPAIR, dwBroadcast, ID_REPAIR_RESPONSE_TIMER_EVENT, m_nRepairAttempts);
}

void CMolvarInstrumentConnectionDialog::StartExchange(MessageCode nCode,
                                                      std::uint32_t dwDestination,
                                                      unsigned nTimerId, std::uint32_t& nAttempts) {
    if (m_nResponseTimer != 0) {
        return; // a reply is still awaited
    }
    const auto abPayload = BuildNamedRequest(nCode, ToWideView(m_app.m_strInstrumentName),
                                             ToWideView(m_app.m_strLocalHostName));
    m_nPendingRequest = nCode;
    // Without a link the request counts as a failed send: the exchange runs on to its time-out.
    if (CUDPInstrumentInterface* pLink = m_app.m_pInstrumentInterface) {
        pLink->m_dwDestinationAddress = dwDestination;
        pLink->m_dwSourceAddress = pLink->m_dwLocalAddress;
        const int nStatus =
            pLink->Send(abPayload.data(), static_cast<std::uint32_t>(abPayload.size()));
        qCDebug(AppCategory).noquote() << "request code" << int(nCode) << "to"
                                       << AddressText(dwDestination) << "status" << nStatus;
    }
    ++nAttempts;
    m_nResponseTimer = SetTimer(nTimerId, RESPONSE_TIMER_PERIOD_MS);
}

// A reply timer's event is the time-out of the exchange that waits.
void CMolvarInstrumentConnectionDialog::OnTimer(unsigned nIDEvent) {
    if ((nIDEvent == ID_RELEASE_RESPONSE_TIMER_EVENT ||
         nIDEvent == ID_REPAIR_RESPONSE_TIMER_EVENT ||
         nIDEvent == ID_VERIFY_RESPONSE_TIMER_EVENT) &&
        m_nResponseTimer != 0) {
        HandleResponse(nullptr, 0);
    }
    CDialog::OnTimer(nIDEvent);
}

void CMolvarInstrumentConnectionDialog::HandleResponse(const std::uint8_t* pbDatagram,
                                                       std::uint32_t dwLength) {
    if (m_nResponseTimer != 0) {
        KillTimer(m_nResponseTimer);
    }
    m_nResponseTimer = 0;

    if (!pbDatagram) {
        HandleTimeout();
        return;
    }
    const std::optional<DatagramView> datagram =
        ParseDatagram(std::span<const std::uint8_t>(pbDatagram, dwLength));
    if (!datagram || datagram->payload.empty()) {
        return;
    }
    switch (datagram->payload[0]) {
    case MSG_RELEASE:
        HandleReleaseReply(datagram->payload);
        break;
    case MSG_REPAIR:
        HandleRepairReply(datagram->payload);
        break;
    case MSG_VERIFY:
        HandleVerifyReply(datagram->payload);
        break;
    default:
        break;
    }
}

void CMolvarInstrumentConnectionDialog::HandleTimeout() {
    switch (m_nPendingRequest) {
    case MSG_RELEASE:
        if (++m_nReleaseAttempts > 3) {
            m_nPendingRequest = NO_PENDING_REQUEST;
            m_nReleaseAttempts = 0;
            m_app.m_strInstrumentName.clear();
            m_app.m_strInstrumentHostName.clear();
            CompleteRelease();
        } else {
            StartRelease();
        }
        break;
    case MSG_REPAIR:
        if (++m_nRepairAttempts > 3) {
            m_nPendingRequest = NO_PENDING_REQUEST;
            m_nRepairAttempts = 0;
            ShowMessage(QStringLiteral("The connection could not be repaired.  Is the instrument "
                                       "turned on and connected to the network?"),
                        EMessageIcon::Question);
        } else {
            StartRepair();
        }
        break;
    case MSG_VERIFY:
        if (++m_nVerifyAttempts > 3) {
            m_nPendingRequest = NO_PENDING_REQUEST;
            m_nVerifyAttempts = 0;
            ShowMessage(QStringLiteral("The instrument connection could not be verified."),
                        EMessageIcon::Exclamation);
            m_app.m_nConnectionState = CONNECTION_NOT_READY;
            UpdateDisplay();
        } else {
            StartVerification();
        }
        break;
    default:
        break;
    }
}

void CMolvarInstrumentConnectionDialog::HandleReleaseReply(std::span<const std::uint8_t> payload) {
    const std::optional<std::uint8_t> nStatus = ReadStatusReply(payload, MSG_RELEASE);
    if (!nStatus) {
        return;
    }
    if (*nStatus == RELEASE_STATUS_IN_USE) {
        ShowMessage(QStringLiteral("The instrument is in use and the other client's claim may not "
                                   "be overridden."),
                    EMessageIcon::Information);
    } else if (*nStatus == RELEASE_STATUS_OVERRIDABLE) {
        ShowMessage(QStringLiteral("The instrument is claimed by another client, but that claim "
                                   "may be overridden."),
                    EMessageIcon::Information);
    }
    m_app.m_strInstrumentName.clear();
    m_app.m_strInstrumentHostName.clear();
    CompleteRelease();
}

void CMolvarInstrumentConnectionDialog::HandleRepairReply(std::span<const std::uint8_t> payload) {
    const std::optional<RepairReply> reply = ReadRepairReply(payload);
    if (!reply || !IsRepairDone(reply->bStatus)) {
        return;
    }
    m_app.m_dwInstrumentIPAddress = reply->dwAddress;
    m_app.m_nConnectionState = CONNECTION_READY;
    UpdateDisplay();
    ShowMessage(QStringLiteral("The connection has been repaired."), EMessageIcon::Information);
}

void CMolvarInstrumentConnectionDialog::HandleVerifyReply(std::span<const std::uint8_t> payload) {
    const std::optional<VerifyReply> reply = ReadVerifyReply(payload);
    if (!reply) {
        return;
    }
    if (IsClaimHeldByClient(reply->bStatus)) {
        m_app.m_nConnectionState = CONNECTION_READY;
        UpdateDisplay();
        return;
    }
    const std::uint8_t* pbDescription = reply->description.data();
    if (IsOwnerReported(pbDescription[InstrumentDescription::CLAIMED])) {
        // Bounded by the field: an owner name without its NUL is read as its 64 bytes.
        m_app.m_strClaimOwnerName = FromWide(
            AnsiToWide(ReadTextField(pbDescription + InstrumentDescription::OWNER_HOST_NAME)));
        m_app.m_dwClaimOwnerIPAddress =
            ReadHeaderAddress(pbDescription + InstrumentDescription::OWNER_ADDRESS);
    } else {
        m_app.m_dwClaimOwnerIPAddress = 0;
    }
    m_app.m_nConnectionState = CONNECTION_NOT_CLAIMED;
    UpdateDisplay();
}

void CMolvarInstrumentConnectionDialog::CompleteRelease() {
    m_app.m_dwInstrumentIPAddress = 0;
    m_app.m_nConnectionState = CONNECTION_NOT_CONFIGURED;
    UpdateDisplay();
    // The open selection window looks again at once, unless a cycle is under way, so that its
    // list soon shows the instrument released.
    CDialog* pSelection = m_app.m_pClaimInstrumentSelectionDialog;
    if (!pSelection) {
        pSelection = m_app.m_pRenameInstrumentSelectionDialog;
    }
    if (pSelection) {
        pSelection->PostMessage(WM_REFRESH_INSTRUMENTS);
    }
}

void CMolvarInstrumentConnectionDialog::ShowMessage(const QString& strText, EMessageIcon nIcon) {
    ShowMessageBox(this, strText, CAPTION, nIcon, EMessageButtons::Ok);
}

// ---- Closing ------------------------------------------------------------------------------

void CMolvarInstrumentConnectionDialog::OnDestroy() {
    // An exchange still waiting is abandoned.
    if (m_nResponseTimer != 0) {
        KillTimer(m_nResponseTimer);
        m_nResponseTimer = 0;
    }
    CDialog::OnDestroy();
}
