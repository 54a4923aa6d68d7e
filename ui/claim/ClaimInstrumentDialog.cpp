#include "ui/claim/ClaimInstrumentDialog.h"

CClaimInstrumentDialog::CClaimInstrumentDialog(CWindowContext& context, const QString& strHostName,
                                               const QString& strCurrentName,
                                               std::uint32_t dwIPAddress, QWidget* pParent)
    : CInstrumentNamingDialog(context, CLAIM_NAMING_TRAITS, strHostName, strCurrentName,
                              strCurrentName, dwIPAddress, pParent) {}
