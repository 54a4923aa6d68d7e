#include "ui/rename/RenameInstrumentDialog.h"

CRenameInstrumentDialog::CRenameInstrumentDialog(CMolvarInstrumentConnectionApplication& app,
                                                 const QString& strHostName,
                                                 const QString& strCurrentName,
                                                 std::uint32_t dwIPAddress, QWidget* pParent)
    : CInstrumentNamingDialog(app, RENAME_NAMING_TRAITS, pParent), m_strRenameHostName(strHostName),
      m_strCurrentName(strCurrentName), m_dwRenameIPAddress(dwIPAddress) {
    BindMembers(m_strRenameHostName, m_strNewName, m_strCurrentName, m_dwRenameIPAddress,
                m_nRenameTimeouts, m_nRenameResponseTimer);
}

void CRenameInstrumentDialog::HandleRenameReply(const std::uint8_t* pbDatagram,
                                                std::uint32_t dwLength) {
    HandleNamedReply(pbDatagram, dwLength);
}
