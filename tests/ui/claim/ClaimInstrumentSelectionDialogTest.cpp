// The claim selection window's actions: the choice of the instrument, the claim and rename
// windows it opens and the cycle after them, and the release with its ownership test.
#include "ui/claim/ClaimInstrumentSelectionDialog.h"

#include "tests/support/ModalRunHook.h"
#include "tests/support/WindowTestSupport.h"
#include "ui/WindowMessages.h"
#include "ui/claim/ClaimInstrumentDialog.h"
#include "ui/rename/RenameInstrumentDialog.h"

namespace {

using Dialog = CClaimInstrumentSelectionDialog;

const QString CAPTION = "Available Instruments";
const QString CLAIM = "Claim instrument...";
const QString RELEASE = "Release instrument";
const QString RENAME = "Rename instrument...";
const QString NOT_CLAIMED = "The selected instrument has not been claimed yet.";
const QString OWNED_ELSEWHERE =
    "The selected instrument is owned by another client, and can only be released by its owner.";

class ClaimSelectionTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_pDialog) {
            m_pDialog->DestroyWindow();
            App().m_pClaimInstrumentSelectionDialog = nullptr;
            m_pDialog.reset();
        }
        m_pLab.reset();
    }

    void Open(std::vector<SSimulatedInstrument> listInstruments) {
        m_pLab = std::make_unique<CRoutedApplication>(std::move(listInstruments));
        m_pDialog = std::make_unique<Dialog>(App());
        App().m_pClaimInstrumentSelectionDialog = m_pDialog.get();
        m_pDialog->Create();
    }
    // Records that reach the window during its first collection, as if instruments answered.
    void OpenWithReplies(const std::vector<SSimulatedInstrument>& listReplies) {
        Open({});
        for (const SSimulatedInstrument& instrument : listReplies) {
            const std::vector<std::uint8_t> reply = DiscoveryReplyOf(instrument);
            Dlg().HandleDiscoveryReply(reply.data(), static_cast<std::uint32_t>(reply.size()));
        }
    }

    CMolvarInstrumentConnectionApplication& App() { return m_pLab->App(); }
    Dialog& Dlg() { return *m_pDialog; }
    bool WaitForCollectionEnd() {
        return WaitFor([&] { return !Dlg().IsCollecting(); }, 5s);
    }
    void ClickRow(int nRow) {
        QTest::mouseClick(InstrumentList(Dlg())->viewport(), Qt::LeftButton, {},
                          RowCentre(Dlg(), nRow));
    }

    // An instrument held by this computer as the release tests present it (host OWNER_HOST).
    static SSimulatedInstrument Owned(std::size_t nIndex, const std::string& strName) {
        SSimulatedInstrument instrument = LoopbackInstrument(nIndex, strName, "inst");
        instrument.bClaimed = 1;
        instrument.strOwnerHostName = OWNER_HOST;
        instrument.dwOwnerAddress = LOOPBACK_ADDRESS;
        return instrument;
    }
    static constexpr const char* OWNER_HOST = "Bench-PC";

    CMessageBoxRecorder m_boxes;
    std::unique_ptr<CRoutedApplication> m_pLab;
    std::unique_ptr<Dialog> m_pDialog;
};

TEST_F(ClaimSelectionTest, FaceKeysAndNames) {
    Open({});
    EXPECT_EQ(Dlg().windowTitle(), "Select an Instrument to Claim or Release");
    QStringList listButtons;
    for (QPushButton* pButton : Dlg().findChildren<QPushButton*>()) {
        listButtons << pButton->text();
        EXPECT_EQ(pButton->accessibleName(), pButton->text());
        EXPECT_FALSE(pButton->autoDefault()) << pButton->text().toStdString();
        EXPECT_EQ(pButton->isDefault(), pButton->text() == CLAIM) << pButton->text().toStdString();
        EXPECT_EQ(pButton->isEnabled(), pButton->text() == "Close");
    }
    EXPECT_EQ(listButtons, QStringList({CLAIM, RELEASE, RENAME, "Close"}));
    QLineEdit* pStatus = Field(Dlg(), "Status");
    ASSERT_NE(pStatus, nullptr);
    EXPECT_TRUE(pStatus->isReadOnly());
    EXPECT_FALSE(InstrumentList(Dlg())->accessibleName().isEmpty());

    // Enter goes to the disabled default button, which ignores it; Escape cancels.
    QTest::keyClick(&Dlg(), Qt::Key_Return);
    EXPECT_TRUE(Dlg().isVisible());
    QTest::keyClick(&Dlg(), Qt::Key_Escape);
    EXPECT_FALSE(Dlg().isVisible());
    EXPECT_EQ(Dlg().GetResult(), IDCANCEL);
    EXPECT_EQ(m_boxes.Count(), 0);
}

