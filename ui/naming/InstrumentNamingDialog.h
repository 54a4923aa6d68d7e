// The shared window behind the claim and rename windows: a name typed and checked, a named
// request sent to one instrument with retries, and its reply. The state of both windows lives
// here; each subclass gives its parts the names they have in that window.
#pragma once

#include "platform/window/Dialog.h"
#include "platform/window/MessageBox.h"
#include "protocol/NamingExchange.h"
#include "protocol/ReplyReceiver.h"
#include "ui/ReplyRegistration.h"
#include "ui/WindowContext.h"
#include "ui/naming/InstrumentNamingTraits.h"

#include <QString>
#include <cstdint>

class QLineEdit;
class QPushButton;

class CInstrumentNamingDialog : public CDialog, private CReplyReceiver {
    Q_OBJECT

public:
    ~CInstrumentNamingDialog() override;

    // A request waits for its reply: only then does the routing hand a reply to the window.
    bool IsWaitingForReply() const { return m_nResponseTimer != 0; }

protected:
    // strName is the name the window starts with (the claim: the instrument's own; the rename:
    // none), strCurrentName the one the instrument has.
    CInstrumentNamingDialog(CWindowContext& context, const SInstrumentNamingTraits& traits,
                            const QString& strHostName, const QString& strCurrentName,
                            const QString& strName, std::uint32_t dwIPAddress, QWidget* pParent);

    bool OnInitDialog() override;
    void OnTimer(unsigned nIDEvent) override;
    void OnDestroy() override;
    void OnCancel() override;

    // The reply to the named request.
    void HandleNamedReply(const SDatagramView& datagram);
    // The action button: the request goes out and the reply timer starts.
    void SendNamedRequest();
    // Every change of the editable name box.
    void OnNameChanged();
    void ShowMessage(const QString& strText, EMessageIcon nIcon);

    CWindowContext& m_context;
    const SInstrumentNamingTraits& m_traits;

    // The instrument, the name last accepted by the checks, and the exchange (with its
    // time-outs) under way.
    const QString m_strHostName;
    const QString m_strCurrentName;
    QString m_strName;
    const std::uint32_t m_dwIPAddress;
    CNamingExchange m_exchange;
    unsigned m_nResponseTimer = 0;

    QLineEdit* m_pNameEdit = nullptr;        // the box the user types the name into
    QLineEdit* m_pCurrentNameEdit = nullptr; // rename: the name before the rename
    QLineEdit* m_pAddressEdit = nullptr;
    QLineEdit* m_pOwnerEdit = nullptr; // claim: this computer
    QPushButton* m_pActionButton = nullptr;
    QPushButton* m_pCancelButton = nullptr;

private:
    // CReplyReceiver: replies of the window's code while it is visible and waits.
    bool IsTakingReplies() const override;
    void TakeReply(const SDatagramView& datagram) override;

    void BuildControls();
    void CheckName();
    // What the exchange asked for: the request sent and the timer armed, or an outcome shown.
    void Act(const SNamingStep& step);

    bool m_bChecking = false;     // inside the name check, which may show a message box
    bool m_bCheckPending = false; // the text changed while that box was up
    CReplyRegistration m_registration{*this};
};
