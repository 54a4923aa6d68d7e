// The "Claim Instrument" window: the user names an instrument and claims it for this computer.
#pragma once

#include "ui/naming/InstrumentNamingDialog.h"

class CClaimInstrumentDialog : public CInstrumentNamingDialog {
    Q_OBJECT

public:
    static constexpr unsigned ID_CLAIM_RESPONSE_TIMER_EVENT = 7;
    static constexpr unsigned CLAIM_RESPONSE_TIMER_PERIOD_MS = 485;

    CClaimInstrumentDialog(CMolvarInstrumentConnectionApplication& app, const QString& strHostName,
                           const QString& strCurrentName, std::uint32_t dwIPAddress,
                           QWidget* pParent = nullptr);

    void HandleClaimReply(const std::uint8_t* pbDatagram, std::uint32_t dwLength);

    // For tests and logs.
    const QString& GetClaimName() const { return m_strClaimName; }
    std::uint32_t GetClaimTimeouts() const { return m_nClaimTimeouts; }

private:
    QString m_strClaimHostName;
    QString m_strClaimName;
    std::uint32_t m_dwClaimIPAddress;
    std::uint32_t m_nClaimTimeouts = 0;
    unsigned m_nClaimResponseTimer = 0;
};
