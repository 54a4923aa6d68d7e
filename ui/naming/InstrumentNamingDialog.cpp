#include "ui/naming/InstrumentNamingDialog.h"

#include "app/InstrumentChannel.h"
#include "app/TerminationSignals.h"
#include "model/AddressText.h"
#include "platform/window/Controls.h"
#include "platform/window/WideText.h"
#include "protocol/ConnectionState.h"
#include "protocol/InstrumentName.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* AddBox(QFormLayout* pForm, const QString& strLabel, bool bEditable, QWidget* pParent) {
    auto* pLabel = new QLabel(strLabel, pParent);
    QLineEdit* pEdit = MakeLabelledField(pLabel, bEditable);
    pEdit->setMinimumWidth(300);
    pForm->addRow(pLabel, pEdit);
    return pEdit;
}

} // namespace

CInstrumentNamingDialog::CInstrumentNamingDialog(CWindowContext& context,
                                                 const SInstrumentNamingTraits& traits,
                                                 const QString& strHostName,
                                                 const QString& strCurrentName,
                                                 const QString& strName, std::uint32_t dwIPAddress,
                                                 QWidget* pParent)
    : CDialog(pParent), m_context(context), m_traits(traits), m_strHostName(strHostName),
      m_strCurrentName(strCurrentName), m_strName(strName), m_dwIPAddress(dwIPAddress),
      m_exchange(traits.kind, dwIPAddress, ToWideView(context.LocalHostName())) {
    BuildControls();
}

CInstrumentNamingDialog::~CInstrumentNamingDialog() = default;

void CInstrumentNamingDialog::BuildControls() {
    setWindowTitle(QString::fromUtf8(m_traits.pszTitle));

    auto* pForm = new QFormLayout;
    pForm->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    if (m_traits.nLayout == ENamingLayout::Claim) {
        m_pNameEdit = AddBox(pForm, QStringLiteral("Instrument name:"), true, this);
        m_pAddressEdit = AddBox(pForm, QStringLiteral("Instrument address:"), false, this);
        m_pOwnerEdit = AddBox(pForm, QStringLiteral("Owner name:"), false, this);
    } else {
        m_pCurrentNameEdit = AddBox(pForm, QStringLiteral("Instrument name:"), false, this);
        m_pAddressEdit = AddBox(pForm, QStringLiteral("Instrument address:"), false, this);
        m_pNameEdit = AddBox(pForm, QStringLiteral("New instrument name:"), true, this);
    }
    connect(m_pNameEdit, &QLineEdit::textChanged, this, [this] { OnNameChanged(); });

    m_pActionButton = MakePushButton(QString::fromUtf8(m_traits.pszActionText), this);
    m_pActionButton->setDefault(m_traits.bActionIsDefault);
    connect(m_pActionButton, &QPushButton::clicked, this, [this] { SendNamedRequest(); });
    m_pCancelButton = MakePushButton(QStringLiteral("Cancel"), this);
    connect(m_pCancelButton, &QPushButton::clicked, this, [this] { EndDialog(0); });

    auto* pFrame = new QGroupBox(this);
    auto* pFrameLayout = new QVBoxLayout(pFrame);
    pFrameLayout->addLayout(pForm);
    auto* pActionRow = new QHBoxLayout;
    pActionRow->addStretch(1);
    pActionRow->addWidget(m_pActionButton);
    pFrameLayout->addLayout(pActionRow);

    auto* pBottom = new QHBoxLayout;
    pBottom->addStretch(1);
    pBottom->addWidget(m_pCancelButton);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(pFrame);
    pLayout->addLayout(pBottom);
    pLayout->setSizeConstraint(QLayout::SetMinimumSize);
}

bool CInstrumentNamingDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    m_pCancelButton->setEnabled(true);
    m_pActionButton->setEnabled(true);
    if (CInstrumentChannel* pChannel = m_context.Channel()) {
        m_registration.Register(pChannel->Router(), {m_traits.kind.nCode}, m_traits.pszRouteName);
    }

    QWidget* pFocus = m_pNameEdit;
    if (m_traits.nLayout == ENamingLayout::Claim) {
        if (!m_strName.isEmpty()) {
            // Claimed under the name it has. Setting the text is a change like any other, so
            // the name check judges it too.
            m_pNameEdit->setText(m_strName);
            m_pNameEdit->setEnabled(false);
            pFocus = m_pActionButton;
        }
    } else {
        m_pCurrentNameEdit->setText(m_strCurrentName);
        m_pNameEdit->setEnabled(true);
    }
    m_pAddressEdit->setText(
        FromWide(FormatHostAndAddress(ToWideView(m_strHostName), m_dwIPAddress)));
    if (m_pOwnerEdit != nullptr) {
        m_pOwnerEdit->setText(FromWide(
            FormatHostAndAddress(ToWideView(m_context.LocalHostName()), m_context.LocalAddress())));
    }
    pFocus->setFocus(Qt::OtherFocusReason);
    return false;
}