TEST_F(ClaimSelectionTest, OneListedInstrumentIsTakenWithoutASelection) {
    Open({LoopbackInstrument(0, "Lab-0", "inst0")});
    ASSERT_TRUE(WaitForCollectionEnd());
    ASSERT_TRUE(SelectedRows(Dlg()).empty());

    QStringList listSeen;
    CModalRunHook hook([&](CDialog& dlg) {
        if (auto* pClaim = dynamic_cast<CClaimInstrumentDialog*>(&dlg)) {
            EXPECT_EQ(App().m_pClaimInstrumentDialog, pClaim);
            listSeen << "claim " + Field(dlg, "Instrument address:")->text() + " " +
                            Field(dlg, "Instrument name:")->text();
        } else if (auto* pRename = dynamic_cast<CRenameInstrumentDialog*>(&dlg)) {
            EXPECT_EQ(App().m_pRenameInstrumentDialog, pRename);
            listSeen << "rename " + Field(dlg, "Instrument address:")->text() + " " +
                            Field(dlg, "Instrument name:")->text();
        }
        dlg.EndDialog(0);
    });
    QTest::keyClick(&Dlg(), Qt::Key_Return); // "Claim instrument..." is the default button
    EXPECT_EQ(App().m_pClaimInstrumentDialog, nullptr);
    // The claim window closed in the dwell: a cycle starts at once to show the outcome.
    EXPECT_TRUE(Dlg().IsCollecting());
    EXPECT_EQ(Dlg().GetRequestCount(), 0u);

    ASSERT_TRUE(WaitForCollectionEnd());
    Button(Dlg(), RENAME)->click();
    EXPECT_EQ(App().m_pRenameInstrumentDialog, nullptr);
    EXPECT_TRUE(Dlg().IsCollecting());
    EXPECT_EQ(listSeen,
              QStringList({"claim inst0 [127.0.0.2] Lab-0", "rename inst0 [127.0.0.2] Lab-0"}));

    Button(Dlg(), RELEASE)->click();
    EXPECT_EQ(m_boxes.Texts(), QStringList{NOT_CLAIMED});
    EXPECT_EQ(m_boxes.Last().nIcon, EMessageIcon::Information);
    EXPECT_EQ(m_boxes.Last().strCaption, CAPTION);
}

TEST_F(ClaimSelectionTest, SeveralListedInstrumentsNeedASelection) {
    Open({LoopbackInstrument(0, "Lab-0", "inst0"), LoopbackInstrument(1, "Lab-1", "inst1")});
    ASSERT_TRUE(WaitForCollectionEnd());
    int nWindows = 0;
    CModalRunHook hook([&](CDialog& dlg) {
        ++nWindows;
        dlg.EndDialog(0);
    });
    for (const QString& strButton : {CLAIM, RELEASE, RENAME}) {
        Button(Dlg(), strButton)->click();
    }
    EXPECT_EQ(m_boxes.Texts(),
              QStringList({"Please select an instrument before clicking the \"Claim "
                           "instrument...\" button.",
                           "Please select an instrument before clicking the \"Release "
                           "instrument...\" button.",
                           "Please select an instrument before clicking the \"Rename "
                           "instrument...\" button."}));
    for (const SMessageBox& box : m_boxes.Boxes()) {
        EXPECT_EQ(box.strCaption, CAPTION);
        EXPECT_EQ(box.nIcon, EMessageIcon::Exclamation);
    }
    EXPECT_EQ(nWindows, 0);

    m_boxes.Clear();
    ClickRow(1);
    QString strClaimed;
    CModalRunHook hookClaim([&](CDialog& dlg) {
        strClaimed = Field(dlg, "Instrument address:")->text();
        dlg.EndDialog(0);
    });
    Button(Dlg(), CLAIM)->click();
    EXPECT_EQ(strClaimed, "inst1 [127.0.0.3]");
    EXPECT_EQ(m_boxes.Count(), 0);
}

