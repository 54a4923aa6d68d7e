// The discovery cycle and the list of the selection windows, shown on the claim selection window
// (the rename selection window runs the same code): the timeline of the three timers, what the
// status line and the rows show, the in-use rule, and the selection through refreshes.
#include "tests/support/ModalRunHook.h"
#include "tests/support/WindowTestSupport.h"
#include "ui/WindowMessages.h"
#include "ui/claim/ClaimInstrumentDialog.h"
#include "ui/claim/ClaimInstrumentSelectionDialog.h"

#include <QHeaderView>
#include <QScrollBar>

namespace {

using Dialog = CClaimInstrumentSelectionDialog;

const QString CHECKING = "Checking network...";
const QStringList ACTION_BUTTONS = {"Claim instrument...", "Release instrument",
                                    "Rename instrument..."};

SSimulatedInstrument Instrument(std::size_t nIndex) {
    return LoopbackInstrument(nIndex, "Lab-" + std::to_string(nIndex),
                              "inst" + std::to_string(nIndex));
}

std::vector<SSimulatedInstrument> Instruments(std::size_t nCount) {
    std::vector<SSimulatedInstrument> list;
    for (std::size_t i = 0; i < nCount; ++i) {
        list.push_back(Instrument(i));
    }
    return list;
}

class SelectionWindowTest : public ::testing::Test {
protected:
    void TearDown() override { Close(); }

    void Open(std::vector<SSimulatedInstrument> listInstruments) {
        m_pLab = std::make_unique<CRoutedApplication>(std::move(listInstruments));
        m_pDialog = std::make_unique<Dialog>(App());
        App().m_pClaimInstrumentSelectionDialog = m_pDialog.get();
        m_opened = Clock::now();
        m_pDialog->Create();
    }

    void Close() {
        if (m_pDialog) {
            m_pDialog->DestroyWindow();
            App().m_pClaimInstrumentSelectionDialog = nullptr;
            m_pDialog.reset();
        }
        m_pLab.reset();
    }

    CMolvarInstrumentConnectionApplication& App() { return m_pLab->App(); }
    CInstrumentSimulator& Sim() { return m_pLab->Simulator(); }
    Dialog& Dlg() { return *m_pDialog; }
    QString Status() { return Field(Dlg(), "Status")->text(); }
    int Rows() { return RowCount(Dlg()); }
    bool ActionButtonsEnabled() {
        bool bAll = true;
        bool bAny = false;
        for (const QString& strButton : ACTION_BUTTONS) {
            const bool bEnabled = Button(Dlg(), strButton)->isEnabled();
            bAll = bAll && bEnabled;
            bAny = bAny || bEnabled;
        }
        EXPECT_EQ(bAll, bAny) << "the in-use rule drives the action buttons together";
        return bAll;
    }
    bool WaitForCollectionEnd() {
        return WaitFor([&] { return !Dlg().IsCollecting(); }, 5s);
    }
    // A new cycle at once, as the main connection window asks after a release.
    bool RefreshNow() {
        Dlg().PostMessage(WM_REFRESH_INSTRUMENTS);
        return WaitFor([&] { return Dlg().IsCollecting(); }, 2s) && WaitForCollectionEnd();
    }
    void ClickRow(int nRow, Qt::MouseButton nButton = Qt::LeftButton) {
        QTest::mouseClick(InstrumentList(Dlg())->viewport(), nButton, {}, RowCentre(Dlg(), nRow));
    }

