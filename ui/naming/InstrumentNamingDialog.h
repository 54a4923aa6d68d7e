// The shared window behind the claim and rename windows: a name typed and checked, a named
// request sent to one instrument with retries, and its reply.
#pragma once

#include "platform/window/Dialog.h"
#include "platform/window/MessageBox.h"
#include "ui/naming/InstrumentNamingTraits.h"

#include <QString>
#include <cstdint>

class CMolvarInstrumentConnectionApplication;
class QLineEdit;
class QPushButton;

class CInstrumentNamingDialog : public CDialog {
    Q_OBJECT

public:
    // Time-outs after which the request goes out again: the first request and three more.
    static constexpr std::uint32_t MAX_REQUEST_RETRIES = 3;

    ~CInstrumentNamingDialog() override;

    // A request waits for its reply: only then does the routing hand a reply to the window.
    bool IsWaitingForReply() const { return *m_pnResponseTimer != 0; }

protected:
    CInstrumentNamingDialog(CMolvarInstrumentConnectionApplication& app,
                            const SInstrumentNamingTraits& traits, QWidget* pParent);

    // The subclass's members that the shared steps work on; called from its constructor.
    void BindMembers(QString& strHostName, QString& strName, const QString& strCurrentName,
                     std::uint32_t& dwIPAddress, std::uint32_t& nTimeouts,
                     unsigned& nResponseTimer);

    bool OnInitDialog() override;
    void OnTimer(unsigned nIDEvent) override;
    void OnDestroy() override;
    void OnCancel() override;

    // The reply to the named request (the whole datagram, header included).
    void HandleNamedReply(const std::uint8_t* pbDatagram, std::uint32_t dwLength);
    // The action button and each repetition: the request goes out and the reply timer starts.
    void SendNamedRequest();
    // Every change of the editable name box.
    void OnNameChanged();
    void ShowMessage(const QString& strText, EMessageIcon nIcon);

    CMolvarInstrumentConnectionApplication& m_app;
    const SInstrumentNamingTraits& m_traits;

    QLineEdit* m_pNameEdit = nullptr;        // the box the user types the name into
    QLineEdit* m_pCurrentNameEdit = nullptr; // rename: the name before the rename
    QLineEdit* m_pAddressEdit = nullptr;
    QLineEdit* m_pOwnerEdit = nullptr; // claim: this computer
    QPushButton* m_pActionButton = nullptr;
    QPushButton* m_pCancelButton = nullptr;

private:
    void BuildControls();
    void CheckName();

    QString* m_pstrHostName = nullptr;
    QString* m_pstrName = nullptr;
    const QString* m_pstrCurrentName = nullptr;
    std::uint32_t* m_pdwIPAddress = nullptr;
    std::uint32_t* m_pnTimeouts = nullptr;
    unsigned m_nUnboundTimer = 0;
    unsigned* m_pnResponseTimer = &m_nUnboundTimer;
    bool m_bChecking = false;     // inside the name check, which may show a message box
    bool m_bCheckPending = false; // the text changed while that box was up
};
