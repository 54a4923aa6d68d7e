// The "Claim Instrument" window: the user names an instrument and claims it for this computer.
#pragma once

#include "ui/naming/InstrumentNamingDialog.h"

class CClaimInstrumentDialog : public CInstrumentNamingDialog {
    Q_OBJECT

public:
    static constexpr unsigned ID_CLAIM_RESPONSE_TIMER_EVENT =
        CNamingExchange::ID_CLAIM_RESPONSE_TIMER_EVENT;

    // An instrument that has a name is claimed under it: the name is also the current one.
    CClaimInstrumentDialog(CWindowContext& context, const QString& strHostName,
                           const QString& strCurrentName, std::uint32_t dwIPAddress,
                           QWidget* pParent = nullptr);

    // For tests and logs.
    const QString& GetClaimHostName() const { return m_strHostName; }
    const QString& GetClaimName() const { return m_strName; }
    std::uint32_t GetClaimIPAddress() const { return m_dwIPAddress; }
    std::uint32_t GetClaimTimeouts() const { return m_exchange.GetTimeouts(); }
    unsigned GetClaimResponseTimer() const { return m_nResponseTimer; }
};
