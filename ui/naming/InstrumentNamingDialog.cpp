#include "ui/naming/InstrumentNamingDialog.h"

#include "app/MolvarInstrumentConnectionApplication.h"
#include "app/TerminationSignals.h"
#include "link/UDPInstrumentInterface.h"
#include "model/AddressText.h"
#include "platform/window/Controls.h"
#include "platform/window/WideText.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Names are shorter than a text field: 63 code units at most.
constexpr qsizetype NAME_LENGTH_LIMIT = TEXT_FIELD_SIZE;

// "Unnamed" is what the lists show for an instrument without a name, so no instrument may be
// given it. Only A to Z are compared without case, as the instruments' other clients do.
bool IsReservedName(const QString& strText) {
    static constexpr char16_t RESERVED[] = u"unnamed";
    constexpr qsizetype nLength = std::size(RESERVED) - 1;
    if (strText.size() != nLength) {
        return false;
    }
    for (qsizetype i = 0; i < nLength; ++i) {
        char16_t ch = strText.at(i).unicode();
        if (ch >= u'A' && ch <= u'Z') {
            ch = static_cast<char16_t>(ch - u'A' + u'a');
        }
        if (ch != RESERVED[i]) {
            return false;
        }
    }
    return true;
}

QLineEdit* AddBox(QFormLayout* pForm, const QString& strLabel, bool bEditable, QWidget* pParent) {
    auto* pLabel = new QLabel(strLabel, pParent);
    QLineEdit* pEdit = MakeLabelledField(pLabel, bEditable);
    pEdit->setMinimumWidth(300);
    pForm->addRow(pLabel, pEdit);
    return pEdit;
}

} // namespace

CInstrumentNamingDialog::CInstrumentNamingDialog(CMolvarInstrumentConnectionApplication& app,
                                                 const SInstrumentNamingTraits& traits,
                                                 QWidget* pParent)
    : CDialog(pParent), m_app(app), m_traits(traits) {
    BuildControls();
}

CInstrumentNamingDialog::~CInstrumentNamingDialog() = default;

