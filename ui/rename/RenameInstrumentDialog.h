// The "Rename Instrument" window: the user gives an instrument a new name and becomes its owner.
#pragma once

#include "ui/naming/InstrumentNamingDialog.h"

class CRenameInstrumentDialog : public CInstrumentNamingDialog {
    Q_OBJECT

public:
    static constexpr unsigned ID_RENAME_RESPONSE_TIMER_EVENT =
        CNamingExchange::ID_RENAME_RESPONSE_TIMER_EVENT;

    CRenameInstrumentDialog(CWindowContext& context, const QString& strHostName,
                            const QString& strCurrentName, std::uint32_t dwIPAddress,
                            QWidget* pParent = nullptr);

    // For tests and logs.
    const QString& GetRenameHostName() const { return m_strHostName; }
    const QString& GetCurrentName() const { return m_strCurrentName; }
    const QString& GetNewName() const { return m_strName; }
    std::uint32_t GetRenameIPAddress() const { return m_dwIPAddress; }
    std::uint32_t GetRenameTimeouts() const { return m_exchange.GetTimeouts(); }
    unsigned GetRenameResponseTimer() const { return m_nResponseTimer; }
};
