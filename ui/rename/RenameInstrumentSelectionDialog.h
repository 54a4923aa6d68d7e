// The "Available Instruments" window opened to rename an instrument.
#pragma once

#include "ui/discovery/InstrumentSelectionDialog.h"

class CRenameInstrumentSelectionDialog : public CInstrumentSelectionDialog {
    Q_OBJECT

public:
    explicit CRenameInstrumentSelectionDialog(CWindowContext& context, QWidget* pParent = nullptr);
};
