// The shared window behind the claim and rename windows: a name typed and checked, a named
// request sent to one instrument with retries, and its reply.
#pragma once

#include "link/Messages.h"
#include "platform/window/Dialog.h"
#include "platform/window/MessageBox.h"

#include <QString>
#include <cstdint>

class CMolvarInstrumentConnectionApplication;
class QLineEdit;
class QPushButton;

// What tells the claim and rename windows apart; each window points at one of these.
struct SInstrumentNamingTraits;

class CInstrumentNamingDialog : public CDialog {
    Q_OBJECT

public:
    // Requests sent before the window gives up: the first and three retries.
    static constexpr std::uint32_t MAX_REQUEST_RETRIES = 3;

    ~CInstrumentNamingDialog() override;

    bool IsWaitingForReply() const { return *m_pnResponseTimer != 0; }
    // The action button is disabled for good after a reply it cannot read.
    bool IsStalled() const { return m_bStalled; }

protected:
    CInstrumentNamingDialog(CMolvarInstrumentConnectionApplication& app,
                            const SInstrumentNamingTraits& traits, QWidget* pParent);

    bool OnInitDialog() override;
    void OnTimer(unsigned nIDEvent) override;
    void OnDestroy() override;

    // The reply to the named request (the whole datagram, header included).
    void HandleNamedReply(const std::uint8_t* pbDatagram, std::uint32_t dwLength);
    // The action button: the name must be there, then the request goes out.
    void OnAction();
    // The check of the edited name box after every change.
    void OnNameChanged();
    void SendNamedRequest();
    void ShowMessage(const QString& strText, EMessageIcon nIcon);

    // Members of the subclass that the shared behaviour works on.
    void BindMembers(QString& strHostName, QString& strName, std::uint32_t& dwIPAddress,
                     std::uint32_t& nTimeouts, unsigned& nResponseTimer);

    CMolvarInstrumentConnectionApplication& m_app;
    const SInstrumentNamingTraits& m_traits;

    QLineEdit* m_pNameEdit = nullptr; // the editable name box
    QLineEdit* m_pCurrentNameEdit = nullptr;
    QLineEdit* m_pAddressEdit = nullptr;
    QLineEdit* m_pOwnerEdit = nullptr;
    QPushButton* m_pActionButton = nullptr;
    QPushButton* m_pCancelButton = nullptr;

private:
    void BuildControls();
    void CheckName();

    QString* m_pstrHostName = nullptr;
    QString* m_pstrName = nullptr;
    std::uint32_t* m_pdwIPAddress = nullptr;
    std::uint32_t* m_pnTimeouts = nullptr;
    unsigned m_nNoTimer = 0;
    unsigned* m_pnResponseTimer = &m_nNoTimer;
    bool m_bStalled = false;
    bool m_bChecking = false;     // inside the name check, which may show a box
    bool m_bCheckPending = false; // a change arrived while a box was up
};