TEST_F(ClaimSelectionTest, InstrumentInUseIsNeitherClaimedNorRenamed) {
    SSimulatedInstrument busy = LoopbackInstrument(1, "Busy", "inst1");
    busy.bInUse = 1;
    Open({LoopbackInstrument(0, "Lab-0", "inst0"), busy});
    ASSERT_TRUE(WaitForCollectionEnd());
    ClickRow(1);
    int nWindows = 0;
    CModalRunHook hook([&](CDialog& dlg) {
        ++nWindows;
        dlg.EndDialog(0);
    });
    Button(Dlg(), CLAIM)->click();
    Button(Dlg(), RENAME)->click();
    EXPECT_EQ(m_boxes.Texts(),
              QStringList({"The selected instrument is in use, and cannot be claimed.",
                           "The selected instrument is in use, and cannot be renamed."}));
    EXPECT_EQ(nWindows, 0);
}

TEST_F(ClaimSelectionTest, ClaimWindowClosedDuringACollectionStartsNoExtraCycle) {
    Open({LoopbackInstrument(0, "Lab-0", "inst0")});
    ASSERT_TRUE(WaitForCollectionEnd());
    CModalRunHook hook([&](CDialog& dlg) {
        // The main connection window asks for a cycle while the claim window is up.
        Dlg().PostMessage(WM_REFRESH_INSTRUMENTS);
        EXPECT_TRUE(
            WaitFor([&] { return Dlg().IsCollecting() && Dlg().GetRequestCount() >= 1; }, 3s));
        dlg.EndDialog(0);
    });
    Button(Dlg(), CLAIM)->click();
    EXPECT_TRUE(Dlg().IsCollecting());
    EXPECT_GE(Dlg().GetRequestCount(), 1u) << "the running collection went on";
}

TEST_F(ClaimSelectionTest, ReleaseOnlyWhatThisComputerOwnsUnderTheConfiguredName) {
    SSimulatedInstrument otherAddress = Owned(0, "Lab-1");
    otherAddress.dwOwnerAddress = 0x7F000009; // the same host from another address
    otherAddress.bInUse = 1;                  // ownership is judged before use
    SSimulatedInstrument otherHostCase = Owned(1, "Lab-1");
    otherHostCase.strOwnerHostName = "bench-pc";
    SSimulatedInstrument otherNameCase = Owned(2, "lab-1");
    SSimulatedInstrument ownedBusy = Owned(3, "Lab-1");
    ownedBusy.bInUse = 1;
    SSimulatedInstrument owned = Owned(4, "Lab-1");
    SSimulatedInstrument unclaimed = LoopbackInstrument(5, "Lab-1", "inst");
    OpenWithReplies({otherAddress, otherHostCase, otherNameCase, ownedBusy, owned, unclaimed});
    App().m_strLocalHostName = OWNER_HOST;
    App().m_strInstrumentName = "Lab-1";
    App().m_strInstrumentHostName = "inst";
    App().m_dwInstrumentIPAddress = owned.dwAddress;
    App().m_nConnectionState = CONNECTION_READY;
    ASSERT_TRUE(WaitForCollectionEnd());
    ASSERT_EQ(RowCount(Dlg()), 6);

    // Row 3 is held here under the configured name too, but is not the configured instrument,
    // which is the one the main connection window would release.
    for (int nRow = 0; nRow < 4; ++nRow) {
        SCOPED_TRACE(nRow);
        ClickRow(nRow);
        Button(Dlg(), RELEASE)->click();
        EXPECT_EQ(m_boxes.Last().strText, OWNED_ELSEWHERE);
        EXPECT_EQ(m_boxes.Last().nIcon, EMessageIcon::Exclamation);
    }
    App().m_dwInstrumentIPAddress = ownedBusy.dwAddress;
    ClickRow(3);
    Button(Dlg(), RELEASE)->click();
    EXPECT_EQ(m_boxes.Last().strText, "The selected instrument is in use, and cannot be released.");
    App().m_dwInstrumentIPAddress = owned.dwAddress;
    ClickRow(5);
    Button(Dlg(), RELEASE)->click();
    EXPECT_EQ(m_boxes.Last().strText, NOT_CLAIMED);
    EXPECT_EQ(m_boxes.Count(), 6);
    ProcessEventsFor(100ms);
    EXPECT_FALSE(m_pLab->Main().IsWaitingForReply()) << "nothing was posted";

    // The owned instrument: the main connection window is asked, and only while it is shown.
    m_boxes.Clear();
    ClickRow(4);
    m_pLab->Main().hide();
    Button(Dlg(), RELEASE)->click();
    ProcessEventsFor(100ms);
    EXPECT_FALSE(m_pLab->Main().IsWaitingForReply());
    m_pLab->Main().show();
    Button(Dlg(), RELEASE)->click();
    EXPECT_TRUE(WaitFor([&] { return m_pLab->Main().IsWaitingForReply(); }, 2s));
    EXPECT_EQ(m_pLab->Main().GetPendingRequest(), MSG_RELEASE);
    EXPECT_EQ(m_boxes.Count(), 0) << "the selection window says nothing itself";
}

