// The shared window behind the claim and rename selection windows: a repeating discovery cycle
// that fills a list of the instruments on the network, and the choice of one of them.
#pragma once

#include "model/InstrumentList.h"
#include "platform/window/Dialog.h"
#include "platform/window/MessageBox.h"

#include <QString>
#include <cstdint>

class CMolvarInstrumentConnectionApplication;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// What tells the two selection windows apart; each window points at one of these.
struct SInstrumentSelectionTraits;

class CInstrumentSelectionDialog : public CDialog {
    Q_OBJECT

public:
    // The discovery cycle: requests during the collection, then the dwell until the next cycle.
    static constexpr unsigned ID_INSTRUMENT_DISCOVERY_COLLECTION_TIMER_EVENT = 4;
    static constexpr unsigned ID_INSTRUMENT_DISCOVERY_DWELL_TIMER_EVENT = 5;
    static constexpr unsigned ID_INSTRUMENT_DISCOVERY_REQUEST_TIMER_EVENT = 6;
    static constexpr unsigned COLLECTION_PERIOD_MS = 1015;
    static constexpr unsigned DWELL_PERIOD_MS = 5015;
    static constexpr unsigned REQUEST_PERIOD_MS = 185;
    // Discovery requests sent in one collection.
    static constexpr std::uint32_t DISCOVERY_REQUESTS_PER_CYCLE = 3;

    ~CInstrumentSelectionDialog() override;

    // A routed discovery reply (the whole datagram, header included).
    void HandleDiscoveryReply(const std::uint8_t* pbDatagram, std::uint32_t dwLength);
    // Starts a collection: the collected list emptied, the status line saying so, the timers.
    void StartDiscoveryCycle();

    // For tests and the routing.
    bool IsCollecting() const { return m_nCollectionTimer != 0; }
    std::uint32_t GetRequestCount() const { return m_nRequestCount; }
    const CInstrumentList& GetCollectedInstruments() const { return m_listCollected; }
    const CInstrumentList& GetDisplayedInstruments() const { return m_listDisplayed; }

protected:
    CInstrumentSelectionDialog(CMolvarInstrumentConnectionApplication& app,
                               const SInstrumentSelectionTraits& traits, QWidget* pParent);

    bool OnInitDialog() override;
    void OnTimer(unsigned nIDEvent) override;
    std::intptr_t OnWindowMessage(unsigned nMessage, std::uintptr_t wParam,
                                  std::intptr_t lParam) override;
    void OnDestroy() override;

    // The list, shown again from m_listDisplayed; the status line says what was found, or that
    // the network is being checked.
    void RefreshInstrumentView(bool bCheckingNetwork);
    // The instrument the user chose for an action, or nullptr after telling why there is none.
    // strSelectMessage is the action's "Please select an instrument..." text.
    const CMolvarInstrument* GetChosenInstrument(const QString& strSelectMessage);
    // The list action of the window (double click, right click).
    virtual void OnListAction() = 0;
    // Opens the rename window for the chosen instrument.
    void OnRenameInstrument();
    // After a claim or rename window has closed: a new cycle if the dwell was under way.
    void OnNameWindowClosed();
    // Buttons and their enabling after a refresh.
    void UpdateButtons();
    void ShowMessage(const QString& strText, EMessageIcon nIcon);

    CMolvarInstrumentConnectionApplication& m_app;
    const SInstrumentSelectionTraits& m_traits;

    CInstrumentList m_listCollected;
    CInstrumentList m_listDisplayed;
    std::uint32_t m_nRequestCount = 0;
    unsigned m_nCollectionTimer = 0;
    unsigned m_nDwellTimer = 0;
    unsigned m_nRequestTimer = 0;

    QTreeWidget* m_pInstrumentList = nullptr;
    QLineEdit* m_pStatusEdit = nullptr;
    QPushButton* m_pActionButton = nullptr;
    QPushButton* m_pSecondButton = nullptr;
    QPushButton* m_pCloseButton = nullptr;

private:
    void SendDiscoveryRequest();
    void EndCollection();
    void BuildControls();
    void SetColumnWidths();
    std::uint32_t m_dwSelectedAddress = 0;
    bool m_bColumnsSized = false;
};