    CMessageBoxRecorder m_boxes;
    std::unique_ptr<CRoutedApplication> m_pLab;
    std::unique_ptr<Dialog> m_pDialog;
    Clock::time_point m_opened;
};

// ---- The cycle's timeline ---------------------------------------------------------------------

TEST_F(SelectionWindowTest, CycleSendsThreeBroadcastsThenShowsWhatAnsweredAndRepeats) {
    Open({Instrument(0)});
    EXPECT_EQ(Status(), CHECKING);
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(ActionButtonsEnabled());
    EXPECT_TRUE(Button(Dlg(), "Close")->isEnabled());

    // A refresh asked for during the collection changes nothing: the cycle is not restarted.
    ASSERT_TRUE(WaitForRequests(Sim(), MSG_DISCOVERY_REQUEST, 2, 3s));
    Dlg().PostMessage(WM_REFRESH_INSTRUMENTS);
    ASSERT_TRUE(WaitForCollectionEnd());
    const Clock::time_point collected = Clock::now();
    EXPECT_EQ(Status(), "One instrument found");
    EXPECT_EQ(Rows(), 1);

    const std::vector<SSimulatorRequest> listFirst = RequestsOf(Sim(), MSG_DISCOVERY_REQUEST);
    ASSERT_EQ(listFirst.size(), 3u) << "three requests per cycle, none from the refresh";
    const long long nFirst = MillisecondsBetween(m_opened, listFirst[0].received);
    EXPECT_GE(nFirst, 170);
    EXPECT_LE(nFirst, 185 + 500);
    for (std::size_t i = 1; i < listFirst.size(); ++i) {
        const long long nGap =
            MillisecondsBetween(listFirst[i - 1].received, listFirst[i].received);
        EXPECT_GE(nGap, 140) << "request " << i;
        EXPECT_LE(nGap, 185 + 400) << "request " << i;
    }
    for (const SSimulatorRequest& request : listFirst) {
        EXPECT_EQ(request.dwHeaderDestination, LOOPBACK_BROADCAST);
        EXPECT_EQ(request.dwHeaderSource, LOOPBACK_ADDRESS);
    }
    const long long nCollected = MillisecondsBetween(m_opened, collected);
    EXPECT_GE(nCollected, 1000);
    EXPECT_LE(nCollected, 1015 + 800);

    // In the dwell, a refresh starts a cycle at once.
    const Clock::time_point refreshed = Clock::now();
    Dlg().PostMessage(WM_REFRESH_INSTRUMENTS);
    ASSERT_TRUE(WaitForRequests(Sim(), MSG_DISCOVERY_REQUEST, 6, 3s));
    const std::vector<SSimulatorRequest> listSecond = RequestsOf(Sim(), MSG_DISCOVERY_REQUEST);
    const long long nAfterRefresh = MillisecondsBetween(refreshed, listSecond[3].received);
    EXPECT_GE(nAfterRefresh, 170);
    EXPECT_LE(nAfterRefresh, 185 + 600);
    ASSERT_TRUE(WaitForCollectionEnd());
    EXPECT_EQ(RequestsOf(Sim(), MSG_DISCOVERY_REQUEST).size(), 6u);

    // The dwell timer keeps the phase it got at opening.
    ASSERT_TRUE(WaitForRequests(Sim(), MSG_DISCOVERY_REQUEST, 7, 8s));
    const long long nDwell =
        MillisecondsBetween(m_opened, RequestsOf(Sim(), MSG_DISCOVERY_REQUEST)[6].received);
    EXPECT_GE(nDwell, 5015 + 185 - 20);
    EXPECT_LE(nDwell, 5015 + 185 + 1500);
}

TEST_F(SelectionWindowTest, ClosingStopsEveryTimer) {
    Open({Instrument(0)});
    ASSERT_TRUE(WaitForRequests(Sim(), MSG_DISCOVERY_REQUEST, 1, 3s));
    Dlg().DestroyWindow();
    for (unsigned nTimer : {4u, 5u, 6u}) {
        EXPECT_FALSE(Dlg().IsTimerRunning(nTimer)) << nTimer;
    }
    EXPECT_FALSE(Dlg().IsCollecting());
    const std::size_t nSent = Sim().CountRequests(MSG_DISCOVERY_REQUEST);
    ProcessEventsFor(700ms);
    EXPECT_EQ(Sim().CountRequests(MSG_DISCOVERY_REQUEST), nSent);
}

// ---- What the window shows ------------------------------------------------------------------

TEST_F(SelectionWindowTest, StatusCountsTheInstrumentsAndRowsFollowTheList) {
    const struct {
        std::size_t nInstruments;
        QString strStatus;
    } aCases[] = {{0, "No instruments found"},
                  {1, "One instrument found"},
                  {2, "2 instruments found"},
                  {12, "12 instruments found"}};
    for (const auto& c : aCases) {
        SCOPED_TRACE(c.nInstruments);
        Open(Instruments(c.nInstruments));
        ASSERT_TRUE(WaitForCollectionEnd());
        EXPECT_EQ(Status(), c.strStatus);
        ASSERT_EQ(Rows(), static_cast<int>(c.nInstruments));
        EXPECT_EQ(ActionButtonsEnabled(), c.nInstruments > 0);
        for (std::size_t i = 0; i < c.nInstruments; ++i) {
            const QString strIndex = QString::number(i);
            EXPECT_EQ(RowTexts(Dlg(), static_cast<int>(i)),
                      QStringList({"Lab-" + strIndex,
                                   "inst" + strIndex + " [127.0.0." + QString::number(i + 2) + "]",
                                   "No", "{none}"}));
        }
        Close();
    }
}

TEST_F(SelectionWindowTest, ColumnsShareTheListWidthAtOpening) {
    Open({});
    QTreeView* pList = InstrumentList(Dlg());
    const int nWidth = pList->viewport()->width();
    ASSERT_GT(nWidth, 200) << "measured once the layout had sized the list";
    const int nColumn = nWidth / 6;
    EXPECT_EQ(pList->columnWidth(0), nColumn);
    EXPECT_EQ(pList->columnWidth(1), 2 * nColumn);
    EXPECT_EQ(pList->columnWidth(2), nColumn);
    EXPECT_EQ(pList->columnWidth(3), nWidth - 4 * nColumn);
    EXPECT_EQ(pList->model()->headerData(0, Qt::Horizontal), "Instrument name");
    EXPECT_EQ(pList->model()->headerData(1, Qt::Horizontal), "Instrument address");
    EXPECT_EQ(pList->model()->headerData(2, Qt::Horizontal), "In use");
    EXPECT_EQ(pList->model()->headerData(3, Qt::Horizontal), "Owner address");
    EXPECT_FALSE(pList->rootIsDecorated());
    EXPECT_EQ(pList->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(pList->selectionBehavior(), QAbstractItemView::SelectRows);
}

TEST_F(SelectionWindowTest, ShrinkingListLeavesExactlyAsManyRowsAsInstruments) {
    Open(Instruments(5));
    ASSERT_TRUE(WaitForCollectionEnd());
    ASSERT_EQ(Rows(), 5);
    for (std::size_t nIndex : {4u, 3u, 1u}) {
        Sim().RemoveInstrument(nIndex);
    }
    ASSERT_TRUE(RefreshNow());
    EXPECT_EQ(Status(), "2 instruments found");
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(RowTexts(Dlg(), 0)[0], "Lab-0");
    EXPECT_EQ(RowTexts(Dlg(), 1)[0], "Lab-2");

    Sim().RemoveInstrument(1);
    Sim().RemoveInstrument(0);
    ASSERT_TRUE(RefreshNow());
    EXPECT_EQ(Status(), "No instruments found");
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(ActionButtonsEnabled());
}

TEST_F(SelectionWindowTest, InUseTwoShowsYesButCountsAsFree) {
    SSimulatedInstrument busyish = Instrument(0);
    busyish.strName.clear();
    busyish.bInUse = 2;
    busyish.bClaimed = 1;
    busyish.strOwnerHostName = "pc-9";
    busyish.dwOwnerAddress = 0x0A000009;
    SSimulatedInstrument busy = Instrument(1);
    busy.bInUse = 1;
    Open({busyish, busy});
    ASSERT_TRUE(WaitForCollectionEnd());
    EXPECT_EQ(RowTexts(Dlg(), 0),
              QStringList({"Unnamed", "inst0 [127.0.0.2]", "Yes", "pc-9 [10.0.0.9]"}));
    EXPECT_EQ(RowTexts(Dlg(), 1)[2], "Yes");
    EXPECT_TRUE(ActionButtonsEnabled());
}

TEST_F(SelectionWindowTest, AllInUseDisablesTheButtonsButTheListStillActs) {
    std::vector<SSimulatedInstrument> list = Instruments(2);
    for (SSimulatedInstrument& instrument : list) {
        instrument.bInUse = 1;
    }
    Open(list);
    ASSERT_TRUE(WaitForCollectionEnd());
    EXPECT_FALSE(ActionButtonsEnabled());

    int nWindows = 0;
    CModalRunHook hook([&](CDialog& dlg) {
        ++nWindows;
        dlg.EndDialog(0);
    });
    QTest::mouseDClick(InstrumentList(Dlg())->viewport(), Qt::LeftButton, {}, RowCentre(Dlg(), 1));
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 1; }, 2s));
    EXPECT_EQ(m_boxes.Last().strText, "The selected instrument is in use, and cannot be claimed.");
    EXPECT_EQ(m_boxes.Last().strCaption, "Available Instruments");
    EXPECT_EQ(m_boxes.Last().nIcon, EMessageIcon::Exclamation);

    ClickRow(0, Qt::RightButton);
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 2; }, 2s));
    EXPECT_EQ(m_boxes.Last().strText, "The selected instrument is in use, and cannot be claimed.");
    EXPECT_EQ(SelectedRows(Dlg()), std::vector<int>{0}) << "the right click chose its row";
    EXPECT_EQ(nWindows, 0);
}

