#include "ui/rename/RenameInstrumentSelectionDialog.h"

CRenameInstrumentSelectionDialog::CRenameInstrumentSelectionDialog(CWindowContext& context,
                                                                   QWidget* pParent)
    : CInstrumentSelectionDialog(context, RENAME_SELECTION_TRAITS, pParent) {}
