#include "ui/rename/RenameInstrumentSelectionDialog.h"

CRenameInstrumentSelectionDialog::CRenameInstrumentSelectionDialog(
    CMolvarInstrumentConnectionApplication& app, QWidget* pParent)
    : CInstrumentSelectionDialog(app, RENAME_SELECTION_TRAITS, pParent) {}
