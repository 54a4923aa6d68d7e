// The "Available Instruments" window opened to claim an instrument, or release the claimed one.
#pragma once

#include "ui/discovery/InstrumentSelectionDialog.h"

class CClaimInstrumentSelectionDialog : public CInstrumentSelectionDialog {
    Q_OBJECT

public:
    explicit CClaimInstrumentSelectionDialog(CMolvarInstrumentConnectionApplication& app,
                                             QWidget* pParent = nullptr);

protected:
    void OnAction(ESelectionAction nAction) override;

private:
    void OnClaimInstrument();
    void OnReleaseInstrument();
    // This computer holds the claim on the instrument, which is the configured one: at the
    // configured address, under the configured name.
    bool IsOwnedHere(const CMolvarInstrument& instrument) const;
};
