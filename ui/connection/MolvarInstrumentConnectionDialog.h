// The main connection window: the configured instrument and its connection state, the claim,
// release, repair and rename actions, and the routing of every datagram that arrives.
#pragma once

#include "platform/window/Dialog.h"

#include <cstdint>

class CMolvarInstrumentConnectionApplication;

class CMolvarInstrumentConnectionDialog : public CDialog {
    Q_OBJECT

public:
    explicit CMolvarInstrumentConnectionDialog(CMolvarInstrumentConnectionApplication& app,
                                               QWidget* pParent = nullptr);
    ~CMolvarInstrumentConnectionDialog() override;

    void UpdateDisplay();

    // The exchanges with the configured instrument.
    void StartVerification();
    void StartRelease();
    void StartRepair();
    // A routed reply of code 3, 4 or 5, or nullptr for a time-out.
    void HandleResponse(const std::uint8_t* pbDatagram, std::uint32_t dwLength);
    bool IsWaitingForReply() const { return m_nResponseTimer != 0; }

    // One datagram per WM_INSTRUMENT_DATAGRAM; 1 when there is no link or no datagram, else 0.
    int RouteDatagram();

private:
    CMolvarInstrumentConnectionApplication& m_app;
    unsigned m_nResponseTimer = 0;
};
