// The "Rename Instrument" window: the user gives an instrument a new name and becomes its owner.
#pragma once

#include "ui/naming/InstrumentNamingDialog.h"

class CRenameInstrumentDialog : public CInstrumentNamingDialog {
    Q_OBJECT

public:
    static constexpr unsigned ID_RENAME_RESPONSE_TIMER_EVENT = 8;
    static constexpr unsigned RENAME_RESPONSE_TIMER_PERIOD_MS = 535;

    CRenameInstrumentDialog(CMolvarInstrumentConnectionApplication& app, const QString& strHostName,
                            const QString& strCurrentName, std::uint32_t dwIPAddress,
                            QWidget* pParent = nullptr);

    void HandleRenameReply(const std::uint8_t* pbDatagram, std::uint32_t dwLength);

    // For tests and logs.
    const QString& GetNewName() const { return m_strNewName; }
    std::uint32_t GetRenameTimeouts() const { return m_nRenameTimeouts; }

private:
    QString m_strRenameHostName;
    QString m_strCurrentName;
    QString m_strNewName;
    std::uint32_t m_dwRenameIPAddress;
    std::uint32_t m_nRenameTimeouts = 0;
    unsigned m_nRenameResponseTimer = 0;
};
