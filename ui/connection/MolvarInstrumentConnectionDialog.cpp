#include "ui/connection/MolvarInstrumentConnectionDialog.h"

#include "app/InstrumentChannel.h"
#include "app/TerminationSignals.h"
#include "link/DatagramNotifyTarget.h"
#include "model/AddressText.h"
#include "platform/AnsiCodePage.h"
#include "platform/window/Controls.h"
#include "platform/window/WideText.h"
#include "protocol/ConnectionState.h"
#include "protocol/OutcomeTexts.h"
#include "ui/WindowMessages.h"
#include "ui/WindowNotifyTarget.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QString CAPTION = QStringLiteral("Tavik Instrument Connection");
// The version the project is built as, as --version answers it.
const QString TITLE = QStringLiteral("Tavik Instrument Connection v" TAVIK_VERSION);
const QString NONE_TEXT = QStringLiteral("{none}");
const QString CLAIM_TEXT = QStringLiteral("Claim an Instrument...");
const QString RELEASE_TEXT = QStringLiteral("Release Instrument");

} // namespace

CMolvarInstrumentConnectionDialog::CMolvarInstrumentConnectionDialog(CWindowContext& context,
                                                                     QWidget* pParent)
    : CDialog(pParent), m_context(context), m_icon(QStringLiteral(":/icons/tavik-connection.svg")) {
    auto* pGroup = new QGroupBox(QStringLiteral("Current Configuration"), this);
    pGroup->setAccessibleName(pGroup->title());

    m_pNameLabel = new QLabel(QStringLiteral("Instrument name:"), pGroup);
    m_pAddressLabel = new QLabel(QStringLiteral("Instrument address:"), pGroup);
    m_pStatusLabel = new QLabel(QStringLiteral("Connection status:"), pGroup);
    m_pNameEdit = MakeLabelledField(m_pNameLabel, false);
    m_pAddressEdit = MakeLabelledField(m_pAddressLabel, false);
    m_pStatusEdit = MakeLabelledField(m_pStatusLabel, false);

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
    setWindowIcon(m_icon);
    if (CInstrumentChannel* pChannel = m_context.Channel()) {
        pChannel->SetNotifyTarget(CWindowNotifyTarget::ForWindow(GetSafeHwnd()));
        m_registration.Register(pChannel->Router(), {MSG_RELEASE, MSG_REPAIR, MSG_VERIFY},
                                "main connection window");
    }
    UpdateDisplay();
    StartExchange(&CConnectionExchange::StartVerification, EAttemptCount::FromZero);
    m_pCloseButton->setFocus();
    return false;
}

// ---- Display ------------------------------------------------------------------------------

void CMolvarInstrumentConnectionDialog::UpdateDisplay() {
    const EConnectionState nState = m_context.ConnectionState();
    const SClaimOwner owner = m_context.ClaimOwner();
    const std::optional<std::u16string> strStatus =
        ConnectionStatusText(nState, ToWideView(owner.strHostName), owner.dwIPAddress);
    if (!strStatus) {
        return; // an unknown state leaves the window as it is
    }
    const SConfiguredInstrument configured = m_context.ConfiguredInstrument();
    QString strName = configured.strName;
    QString strAddress =
        FromWide(FormatHostAndAddress(ToWideView(configured.strHostName), configured.dwIPAddress));
    QString strClaimText = CLAIM_TEXT;
    bool bClaimEnabled = true;
    bool bRepairEnabled = false;
    QPushButton* pFocus = m_pClaimButton;
    switch (nState) {
    case CONNECTION_VERIFYING:
        bClaimEnabled = false;
        pFocus = m_pCloseButton;
        break;
    case CONNECTION_NOT_CONFIGURED:
        strName = NONE_TEXT;
        strAddress = NONE_TEXT;
        break;
    case CONNECTION_READY:
        strClaimText = RELEASE_TEXT;
        break;
    case CONNECTION_NOT_READY:
        strClaimText = RELEASE_TEXT;
        bRepairEnabled = true;
        pFocus = m_pRepairButton;
        break;
    case CONNECTION_NOT_CLAIMED:
        break;
    }

    m_pNameEdit->setText(strName);
    m_pAddressEdit->setText(strAddress);
    m_pStatusEdit->setText(FromWide(*strStatus));
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
    switch (m_context.ConnectionState()) {
    case CONNECTION_READY:
    case CONNECTION_NOT_READY:
        StartExchange(&CConnectionExchange::StartRelease, EAttemptCount::FromZero);
        break;
    case CONNECTION_NOT_CONFIGURED:
    case CONNECTION_NOT_CLAIMED:
        m_context.RunClaimInstrumentSelection(this);
        OnSelectionWindowClosed();
        break;
    default:
        break;
    }
}