TEST_F(SelectionWindowTest, ClicksQueuedBeforeAnActionsWindowStartNoSecondAction) {
    Open({Instrument(0)});
    ASSERT_TRUE(WaitForCollectionEnd());
    int nWindows = 0;
    int nDepth = 0;
    int nDeepest = 0;
    CModalRunHook hook([&](CDialog& dlg) {
        ++nWindows;
        nDeepest = std::max(nDeepest, ++nDepth);
        ProcessEventsFor(200ms); // the claim window is up while the events go on
        --nDepth;
        dlg.EndDialog(0);
    });
    // Two right clicks before the first one's action has run: one claim window.
    ClickRow(0, Qt::RightButton);
    ClickRow(0, Qt::RightButton);
    ASSERT_TRUE(WaitFor([&] { return nWindows >= 1 && nDepth == 0; }, 3s));
    ProcessEventsFor(300ms);
    EXPECT_EQ(nWindows, 1);
    EXPECT_EQ(nDeepest, 1) << "no claim window opened inside another";
    EXPECT_EQ(App().m_pClaimInstrumentDialog, nullptr);
}

TEST_F(SelectionWindowTest, FocusedButtonDisabledByARefreshLeavesEnterToTheDefault) {
    Open({Instrument(0)});
    ASSERT_TRUE(WaitForCollectionEnd());
    ASSERT_TRUE(ActionButtonsEnabled());
    Button(Dlg(), "Claim instrument...")->setFocus();
    SSimulatedInstrument busy = Instrument(0);
    busy.bInUse = 1;
    Sim().SetInstrument(0, busy);
    ASSERT_TRUE(RefreshNow());
    EXPECT_FALSE(ActionButtonsEnabled());
    EXPECT_EQ(Dlg().focusWidget(), InstrumentList(Dlg())) << "not passed on to \"Close\"";
    QTest::keyClick(&Dlg(), Qt::Key_Return); // the disabled default button takes none
    EXPECT_TRUE(Dlg().isVisible());
}

