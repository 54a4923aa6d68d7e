#include "ui/claim/ClaimInstrumentSelectionDialog.h"

#include "app/MolvarInstrumentConnectionApplication.h"
#include "link/UDPInstrumentInterface.h"
#include "platform/window/WideText.h"
#include "ui/WindowMessages.h"
#include "ui/claim/ClaimInstrumentDialog.h"
#include "ui/connection/MolvarInstrumentConnectionDialog.h"

CClaimInstrumentSelectionDialog::CClaimInstrumentSelectionDialog(
    CMolvarInstrumentConnectionApplication& app, QWidget* pParent)
    : CInstrumentSelectionDialog(app, CLAIM_SELECTION_TRAITS, pParent) {}

void CClaimInstrumentSelectionDialog::OnAction(ESelectionAction nAction) {
    switch (nAction) {
    case ESelectionAction::Claim:
        OnClaimInstrument();
        break;
    case ESelectionAction::Release:
        OnReleaseInstrument();
        break;
    default:
        CInstrumentSelectionDialog::OnAction(nAction);
        break;
    }
}

void CClaimInstrumentSelectionDialog::OnClaimInstrument() {
    const std::optional<CMolvarInstrument> instrument = ChooseInstrument(ESelectionAction::Claim);
    if (!instrument) {
        return;
    }
    if (instrument->IsBusy()) {
        ShowMessage(
            QString::fromUtf8(SelectionActionTexts(ESelectionAction::Claim).pszInUseMessage),
            EMessageIcon::Exclamation);
        return;
    }
    CClaimInstrumentDialog dlg(m_app, FromWide(instrument->HostNameText()),
                               FromWide(instrument->NameText()), instrument->m_dwIPAddress, this);
    RunModalRecorded(dlg, m_app.m_pClaimInstrumentDialog);
    OnNameWindowClosed();
}

bool CClaimInstrumentSelectionDialog::IsOwnedHere(const CMolvarInstrument& instrument) const {
    const CUDPInstrumentInterface* pLink = m_app.m_pInstrumentInterface;
    if (pLink == nullptr || instrument.m_dwOwnerIPAddress != pLink->m_dwLocalAddress) {
        return false;
    }
    if (FromWide(instrument.OwnerHostNameText()) != m_app.m_strLocalHostName) {
        return false;
    }
    // The main connection window releases the configured address: it must be this instrument.
    if (instrument.m_dwIPAddress != m_app.m_dwInstrumentIPAddress) {
        return false;
    }
    // The configured name as the instrument holds it, 8-bit, against the name it reports.
    std::uint8_t abName[TEXT_FIELD_SIZE];
    WriteTextField(abName, ToWideView(m_app.m_strInstrumentName));
    return ReadTextField(abName) == instrument.m_szName;
}

void CClaimInstrumentSelectionDialog::OnReleaseInstrument() {
    const std::optional<CMolvarInstrument> instrument = ChooseInstrument(ESelectionAction::Release);
    if (!instrument) {
        return;
    }
    if (instrument->m_bClaimed == 0) {
        ShowMessage(QStringLiteral("The selected instrument has not been claimed yet."),
                    EMessageIcon::Information);
        return;
    }
    if (!IsOwnedHere(*instrument)) {
        ShowMessage(QStringLiteral("The selected instrument is owned by another client, and can "
                                   "only be released by its owner."),
                    EMessageIcon::Exclamation);
        return;
    }
    if (instrument->IsBusy()) {
        ShowMessage(
            QString::fromUtf8(SelectionActionTexts(ESelectionAction::Release).pszInUseMessage),
            EMessageIcon::Exclamation);
        return;
    }
    // The main connection window releases the configured instrument, which the ownership test
    // made this one; the outcome shows in later cycles.
    if (CDialog* pConnection = m_app.m_pConnectionDialog;
        pConnection != nullptr && pConnection->IsWindowVisible()) {
        pConnection->PostMessage(WM_RELEASE_INSTRUMENT);
    }
}