void CInstrumentNamingDialog::OnNameChanged() {
    // The check may show a message box, whose event loop lets the user type on (or a test
    // change the text): those changes are judged afterwards, on the text the box holds then.
    if (m_bChecking) {
        m_bCheckPending = true;
        return;
    }
    m_bChecking = true;
    do {
        m_bCheckPending = false;
        CheckName();
    } while (m_bCheckPending);
    m_bChecking = false;
}

void CInstrumentNamingDialog::CheckName() {
    const QString strText = m_pNameEdit->text();
    switch (CheckInstrumentName(ToWideView(strText))) {
    case ENameCheck::Empty:
        return; // the last name that passed stays
    case ENameCheck::TooLong:
        ShowMessage(FromWide(NameTooLongText()), EMessageIcon::Exclamation);
        m_pNameEdit->setFocus(Qt::OtherFocusReason);
        return;
    case ENameCheck::Reserved:
        ShowMessage(FromWide(ReservedNameText(ToWideView(strText))), EMessageIcon::Exclamation);
        m_pNameEdit->setFocus(Qt::OtherFocusReason);
        return;
    case ENameCheck::Valid:
        m_strName = strText;
        return;
    }
}

void CInstrumentNamingDialog::SendNamedRequest() {
    if (m_nResponseTimer != 0) {
        return; // a request already waits for its reply
    }
    if (IsEndingRun()) {
        return; // closing after a termination signal: nothing new goes out
    }
    Act(m_exchange.Send(ToWideView(m_strName)));
}

void CInstrumentNamingDialog::OnTimer(unsigned nIDEvent) {
    if (nIDEvent == m_traits.kind.nTimerId && m_nResponseTimer != 0) {
        StopRunningTimer(m_nResponseTimer);
        Act(m_exchange.OnTimeout(ToWideView(m_strName)));
    }
    CDialog::OnTimer(nIDEvent);
}

bool CInstrumentNamingDialog::IsTakingReplies() const {
    return IsWindowVisible() && IsWaitingForReply();
}

void CInstrumentNamingDialog::TakeReply(const SDatagramView& datagram) {
    HandleNamedReply(datagram);
}

void CInstrumentNamingDialog::HandleNamedReply(const SDatagramView& datagram) {
    if (m_nResponseTimer == 0) {
        return;
    }
    // A reply that cannot be read is ignored as if it had not come: the retries go on.
    Act(m_exchange.OnReply(datagram.payload));
}

void CInstrumentNamingDialog::Act(const SNamingStep& step) {
    if (step.bStopTimer) {
        StopRunningTimer(m_nResponseTimer);
    }
    const SNamingKind& kind = m_traits.kind;
    switch (step.nEvent) {
    case ENamingEvent::None:
        break;
    case ENamingEvent::NoName:
        ShowMessage(FromWide(kind.strNoNameText), EMessageIcon::Exclamation);
        m_pNameEdit->setFocus(Qt::OtherFocusReason);
        break;
    case ENamingEvent::Sent:
        if (IsEndingRun()) {
            return; // a repetition after a termination signal does not go out
        }
        // A request that did not go out is handled like one that got no reply.
        if (CInstrumentChannel* pChannel = m_context.Channel()) {
            pChannel->Send(step.request);
        }
        m_nResponseTimer = SetTimer(kind.nTimerId, kind.nTimerPeriodMs);
        // Disabled while the request is under way. Had it the focus, the name box takes it, so
        // the user can go on typing; without a name box the window keeps it and Enter does
        // nothing.
        if (focusWidget() == m_pActionButton && m_pNameEdit->isEnabled()) {
            m_pNameEdit->setFocus(Qt::OtherFocusReason);
        }
        m_pActionButton->setEnabled(false);
        break;
    case ENamingEvent::NoResponse:
        ShowMessage(FromWide(kind.strNoResponseText), EMessageIcon::Exclamation);
        EndDialog(-1);
        break;
    case ENamingEvent::Refused:
        ShowMessage(FromWide(kind.strRefusedText), EMessageIcon::Exclamation);
        EndDialog(-1);
        break;
    case ENamingEvent::Granted:
        m_context.SetConfiguredInstrument({m_strName, m_strHostName, m_dwIPAddress});
        m_context.SetConnectionState(*ConnectionStateAfter(step));
        ShowMessage(FromWide(kind.strGrantedText), EMessageIcon::Information);
        EndDialog(-1);
        break;
    }
}

void CInstrumentNamingDialog::OnCancel() {
    EndDialog(m_traits.nCancelResult);
}

void CInstrumentNamingDialog::OnDestroy() {
    CDialog::OnDestroy();
    StopRunningTimer(m_nResponseTimer);
    m_registration.Unregister();
}

void CInstrumentNamingDialog::ShowMessage(const QString& strText, EMessageIcon nIcon) {
    if (IsEndingRun()) {
        return; // a request's time-out on the way out: the box that says why stays alone
    }
    ShowMessageBox(this, strText, QString::fromUtf8(m_traits.pszTitle), nIcon);
}
