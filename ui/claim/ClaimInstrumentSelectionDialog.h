// The "Available Instruments" window opened to claim an instrument, or release the claimed one.
#pragma once

#include "ui/discovery/InstrumentSelectionDialog.h"

class CClaimInstrumentSelectionDialog : public CInstrumentSelectionDialog {
    Q_OBJECT

public:
    explicit CClaimInstrumentSelectionDialog(CWindowContext& context, QWidget* pParent = nullptr);

protected:
    void OnAction(ESelectionAction nAction) override;

private:
    void OnClaimInstrument();
    void OnReleaseInstrument();
};