TEST_F(SelectionWindowTest, EmptyListIgnoresClicksWithoutAMessage) {
    Open({});
    ASSERT_TRUE(WaitForCollectionEnd());
    QWidget* pViewport = InstrumentList(Dlg())->viewport();
    const QPoint centre = pViewport->rect().center();
    QTest::mouseDClick(pViewport, Qt::LeftButton, {}, centre);
    QTest::mouseClick(pViewport, Qt::RightButton, {}, centre);
    for (const QString& strButton : ACTION_BUTTONS) {
        Button(Dlg(), strButton)->click(); // disabled: nothing
    }
    ProcessEventsFor(100ms);
    EXPECT_EQ(m_boxes.Count(), 0);
}

// ---- Replies and refreshes ------------------------------------------------------------------

TEST_F(SelectionWindowTest, OnlyWellFormedRepliesOfTheCollectionReachTheRows) {
    Open({});
    SSimulatedInstrument stray = Instrument(5);
    std::vector<std::uint8_t> wrongCode = DiscoveryReplyOf(stray);
    wrongCode[DATAGRAM_HEADER_SIZE] = MSG_VERIFY;
    Dlg().HandleDiscoveryReply(wrongCode.data(), static_cast<std::uint32_t>(wrongCode.size()));
    std::vector<std::uint8_t> shortReply = DiscoveryReplyOf(stray);
    shortReply.pop_back();
    shortReply[8] = static_cast<std::uint8_t>(DISCOVERY_REPLY_SIZE - 1); // announced length
    Dlg().HandleDiscoveryReply(shortReply.data(), static_cast<std::uint32_t>(shortReply.size()));
    Dlg().HandleDiscoveryReply(nullptr, 0);
    EXPECT_EQ(Dlg().GetCollectedInstruments().GetCount(), 0u);

    ASSERT_TRUE(WaitForCollectionEnd());
    // In the dwell a reply is collected but never shown: the next cycle starts afresh.
    const std::vector<std::uint8_t> late = DiscoveryReplyOf(stray);
    Dlg().HandleDiscoveryReply(late.data(), static_cast<std::uint32_t>(late.size()));
    EXPECT_EQ(Dlg().GetCollectedInstruments().GetCount(), 1u);
    EXPECT_EQ(Rows(), 0);
    ASSERT_TRUE(RefreshNow());
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Status(), "No instruments found");
}