void CMolvarInstrumentConnectionDialog::OnRepairConnection() {
    StartExchange(&CConnectionExchange::StartRepair, EAttemptCount::FromZero);
}

void CMolvarInstrumentConnectionDialog::OnRenameInstrument() {
    m_context.RunRenameInstrumentSelection(this);
    OnSelectionWindowClosed();
}

void CMolvarInstrumentConnectionDialog::OnClose() {
    EndDialog(0);
}

void CMolvarInstrumentConnectionDialog::OnSelectionWindowClosed() {
    m_context.SetConnectionState(ConnectionStateAfterSelection(m_context.ConnectionState()));
    UpdateDisplay();
    if (m_context.ConnectionState() == CONNECTION_VERIFYING) {
        StartExchange(&CConnectionExchange::StartVerification, EAttemptCount::FromZero);
    }
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
    CInstrumentChannel* pChannel = m_context.Channel();
    return pChannel != nullptr && pChannel->RouteWaiting() ? 0 : 1;
}

bool CMolvarInstrumentConnectionDialog::IsTakingReplies() const {
    return IsWindowVisible() && IsWaitingForReply();
}

void CMolvarInstrumentConnectionDialog::TakeReply(const SDatagramView& datagram) {
    HandleResponse(datagram);
}

// ---- Exchanges ----------------------------------------------------------------------------

void CMolvarInstrumentConnectionDialog::StartVerification() {
    StartExchange(&CConnectionExchange::StartVerification, EAttemptCount::Kept);
}

void CMolvarInstrumentConnectionDialog::StartRelease() {
    StartExchange(&CConnectionExchange::StartRelease, EAttemptCount::Kept);
}

void CMolvarInstrumentConnectionDialog::StartRepair() {
    StartExchange(&CConnectionExchange::StartRepair, EAttemptCount::Kept);
}

void CMolvarInstrumentConnectionDialog::StartExchange(StartStep pfnStart, EAttemptCount nCount) {
    if (m_nResponseTimer != 0) {
        return; // a reply is still awaited
    }
    if (IsEndingRun()) {
        return; // the windows are closing after a termination signal: nothing new goes out
    }
    Act((m_exchange.*pfnStart)(Target(), nCount));
}

SConnectionTarget CMolvarInstrumentConnectionDialog::Target() {
    SConnectionTarget target;
    // The views point into copies that last until the next call.
    m_targetInstrument = m_context.ConfiguredInstrument();
    m_strTargetLocalHostName = m_context.LocalHostName();
    target.strInstrumentName = ToWideView(m_targetInstrument.strName);
    target.strLocalHostName = ToWideView(m_strTargetLocalHostName);
    target.dwInstrumentAddress = m_targetInstrument.dwIPAddress;
    target.dwBroadcastAddress = m_context.BroadcastAddress();
    target.bConfigured = m_context.ConnectionState() != CONNECTION_NOT_CONFIGURED;
    return target;
}

// A reply timer's event is the time-out of the exchange that waits.
void CMolvarInstrumentConnectionDialog::OnTimer(unsigned nIDEvent) {
    if ((nIDEvent == ID_RELEASE_RESPONSE_TIMER_EVENT ||
         nIDEvent == ID_REPAIR_RESPONSE_TIMER_EVENT ||
         nIDEvent == ID_VERIFY_RESPONSE_TIMER_EVENT) &&
        m_nResponseTimer != 0) {
        StopRunningTimer(m_nResponseTimer);
        Act(m_exchange.OnTimeout(Target()));
    }
    CDialog::OnTimer(nIDEvent);
}