void CInstrumentNamingDialog::BindMembers(QString& strHostName, QString& strName,
                                          const QString& strCurrentName, std::uint32_t& dwIPAddress,
                                          std::uint32_t& nTimeouts, unsigned& nResponseTimer) {
    m_pstrHostName = &strHostName;
    m_pstrName = &strName;
    m_pstrCurrentName = &strCurrentName;
    m_pdwIPAddress = &dwIPAddress;
    m_pnTimeouts = &nTimeouts;
    m_pnResponseTimer = &nResponseTimer;
}

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
    const CUDPInstrumentInterface* pLink = m_app.m_pInstrumentInterface;
    const std::uint32_t dwLocalAddress = pLink != nullptr ? pLink->m_dwLocalAddress : 0;

    QWidget* pFocus = m_pNameEdit;
    if (m_traits.nLayout == ENamingLayout::Claim) {
        if (!m_pstrName->isEmpty()) {
            // Claimed under the name it has. Setting the text is a change like any other, so
            // the name check judges it too.
            m_pNameEdit->setText(*m_pstrName);
            m_pNameEdit->setEnabled(false);
            pFocus = m_pActionButton;
        }
    } else {
        m_pCurrentNameEdit->setText(*m_pstrCurrentName);
        m_pNameEdit->setEnabled(true);
    }
    m_pAddressEdit->setText(
        FromWide(FormatHostAndAddress(ToWideView(*m_pstrHostName), *m_pdwIPAddress)));
    if (m_pOwnerEdit != nullptr) {
        m_pOwnerEdit->setText(
            FromWide(FormatHostAndAddress(ToWideView(m_app.m_strLocalHostName), dwLocalAddress)));
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
    if (strText.isEmpty()) {
        return; // the last name that passed stays
    }
    if (strText.size() >= NAME_LENGTH_LIMIT) {
        ShowMessage(QString::asprintf("An instrument name must be less than %u characters long.",
                                      static_cast<unsigned>(NAME_LENGTH_LIMIT)),
                    EMessageIcon::Exclamation);
        m_pNameEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (IsReservedName(strText)) {
        ShowMessage(QLatin1Char('"') + strText +
                        QStringLiteral("\" is not a valid instrument name."),
                    EMessageIcon::Exclamation);
        m_pNameEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    *m_pstrName = strText;
}

void CInstrumentNamingDialog::SendNamedRequest() {
    if (*m_pnResponseTimer != 0) {
        return; // a request already waits for its reply
    }
    if (IsEndingRun()) {
        return; // closing after a termination signal: nothing new goes out
    }
    if (m_pstrName->isEmpty()) {
        ShowMessage(QString::fromUtf8(m_traits.pszEmptyNameMessage), EMessageIcon::Exclamation);
        m_pNameEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    const auto payload = BuildNamedRequest(m_traits.nCode, ToWideView(*m_pstrName),
                                           ToWideView(m_app.m_strLocalHostName));
    if (CUDPInstrumentInterface* pLink = m_app.m_pInstrumentInterface) {
        pLink->m_dwDestinationAddress = *m_pdwIPAddress;
        pLink->m_dwSourceAddress = pLink->m_dwLocalAddress;
        // A request that did not go out is handled like one that got no reply.
        pLink->Send(payload.data(), static_cast<std::uint32_t>(payload.size()));
    }
    *m_pnResponseTimer = SetTimer(m_traits.nTimerId, m_traits.nTimerPeriodMs);
    // Disabled while the request is under way. Had it the focus, the name box takes it, so the
    // user can go on typing; without a name box the window keeps it and Enter does nothing.
    if (focusWidget() == m_pActionButton && m_pNameEdit->isEnabled()) {
        m_pNameEdit->setFocus(Qt::OtherFocusReason);
    }
    m_pActionButton->setEnabled(false);
}

void CInstrumentNamingDialog::OnTimer(unsigned nIDEvent) {
    if (nIDEvent == m_traits.nTimerId && *m_pnResponseTimer != 0) {
        KillTimer(*m_pnResponseTimer);
        ++*m_pnTimeouts;
        *m_pnResponseTimer = 0;
        if (*m_pnTimeouts <= MAX_REQUEST_RETRIES) {
            SendNamedRequest();
        } else {
            ShowMessage(QString::fromUtf8(m_traits.pszNoResponseMessage),
                        EMessageIcon::Exclamation);
            EndDialog(-1);
        }
    }
    CDialog::OnTimer(nIDEvent);
}

void CInstrumentNamingDialog::HandleNamedReply(const std::uint8_t* pbDatagram,
                                               std::uint32_t dwLength) {
    std::optional<std::uint8_t> bStatus;
    if (pbDatagram != nullptr) {
        if (const auto view = ParseDatagram({pbDatagram, dwLength})) {
            bStatus = ReadStatusReply(view->payload, m_traits.nCode);
        }
    }
    // A reply that cannot be read is ignored as if it had not come: the retries go on.
    if (!bStatus || *m_pnResponseTimer == 0) {
        return;
    }
    KillTimer(*m_pnResponseTimer);
    *m_pnResponseTimer = 0;
    if (*bStatus != STATUS_OK) {
        ShowMessage(QString::fromUtf8(m_traits.pszRefusedMessage), EMessageIcon::Exclamation);
        EndDialog(-1);
        return;
    }
    m_app.m_strInstrumentHostName = *m_pstrHostName;
    m_app.m_dwInstrumentIPAddress = *m_pdwIPAddress;
    m_app.m_strInstrumentName = *m_pstrName;
    m_app.m_nConnectionState = CONNECTION_READY;
    ShowMessage(QString::fromUtf8(m_traits.pszSuccessMessage), EMessageIcon::Information);
    EndDialog(-1);
}

void CInstrumentNamingDialog::OnCancel() {
    EndDialog(m_traits.nCancelResult);
}

void CInstrumentNamingDialog::OnDestroy() {
    CDialog::OnDestroy();
    if (*m_pnResponseTimer != 0) {
        KillTimer(*m_pnResponseTimer);
        *m_pnResponseTimer = 0;
    }
}

void CInstrumentNamingDialog::ShowMessage(const QString& strText, EMessageIcon nIcon) {
    ShowMessageBox(this, strText, QString::fromUtf8(m_traits.pszTitle), nIcon);
}
