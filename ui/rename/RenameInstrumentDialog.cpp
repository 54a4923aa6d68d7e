#include "ui/rename/RenameInstrumentDialog.h"

CRenameInstrumentDialog::CRenameInstrumentDialog(CMolvarInstrumentConnectionApplication& app,
                                                 const QString& strHostName,
                                                 const QString& strCurrentName,
                                                 std::uint32_t dwIPAddress, QWidget* pParent)
    : CInstrumentNamingDialog(app, RENAME_NAMING_TRAITS, strHostName, strCurrentName, QString(),
                              dwIPAddress, pParent) {}
