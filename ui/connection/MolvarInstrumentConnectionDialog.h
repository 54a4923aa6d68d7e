// The main connection window: the configured instrument and its connection state, the claim,
// release, repair and rename actions, and the routing of every datagram that arrives.
#pragma once

#include "link/Messages.h"
#include "platform/window/Dialog.h"
#include "platform/window/MessageBox.h"

#include <QIcon>
#include <cstdint>
#include <span>

class CMolvarInstrumentConnectionApplication;
class QLabel;
class QLineEdit;
class QPushButton;

class CMolvarInstrumentConnectionDialog : public CDialog {
    Q_OBJECT

public:
    // Reply timers of the three exchanges; each repeats until the first event stops it.
    static constexpr unsigned ID_RELEASE_RESPONSE_TIMER_EVENT = 1;
    static constexpr unsigned ID_REPAIR_RESPONSE_TIMER_EVENT = 2;
    static constexpr unsigned ID_VERIFY_RESPONSE_TIMER_EVENT = 3;
    static constexpr unsigned RESPONSE_TIMER_PERIOD_MS = 515;
    // m_nPendingRequest when no exchange has run or the last one gave up.
    static constexpr std::uint8_t NO_PENDING_REQUEST = 255;

    explicit CMolvarInstrumentConnectionDialog(CMolvarInstrumentConnectionApplication& app,
                                               QWidget* pParent = nullptr);
    ~CMolvarInstrumentConnectionDialog() override;

    void UpdateDisplay();

    // The exchanges with the configured instrument.
    void StartVerification();
    void StartRelease();
    void StartRepair();
    // A routed reply of code 3, 4 or 5 (the whole datagram, header included), or nullptr for a
    // time-out. A reply that cannot be read leaves the exchange waiting.
    void HandleResponse(const std::uint8_t* pbDatagram, std::uint32_t dwLength);
    bool IsWaitingForReply() const { return m_nResponseTimer != 0; }

    // One datagram per WM_INSTRUMENT_DATAGRAM; 1 when there is no link or no datagram, else 0.
    int RouteDatagram();

    // The state of the exchanges, for tests and logs.
    std::uint8_t GetPendingRequest() const { return m_nPendingRequest; }
    std::uint32_t GetReleaseAttempts() const { return m_nReleaseAttempts; }
    std::uint32_t GetRepairAttempts() const { return m_nRepairAttempts; }
    std::uint32_t GetVerifyAttempts() const { return m_nVerifyAttempts; }
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

    // The steps every exchange starts with: payload, send, count, arm the reply timer.
    void StartExchange(MessageCode nCode, std::uint32_t dwDestination, unsigned nTimerId,
                       std::uint32_t& nAttempts);
    void StopResponseTimer();
    void HandleTimeout();
    void HandleReleaseReply(std::uint8_t nStatus);
    void HandleRepairReply(const RepairReply& reply);
    void HandleVerifyReply(const VerifyReply& reply);
    // The configuration is forgotten: address 0, not configured; the open selection window is
    // asked to look again.
    void CompleteRelease();
    void ShowMessage(const QString& strText, EMessageIcon nIcon);

    CMolvarInstrumentConnectionApplication& m_app;

    std::uint8_t m_nPendingRequest = NO_PENDING_REQUEST;
    std::uint32_t m_nReleaseAttempts = 0;
    std::uint32_t m_nRepairAttempts = 0;
    std::uint32_t m_nVerifyAttempts = 0;
    unsigned m_nResponseTimer = 0;

    QIcon m_hIcon;
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
