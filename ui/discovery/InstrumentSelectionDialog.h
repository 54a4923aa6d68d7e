// The shared window behind the claim and rename selection windows: a repeating discovery cycle
// that fills a list of the instruments on the network, and the choice of one of them.
#pragma once

#include "model/InstrumentList.h"
#include "platform/window/Dialog.h"
#include "platform/window/MessageBox.h"
#include "protocol/DiscoveryCycle.h"
#include "protocol/ReplyReceiver.h"
#include "ui/ReplyRegistration.h"
#include "ui/WindowContext.h"
#include "ui/discovery/InstrumentSelectionTraits.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

class QLineEdit;
class QPushButton;
class QTreeView;
class CInstrumentListModel;

class CInstrumentSelectionDialog : public CDialog, private CReplyReceiver {
    Q_OBJECT

public:
    ~CInstrumentSelectionDialog() override;

    // A routed discovery reply.
    void HandleDiscoveryReply(const SDatagramView& datagram);
    // The same from the whole datagram, header included.
    void HandleDiscoveryReply(const std::uint8_t* pbDatagram, std::uint32_t dwLength);
    // Starts a collection: the collected list emptied, the request count and both collection
    // timers started afresh. The dwell timer keeps its phase.
    void StartDiscoveryCycle();

    // For tests and the routing.
    bool IsCollecting() const { return m_cycle.IsCollecting(); }
    std::uint32_t GetRequestCount() const { return m_cycle.GetRequestCount(); }
    const CInstrumentList& GetCollectedInstruments() const { return m_cycle.GetCollected(); }
    const CInstrumentList& GetDisplayedInstruments() const { return m_cycle.GetDisplayed(); }

protected:
    CInstrumentSelectionDialog(CWindowContext& context, const SInstrumentSelectionTraits& traits,
                               QWidget* pParent);

    bool OnInitDialog() override;
    void OnTimer(unsigned nIDEvent) override;
    std::intptr_t OnWindowMessage(unsigned nMessage, std::uintptr_t wParam,
                                  std::intptr_t lParam) override;
    void OnDestroy() override;
    void showEvent(QShowEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

    // The list shown again from the displayed list: the status line, the buttons and the rows.
    // bCheckingNetwork only for the refresh made as the window opens.
    void RefreshInstrumentView(bool bCheckingNetwork);
    // The instrument the user chose for an action, or none after telling why there is none.
    std::optional<CMolvarInstrument> ChooseInstrument(ESelectionAction nAction);
    // A button, or the list's double or right click. The rename action is shared; a window with
    // other actions handles them and passes the rest on.
    virtual void OnAction(ESelectionAction nAction);
    // OnAction, unless an action is already under way: a list click queued before the first
    // action's window or message box came up must not start a second one inside it.
    void RunAction(ESelectionAction nAction);
    // Opens the rename window for the chosen instrument.
    void OnRenameInstrument();
    // After a claim or rename window has closed: a new cycle unless one is under way.
    void OnNameWindowClosed();
    void ShowMessage(const QString& strText, EMessageIcon nIcon);

    CWindowContext& m_context;
    const SInstrumentSelectionTraits& m_traits;

    // The collected and displayed lists and the request count of the cycle under way.
    CDiscoveryCycle m_cycle;
    unsigned m_nCollectionTimer = 0;
    unsigned m_nDwellTimer = 0;
    unsigned m_nRequestTimer = 0;

    QTreeView* m_pInstrumentList = nullptr;
    CInstrumentListModel* m_pInstrumentModel = nullptr; // the rows of the displayed list
    QLineEdit* m_pStatusEdit = nullptr;
    std::vector<QPushButton*> m_listActionButtons; // in the order of the window's traits
    QPushButton* m_pCloseButton = nullptr;

private:
    // CReplyReceiver: discovery replies while the window is visible.
    bool IsTakingReplies() const override;
    void TakeReply(const SDatagramView& datagram) override;

    void BuildControls();
    // The timers started and stopped, the request sent and the view shown again, as the
    // cycle's step asks, in that order.
    void Act(const SDiscoveryStep& step);
    unsigned* TimerMember(unsigned nTimerId);
    void SetColumnWidths();
    // The address of the instrument on the selected row, if a row is selected.
    std::optional<std::uint32_t> SelectedAddress() const;
    void SelectAddress(std::optional<std::uint32_t> dwAddress);

    bool m_bColumnsSized = false;
    bool m_bActionRunning = false;
    CReplyRegistration m_registration{*this};
};
