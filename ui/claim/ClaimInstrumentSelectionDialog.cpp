#include "ui/claim/ClaimInstrumentSelectionDialog.h"

#include "platform/window/WideText.h"
#include "protocol/OutcomeTexts.h"
#include "protocol/ReleaseCheck.h"
#include "ui/WindowMessages.h"

CClaimInstrumentSelectionDialog::CClaimInstrumentSelectionDialog(CWindowContext& context,
                                                                 QWidget* pParent)
    : CInstrumentSelectionDialog(context, CLAIM_SELECTION_TRAITS, pParent) {}

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
    m_context.RunClaimInstrument(*instrument, this);
    OnNameWindowClosed();
}

void CClaimInstrumentSelectionDialog::OnReleaseInstrument() {
    const std::optional<CMolvarInstrument> instrument = ChooseInstrument(ESelectionAction::Release);
    if (!instrument) {
        return;
    }
    if (m_context.Channel() == nullptr) {
        return; // no link: no local address to own anything with
    }
    const QString strLocalHostName = m_context.LocalHostName();
    const SConfiguredInstrument configured = m_context.ConfiguredInstrument();
    const SReleaseContext context{m_context.LocalAddress(), ToWideView(strLocalHostName),
                                  ToWideView(configured.strName), configured.dwIPAddress};
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
    if (CDialog* pConnection = m_context.GetVisibleConnectionDialog()) {
        pConnection->PostMessage(WM_RELEASE_INSTRUMENT);
    }
}
