#include "ui/claim/ClaimInstrumentSelectionDialog.h"

#include "app/MolvarInstrumentConnectionApplication.h"
#include "link/UDPInstrumentInterface.h"
#include "platform/window/WideText.h"
#include "protocol/OutcomeTexts.h"
#include "protocol/ReleaseCheck.h"
#include "ui/WindowMessages.h"
#include "ui/claim/ClaimInstrumentDialog.h"

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
        ShowMessage(FromWide(SelectionActionTexts(ESelectionAction::Claim).strInUseMessage),
                    EMessageIcon::Exclamation);
        return;
    }
    CClaimInstrumentDialog dlg(m_app, FromWide(instrument->HostNameText()),
                               FromWide(instrument->NameText()), instrument->m_dwIPAddress, this);
    RunModalRecorded(dlg, m_app.m_pClaimInstrumentDialog);
    OnNameWindowClosed();
}

void CClaimInstrumentSelectionDialog::OnReleaseInstrument() {
    const std::optional<CMolvarInstrument> instrument = ChooseInstrument(ESelectionAction::Release);
    if (!instrument) {
        return;
    }
    const CUDPInstrumentInterface* pLink = m_app.m_pInstrumentInterface;
    if (pLink == nullptr) {
        return; // no local address to own anything with
    }
    const SReleaseContext context{pLink->m_dwLocalAddress, ToWideView(m_app.m_strLocalHostName),
                                  ToWideView(m_app.m_strInstrumentName),
                                  m_app.m_dwInstrumentIPAddress};
    switch (CheckRelease(*instrument, context)) {
    case EReleaseCheck::NotClaimed:
        ShowMessage(FromWide(TEXT_RELEASE_NOT_CLAIMED), EMessageIcon::Information);
        return;
    case EReleaseCheck::OwnedElsewhere:
        ShowMessage(FromWide(TEXT_RELEASE_OWNED_ELSEWHERE), EMessageIcon::Exclamation);
        return;
    case EReleaseCheck::InUse:
        ShowMessage(FromWide(TEXT_RELEASE_SELECTED_IN_USE), EMessageIcon::Exclamation);
        return;
    case EReleaseCheck::Allowed:
        break;
    }
    // The main connection window releases the configured instrument, which the ownership test
    // made this one; the outcome shows in later cycles.
    if (CDialog* pConnection = m_app.GetVisibleConnectionDialog()) {
        pConnection->PostMessage(WM_RELEASE_INSTRUMENT);
    }
}
