#include "ui/claim/ClaimInstrumentDialog.h"

CClaimInstrumentDialog::CClaimInstrumentDialog(CMolvarInstrumentConnectionApplication& app,
                                               const QString& strHostName,
                                               const QString& strCurrentName,
                                               std::uint32_t dwIPAddress, QWidget* pParent)
    : CInstrumentNamingDialog(app, CLAIM_NAMING_TRAITS, strHostName, strCurrentName, strCurrentName,
                              dwIPAddress, pParent) {}