void CMolvarInstrumentConnectionDialog::HandleResponse(const SDatagramView& datagram) {
    if (m_nResponseTimer == 0) {
        return;
    }
    Act(m_exchange.OnReply(datagram.payload));
}

void CMolvarInstrumentConnectionDialog::Act(const SConnectionStep& step) {
    if (step.bStopTimer) {
        StopRunningTimer(m_nResponseTimer);
    }
    if (step.nEvent == EConnectionEvent::Sent) {
        if (IsEndingRun()) {
            return; // a repetition after a termination signal does not go out
        }
        // Without a channel the request counts as a failed send: the exchange runs on to its
        // time-out.
        if (CInstrumentChannel* pChannel = m_context.Channel()) {
            pChannel->Send(step.request);
        }
        m_nResponseTimer = SetTimer(step.nTimerId, CConnectionExchange::RESPONSE_TIMER_PERIOD_MS);
        return;
    }
    // What the user is told before the state changes, and what the step changes besides.
    switch (step.nEvent) {
    case EConnectionEvent::VerificationFailed:
        ShowMessage(FromWide(TEXT_VERIFICATION_FAILED), EMessageIcon::Exclamation);
        break;
    case EConnectionEvent::Released:
        if (const std::optional<std::u16string_view> strText = ReleaseStatusText(step.nStatus)) {
            ShowMessage(FromWide(*strText), EMessageIcon::Information);
        }
        break;
    case EConnectionEvent::ReleaseUnanswered:
        // Forgotten all the same, while the instrument may still hold this computer's claim.
        ShowMessage(FromWide(TEXT_RELEASE_UNANSWERED), EMessageIcon::Exclamation);
        break;
    case EConnectionEvent::NotClaimed: {
        SClaimOwner owner = m_context.ClaimOwner();
        if (step.bOwnerReported) {
            // Bounded by the field: an owner name without its NUL is read as its 64 bytes.
            owner.strHostName = FromWide(AnsiToWide(step.strOwnerHostName));
        }
        owner.dwIPAddress = step.dwAddress;
        m_context.SetClaimOwner(owner);
        break;
    }
    case EConnectionEvent::Repaired: {
        SConfiguredInstrument configured = m_context.ConfiguredInstrument();
        configured.dwIPAddress = step.dwAddress;
        m_context.SetConfiguredInstrument(configured);
        break;
    }
    default:
        break;
    }
    const std::optional<EConnectionState> nState = ConnectionStateAfter(step);
    if (nState == CONNECTION_NOT_CONFIGURED) {
        // A release, answered or not, forgets the configuration.
        m_context.SetConfiguredInstrument({});
    }
    if (nState) {
        m_context.SetConnectionState(*nState);
        UpdateDisplay();
    }
    // What the user is told after.
    switch (step.nEvent) {
    case EConnectionEvent::Repaired:
        ShowMessage(FromWide(TEXT_REPAIRED), EMessageIcon::Information);
        break;
    case EConnectionEvent::RepairFailed:
        ShowMessage(FromWide(TEXT_REPAIR_FAILED), EMessageIcon::Question);
        break;
    case EConnectionEvent::Released:
    case EConnectionEvent::ReleaseUnanswered:
        // The open selection window looks again at once, unless a cycle is under way, so that
        // its list soon shows the instrument released.
        if (CDialog* pSelection = m_context.GetOpenSelectionDialog()) {
            pSelection->PostMessage(WM_REFRESH_INSTRUMENTS);
        }
        break;
    default:
        break;
    }
}

void CMolvarInstrumentConnectionDialog::ShowMessage(const QString& strText, EMessageIcon nIcon) {
    if (IsEndingRun()) {
        return; // an exchange's end on the way out: the box that says why stays alone
    }
    ShowMessageBox(this, strText, CAPTION, nIcon, EMessageButtons::Ok);
}

// ---- Closing ------------------------------------------------------------------------------

void CMolvarInstrumentConnectionDialog::OnDestroy() {
    // An exchange still waiting is abandoned.
    StopRunningTimer(m_nResponseTimer);
    m_registration.Unregister();
    CDialog::OnDestroy();
}