TEST_F(SelectionWindowTest, SelectionStaysOnItsInstrumentThroughRefreshes) {
    Open({Instrument(1), Instrument(2)}); // 127.0.0.3 and 127.0.0.4
    ASSERT_TRUE(WaitForCollectionEnd());
    ASSERT_EQ(Rows(), 2);
    ClickRow(1);
    ASSERT_EQ(SelectedRows(Dlg()), std::vector<int>{1});

    // An instrument with a lower address comes: the chosen one moves down a row.
    Sim().AddInstrument(Instrument(0));
    ASSERT_TRUE(RefreshNow());
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(SelectedRows(Dlg()), std::vector<int>{2});
    EXPECT_EQ(RowTexts(Dlg(), 2)[0], "Lab-2");

    // The action takes the instrument the user chose.
    QString strClaimed;
    CModalRunHook hookClaim([&](CDialog& dlg) {
        strClaimed = Field(dlg, "Instrument address:")->text();
        dlg.EndDialog(0);
    });
    Button(Dlg(), "Claim instrument...")->click();
    EXPECT_EQ(strClaimed, "inst2 [127.0.0.4]");

    // The chosen instrument leaves: nothing is selected, so no action lands on another one.
    ASSERT_TRUE(WaitForCollectionEnd());
    Sim().RemoveInstrument(1); // Lab-2, listed in the simulator as added: 1, 2, 0
    ASSERT_TRUE(RefreshNow());
    ASSERT_EQ(Rows(), 2);
    EXPECT_TRUE(SelectedRows(Dlg()).empty());
    Button(Dlg(), "Claim instrument...")->click();
    EXPECT_EQ(m_boxes.Last().strText, "Please select an instrument before clicking the \"Claim "
                                      "instrument...\" button.");
}

} // namespace
