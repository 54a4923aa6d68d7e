#include "ui/claim/ClaimInstrumentDialog.h"

CClaimInstrumentDialog::CClaimInstrumentDialog(CMolvarInstrumentConnectionApplication& app,
                                               const QString& strHostName,
                                               const QString& strCurrentName,
                                               std::uint32_t dwIPAddress, QWidget* pParent)
    : CInstrumentNamingDialog(app, CLAIM_NAMING_TRAITS, pParent), m_strClaimHostName(strHostName),
      m_strClaimName(strCurrentName), m_dwClaimIPAddress(dwIPAddress) {
    // An instrument that has a name is claimed under it: the name is also the current one.
    BindMembers(m_strClaimHostName, m_strClaimName, m_strClaimName, m_dwClaimIPAddress,
                m_nClaimTimeouts, m_nClaimResponseTimer);
}

void CClaimInstrumentDialog::HandleClaimReply(const std::uint8_t* pbDatagram,
                                              std::uint32_t dwLength) {
    HandleNamedReply(pbDatagram, dwLength);
}