TEST_F(ClaimSelectionTest, ReleaseComparesTheNameAsTheInstrumentHoldsIt) {
    // Named here "Lab…" (0x85 on the instrument) and "LabŁ", which travelled as "LabA".
    const SSimulatedInstrument ellipsis = Owned(0, "Lab\x85");
    const SSimulatedInstrument wide = Owned(1, "LabA");
    const SSimulatedInstrument unnamed = Owned(2, "");
    Open({ellipsis, wide, unnamed}); // the instruments answer, releases too
    App().m_strLocalHostName = OWNER_HOST;
    App().m_nConnectionState = CONNECTION_READY;
    ASSERT_TRUE(WaitForCollectionEnd());
    ASSERT_EQ(RowCount(Dlg()), 3);

    struct SCase {
        int nRow;
        QString strConfiguredName;
        std::uint32_t dwConfiguredAddress;
    };
    const SCase aCases[] = {{0, QStringLiteral("Lab\u2026"), ellipsis.dwAddress},
                            {1, QStringLiteral("Lab\u0141"), wide.dwAddress}};
    for (const SCase& c : aCases) {
        SCOPED_TRACE(c.nRow);
        App().m_strInstrumentName = c.strConfiguredName;
        App().m_dwInstrumentIPAddress = c.dwConfiguredAddress;
        ClickRow(c.nRow);
        Button(Dlg(), RELEASE)->click();
        ASSERT_TRUE(WaitFor(
            [&] { return RequestsOf(m_pLab->Simulator(), MSG_RELEASE).size() == c.nRow + 1u; }));
        EXPECT_EQ(RequestsOf(m_pLab->Simulator(), MSG_RELEASE).back().dwHeaderDestination,
                  c.dwConfiguredAddress);
        ASSERT_TRUE(WaitFor([&] { return !m_pLab->Main().IsWaitingForReply(); }, 5s));
    }
    EXPECT_EQ(m_boxes.Count(), 0);

    // Nothing configured: an unnamed instrument held here is not the configured one.
    App().m_strInstrumentName.clear();
    App().m_dwInstrumentIPAddress = 0;
    App().m_nConnectionState = CONNECTION_NOT_CONFIGURED;
    ClickRow(2);
    Button(Dlg(), RELEASE)->click();
    EXPECT_EQ(m_boxes.Last().strText, OWNED_ELSEWHERE);
    ProcessEventsFor(100ms);
    EXPECT_FALSE(m_pLab->Main().IsWaitingForReply());
}

} // namespace
