// The main connection window: the configured instrument and its connection state, the claim,
// release, repair and rename actions, and the routing of every datagram that arrives (through
// the application's router, to the windows registered there).
#pragma once

#include "platform/window/Dialog.h"
#include "platform/window/MessageBox.h"
#include "protocol/ConnectionExchange.h"
#include "protocol/ReplyReceiver.h"
#include "ui/ReplyRegistration.h"
#include "ui/WindowContext.h"

#include <QIcon>
#include <cstdint>
#include <span>

class QLabel;
class QLineEdit;
class QPushButton;

class CMolvarInstrumentConnectionDialog : public CDialog, private CReplyReceiver {
    Q_OBJECT

public:
    // Reply timers of the three exchanges; each repeats until the first event stops it.
    static constexpr unsigned ID_RELEASE_RESPONSE_TIMER_EVENT =
        CConnectionExchange::ID_RELEASE_RESPONSE_TIMER_EVENT;
    static constexpr unsigned ID_REPAIR_RESPONSE_TIMER_EVENT =
        CConnectionExchange::ID_REPAIR_RESPONSE_TIMER_EVENT;
    static constexpr unsigned ID_VERIFY_RESPONSE_TIMER_EVENT =
        CConnectionExchange::ID_VERIFY_RESPONSE_TIMER_EVENT;
    // m_nPendingRequest when no exchange has run or the last one gave up.
    static constexpr std::uint8_t NO_PENDING_REQUEST = CConnectionExchange::NO_PENDING_REQUEST;

    explicit CMolvarInstrumentConnectionDialog(CWindowContext& context, QWidget* pParent = nullptr);
    ~CMolvarInstrumentConnectionDialog() override;

    void UpdateDisplay();

    // The exchanges with the configured instrument, each counting on from the attempts the
    // last one of its kind left.
    void StartVerification();
    void StartRelease();
    void StartRepair();
    // A routed reply of code 3, 4 or 5. A reply that cannot be read leaves the exchange waiting.
    void HandleResponse(const SDatagramView& datagram);
    bool IsWaitingForReply() const { return m_nResponseTimer != 0; }

    // Every datagram waiting, per WM_INSTRUMENT_DATAGRAM; 1 when there is no link or no
    // datagram, else 0.
    int RouteDatagram();

    // The state of the exchanges, for tests and logs.
    std::uint8_t GetPendingRequest() const { return m_exchange.GetPendingRequest(); }
    std::uint32_t GetReleaseAttempts() const { return m_exchange.GetReleaseAttempts(); }
    std::uint32_t GetRepairAttempts() const { return m_exchange.GetRepairAttempts(); }
    std::uint32_t GetVerifyAttempts() const { return m_exchange.GetVerifyAttempts(); }
    unsigned GetResponseTimer() const { return m_nResponseTimer; }

protected:
    bool OnInitDialog() override;
    void OnTimer(unsigned nIDEvent) override;
    std::intptr_t OnWindowMessage(unsigned nMessage, std::uintptr_t wParam,
                                  std::intptr_t lParam) override;
    void OnDestroy() override;

private:
    void OnClaimInstrument();
    void OnRepairConnection();
    void OnRenameInstrument();
    void OnClose();
    // After a selection window has closed: verify again unless nothing is configured.
    void OnSelectionWindowClosed();

    // CReplyReceiver: the router's replies of codes 3, 4 and 5 while a reply is awaited.
    bool IsTakingReplies() const override;
    void TakeReply(const SDatagramView& datagram) override;

    using StartStep = SConnectionStep (CConnectionExchange::*)(const SConnectionTarget&,
                                                               EAttemptCount);
    void StartExchange(StartStep pfnStart, EAttemptCount nCount);
    // The configured instrument as the exchanges address it now.
    SConnectionTarget Target();
    // What the exchange asked for: a request sent and the reply timer armed, or an outcome.
    void Act(const SConnectionStep& step);
    void ShowMessage(const QString& strText, EMessageIcon nIcon);

    CWindowContext& m_context;

    // The pending request and the attempt counts of the three exchanges.
    CConnectionExchange m_exchange;
    unsigned m_nResponseTimer = 0;
    CReplyRegistration m_registration{*this};
    // What the last Target() points into.
    SConfiguredInstrument m_targetInstrument;
    QString m_strTargetLocalHostName;

    QIcon m_icon;
    QLabel* m_pNameLabel = nullptr;
    QLabel* m_pAddressLabel = nullptr;
    QLabel* m_pStatusLabel = nullptr;
    QLineEdit* m_pNameEdit = nullptr;
    QLineEdit* m_pAddressEdit = nullptr;
    QLineEdit* m_pStatusEdit = nullptr;
    QPushButton* m_pClaimButton = nullptr;
    QPushButton* m_pRepairButton = nullptr;
    QPushButton* m_pRenameButton = nullptr;
    QPushButton* m_pCloseButton = nullptr;
};
