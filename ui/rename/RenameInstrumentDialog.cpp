#include "ui/rename/RenameInstrumentDialog.h"

CRenameInstrumentDialog::CRenameInstrumentDialog(CWindowContext& context,
                                                 const QString& strHostName,
                                                 const QString& strCurrentName,
                                                 std::uint32_t dwIPAddress, QWidget* pParent)
    : CInstrumentNamingDialog(context, RENAME_NAMING_TRAITS, strHostName, strCurrentName, QString(),
                              dwIPAddress, pParent) {}
