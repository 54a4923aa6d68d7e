// The claim window against a simulated instrument on loopback, its replies routed by the main
// connection window: the name check as the user types, the request with its retries, and every
// kind of reply.
#include "ui/claim/ClaimInstrumentDialog.h"

#include "tests/support/WindowTestSupport.h"

namespace {

using Dialog = CClaimInstrumentDialog;

const QString CAPTION = "Claim Instrument";
const QString TOO_LONG = "An instrument name must be less than 64 characters long.";
const QString NO_NAME = "Please enter an instrument name.";
const QString NO_RESPONSE = "The instrument failed to respond to the claim request.";
const QString REFUSED = "The instrument is no longer available.";
const QString CLAIMED = "You have claimed the instrument.";

QString Invalid(const QString& strName) {
    return "\"" + strName + "\" is not a valid instrument name.";
}

class ClaimWindowTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_pDialog) {
            m_pDialog->DestroyWindow();
            App().m_pClaimInstrumentDialog = nullptr;
            m_pDialog.reset();
        }
        m_pLab.reset();
    }

    // The instrument at 127.0.0.2, as the claim selection window hands it over.
    void Open(const QString& strCurrentName = {}, SSimulatedInstrument instrument = {},
              std::set<std::uint8_t> setMuteCodes = {}) {
        if (instrument.strHostName.empty()) {
            instrument = LoopbackInstrument(0, strCurrentName.toStdString(), "inst0");
        }
        m_pLab =
            std::make_unique<CRoutedApplication>(std::vector{instrument}, std::move(setMuteCodes));
        m_pDialog = std::make_unique<Dialog>(App(), "inst0", strCurrentName,
                                             CRoutedApplication::Address(0));
        App().m_pClaimInstrumentDialog = m_pDialog.get();
        m_pDialog->Create();
    }

    CMolvarInstrumentConnectionApplication& App() { return m_pLab->App(); }
    CInstrumentSimulator& Sim() { return m_pLab->Simulator(); }
    Dialog& Dlg() { return *m_pDialog; }
    QLineEdit* NameBox() { return Field(Dlg(), "Instrument name:"); }
    QPushButton* ClaimButton() { return Button(Dlg(), "Claim"); }
    std::vector<SSimulatorRequest> Claims() { return RequestsOf(Sim(), MSG_CLAIM); }
    bool Closed() { return !Dlg().isVisible(); }
    // A claim reply from the instrument, as raw bytes with any payload.
    void Reply(std::vector<std::uint8_t> payload) {
        ASSERT_TRUE(m_pLab->Lab().SendToApplication(
            Framed(LOOPBACK_ADDRESS, CRoutedApplication::Address(0), payload)));
    }

    CMessageBoxRecorder m_boxes;
    std::unique_ptr<CRoutedApplication> m_pLab;
    std::unique_ptr<Dialog> m_pDialog;
};

// ---- Opening ----------------------------------------------------------------------------------

TEST_F(ClaimWindowTest, OpensOnAnUnnamedInstrumentWithTheNameToType) {
    Open();
    EXPECT_EQ(Dlg().windowTitle(), CAPTION);
    EXPECT_TRUE(NameBox()->isEnabled());
    EXPECT_FALSE(NameBox()->isReadOnly());
    EXPECT_TRUE(NameBox()->text().isEmpty());
    EXPECT_EQ(Field(Dlg(), "Instrument address:")->text(), "inst0 [127.0.0.2]");
    EXPECT_EQ(Field(Dlg(), "Owner name:")->text(),
              QString::fromStdString(m_pLab->LocalHostName()) + " [127.0.0.1]");
    EXPECT_EQ(Dlg().focusWidget(), NameBox());
    EXPECT_TRUE(ClaimButton()->isDefault());
    EXPECT_TRUE(ClaimButton()->isEnabled());
    QPushButton* pCancel = Button(Dlg(), "Cancel");
    ASSERT_NE(pCancel, nullptr);
    EXPECT_FALSE(pCancel->isDefault());
    EXPECT_FALSE(pCancel->autoDefault());
    EXPECT_EQ(m_boxes.Count(), 0);
}

TEST_F(ClaimWindowTest, NamedInstrumentIsClaimedUnderItsName) {
    Open("Lab-1");
    EXPECT_EQ(NameBox()->text(), "Lab-1");
    EXPECT_FALSE(NameBox()->isEnabled());
    EXPECT_EQ(Dlg().focusWidget(), ClaimButton());
    ClaimButton()->click();
    ASSERT_TRUE(WaitFor([&] { return Closed(); }));
    ASSERT_EQ(Claims().size(), 1u);
    EXPECT_EQ(Claims()[0].strInstrumentName, "Lab-1");
    EXPECT_EQ(Claims()[0].strClientHostName, m_pLab->LocalHostName());
    EXPECT_EQ(Claims()[0].dwHeaderDestination, CRoutedApplication::Address(0));
    EXPECT_EQ(Claims()[0].dwHeaderSource, LOOPBACK_ADDRESS);
    EXPECT_EQ(m_boxes.Texts(), QStringList{CLAIMED});
    EXPECT_EQ(m_boxes.Last().strCaption, CAPTION);
    EXPECT_EQ(m_boxes.Last().nIcon, EMessageIcon::Information);
    EXPECT_EQ(Dlg().GetResult(), -1);
    EXPECT_EQ(App().m_strInstrumentName, "Lab-1");
    EXPECT_EQ(App().m_strInstrumentHostName, "inst0");
    EXPECT_EQ(App().m_dwInstrumentIPAddress, CRoutedApplication::Address(0));
    EXPECT_EQ(App().m_nConnectionState, CONNECTION_READY);
}

TEST_F(ClaimWindowTest, InstrumentNamedUnnamedIsJudgedAtOpeningAndClaimedAsItIs) {
    Open("UNNAMED");
    EXPECT_EQ(m_boxes.Texts(), QStringList{Invalid("UNNAMED")});
    EXPECT_FALSE(NameBox()->isEnabled());
    ClaimButton()->click();
    ASSERT_TRUE(WaitFor([&] { return Closed(); }));
    ASSERT_EQ(Claims().size(), 1u);
    EXPECT_EQ(Claims()[0].strInstrumentName, "UNNAMED");
}

// ---- The name check ---------------------------------------------------------------------------

TEST_F(ClaimWindowTest, UnnamedIsRefusedInAnyCaseAndTheLastGoodNameKept) {
    Open();
    QTest::keyClicks(NameBox(), "Unnamed");
    EXPECT_EQ(m_boxes.Texts(), QStringList{Invalid("Unnamed")});
    EXPECT_EQ(m_boxes.Last().strCaption, CAPTION);
    EXPECT_EQ(m_boxes.Last().nIcon, EMessageIcon::Exclamation);
    EXPECT_EQ(Dlg().GetClaimName(), "Unname");
    EXPECT_EQ(NameBox()->text(), "Unnamed") << "the box keeps what was typed";
    EXPECT_EQ(Dlg().focusWidget(), NameBox());

    // So is a name whose 8-bit form holds a NUL or a control character (U+0100, U+010A).
    for (const char* pszRefused : {"uNNAMED", "unnamed", "Lab\xC4\x80", "Lab\xC4\x8A"}) {
        const QString strRefused = QString::fromUtf8(pszRefused);
        m_boxes.Clear();
        NameBox()->setText(strRefused);
        EXPECT_EQ(m_boxes.Texts(), QStringList{Invalid(strRefused)});
        EXPECT_EQ(Dlg().GetClaimName(), "Unname");
    }
    for (const char* pszAccepted : {" Unnamed", "Unnamed1", "Unnamed ", "Ünnamed"}) {
        const QString strAccepted = QString::fromUtf8(pszAccepted);
        m_boxes.Clear();
        NameBox()->setText(strAccepted);
        EXPECT_EQ(m_boxes.Count(), 0) << strAccepted.toStdString();
        EXPECT_EQ(Dlg().GetClaimName(), strAccepted);
    }

    // A claim carries the last name that passed.
    NameBox()->setText("Unname");
    QTest::keyClicks(NameBox(), "D");
    ClaimButton()->click();
    ASSERT_TRUE(WaitFor([&] { return Closed(); }));
    ASSERT_EQ(Claims().size(), 1u);
    EXPECT_EQ(Claims()[0].strInstrumentName, "Unname");
}

TEST_F(ClaimWindowTest, SixtyFourCodeUnitsAreTooMany) {
    Open();
    const QString str63(63, QChar('a'));
    QTest::keyClicks(NameBox(), str63);
    EXPECT_EQ(m_boxes.Count(), 0);
    EXPECT_EQ(Dlg().GetClaimName(), str63);
    QTest::keyClicks(NameBox(), "b");
    EXPECT_EQ(m_boxes.Texts(), QStringList{TOO_LONG});
    EXPECT_EQ(Dlg().GetClaimName(), str63);

    // A character outside the basic plane counts two: 62 + 2 units are too many as well.
    m_boxes.Clear();
    NameBox()->setText(QString(62, QChar('c')) + QString::fromUtf8("\xF0\x9F\x94\xAC"));
    EXPECT_EQ(m_boxes.Texts(), QStringList{TOO_LONG});

    ClaimButton()->click();
    ASSERT_TRUE(WaitFor([&] { return Closed(); }));
    ASSERT_EQ(Claims().size(), 1u);
    EXPECT_EQ(Claims()[0].strInstrumentName, str63.toStdString());
}

TEST_F(ClaimWindowTest, PastedOrEmptiedTextLeavesTheStoredName) {
    Open();
    NameBox()->insert(QString(70, QChar('x'))); // pasted at once into the empty box
    EXPECT_EQ(m_boxes.Texts(), QStringList{TOO_LONG});
    EXPECT_TRUE(Dlg().GetClaimName().isEmpty());
    m_boxes.Clear();
    ClaimButton()->click();
    EXPECT_EQ(m_boxes.Texts(), QStringList{NO_NAME});
    EXPECT_EQ(Dlg().focusWidget(), NameBox());
    EXPECT_FALSE(Dlg().IsWaitingForReply());

    NameBox()->clear();
    QTest::keyClicks(NameBox(), "Lab");
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(NameBox(), Qt::Key_Backspace);
    }
    EXPECT_EQ(Dlg().GetClaimName(), "L") << "the last text that was not empty";
    QTest::keyClicks(NameBox(), "Lab");
    NameBox()->selectAll();
    QTest::keyClick(NameBox(), Qt::Key_Delete);
    EXPECT_EQ(Dlg().GetClaimName(), "Lab");
}

TEST_F(ClaimWindowTest, ChangesWhileAMessageIsUpAreJudgedAfterIt) {
    Open();
    int nDepth = 0;
    int nDeepest = 0;
    std::vector<QString> listEdits = {"unnamed", "Lab-2"};
    m_boxes.SetOnShow([&](const SMessageBox&) {
        nDeepest = std::max(nDeepest, ++nDepth);
        // The user goes on typing while the box is up.
        if (!listEdits.empty()) {
            const QString strEdit = listEdits.front();
            listEdits.erase(listEdits.begin());
            NameBox()->setText(strEdit);
        }
        --nDepth;
    });
    QTest::keyClicks(NameBox(), QString(64, QChar('a')));
    EXPECT_EQ(nDeepest, 1) << "no box opened inside another";
    EXPECT_EQ(m_boxes.Texts(), QStringList({TOO_LONG, Invalid("unnamed")}));
    EXPECT_EQ(NameBox()->text(), "Lab-2");
    EXPECT_EQ(Dlg().GetClaimName(), "Lab-2") << "the last change was judged, not lost";
}

// ---- The request and its reply ----------------------------------------------------------------

TEST_F(ClaimWindowTest, UnansweredClaimIsSentFourTimesThenGivenUp) {
    Open("Lab-1", {}, {MSG_CLAIM});
    ClaimButton()->click();
    EXPECT_TRUE(Dlg().IsWaitingForReply());
    EXPECT_FALSE(ClaimButton()->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return Closed(); }));
    EXPECT_EQ(m_boxes.Texts(), QStringList{NO_RESPONSE});
    EXPECT_EQ(m_boxes.Last().nIcon, EMessageIcon::Exclamation);
    EXPECT_EQ(Dlg().GetResult(), -1);
    EXPECT_EQ(Dlg().GetClaimTimeouts(), 4u);
    const std::vector<SSimulatorRequest> listClaims = Claims();
    ASSERT_EQ(listClaims.size(), 4u);
    for (std::size_t i = 1; i < listClaims.size(); ++i) {
        const long long nGap =
            MillisecondsBetween(listClaims[i - 1].received, listClaims[i].received);
        EXPECT_GE(nGap, 440) << i;
        EXPECT_LE(nGap, 485 + 600) << i;
    }
    ProcessEventsFor(700ms);
    EXPECT_EQ(Claims().size(), 4u);
    EXPECT_EQ(m_boxes.Count(), 1);
    EXPECT_EQ(App().m_nConnectionState, CONNECTION_NOT_CONFIGURED);
    EXPECT_TRUE(App().m_strInstrumentName.isEmpty());
}

TEST_F(ClaimWindowTest, ReplyAfterTheSecondRequestEndsTheRetries) {
    Open("Lab-1", {}, {MSG_CLAIM});
    ClaimButton()->click();
    ASSERT_TRUE(WaitForRequests(Sim(), MSG_CLAIM, 2));
    Reply({MSG_CLAIM, 0});
    ASSERT_TRUE(WaitFor([&] { return Closed(); }));
    EXPECT_EQ(m_boxes.Texts(), QStringList{CLAIMED});
    EXPECT_EQ(App().m_nConnectionState, CONNECTION_READY);
    ProcessEventsFor(1200ms);
    EXPECT_EQ(Claims().size(), 2u);
}

TEST_F(ClaimWindowTest, RefusedClaimChangesNothing) {
    SSimulatedInstrument claimed = LoopbackInstrument(0, "Lab-1", "inst0");
    claimed.bClaimed = 1;
    claimed.strOwnerHostName = "pc-9";
    claimed.dwOwnerAddress = 0x7F000009;
    Open("Lab-1", claimed);
    ClaimButton()->click();
    ASSERT_TRUE(WaitFor([&] { return Closed(); }));
    EXPECT_EQ(m_boxes.Texts(), QStringList{REFUSED});
    EXPECT_EQ(m_boxes.Last().nIcon, EMessageIcon::Exclamation);
    EXPECT_EQ(Dlg().GetResult(), -1);
    EXPECT_EQ(App().m_nConnectionState, CONNECTION_NOT_CONFIGURED);
    EXPECT_TRUE(App().m_strInstrumentName.isEmpty());
    EXPECT_EQ(App().m_dwInstrumentIPAddress, 0u);
}

TEST_F(ClaimWindowTest, ReplyOfWrongLengthIsIgnoredAndTheRetriesGoOn) {
    Open("Lab-1", {}, {MSG_CLAIM});
    ClaimButton()->click();
    ASSERT_TRUE(WaitForRequests(Sim(), MSG_CLAIM, 1));
    Reply({MSG_CLAIM, 0, 0});
    ProcessEventsFor(100ms);
    EXPECT_TRUE(Dlg().IsWaitingForReply());
    ASSERT_TRUE(WaitFor([&] { return Closed(); }, 5s));
    EXPECT_EQ(Claims().size(), 4u);
    EXPECT_EQ(m_boxes.Texts(), QStringList{NO_RESPONSE});
    EXPECT_EQ(App().m_nConnectionState, CONNECTION_NOT_CONFIGURED);
}

TEST_F(ClaimWindowTest, AGrantingReplyWhileNotWaitingConfiguresNothing) {
    Open("Lab-1", {}, {MSG_CLAIM});
    Reply({MSG_CLAIM, STATUS_OK}); // before anything was sent
    ProcessEventsFor(100ms);
    ClaimButton()->click();
    ASSERT_TRUE(WaitForRequests(Sim(), MSG_CLAIM, 1));
    // While the message that the claim went unanswered is up, nothing waits either.
    m_boxes.SetOnShow([&](const SMessageBox&) {
        EXPECT_FALSE(Dlg().IsWaitingForReply());
        Reply({MSG_CLAIM, STATUS_OK});
        ProcessEventsFor(100ms);
    });
    ASSERT_TRUE(WaitFor([&] { return Closed(); }, 5s)); // the claim goes unanswered
    EXPECT_EQ(m_boxes.Texts(), QStringList{NO_RESPONSE});
    Reply({MSG_CLAIM, STATUS_OK}); // after the window has gone
    ProcessEventsFor(100ms);
    EXPECT_EQ(App().m_nConnectionState, CONNECTION_NOT_CONFIGURED);
    EXPECT_TRUE(App().m_strInstrumentName.isEmpty());
}

TEST_F(ClaimWindowTest, CancelAndEscapeEndTheWindowWhileWaiting) {
    Open("Lab-1", {}, {MSG_CLAIM});
    QTest::keyClick(&Dlg(), Qt::Key_Return); // Enter presses "Claim"
    ASSERT_TRUE(Dlg().IsWaitingForReply());
    // A second Enter finds "Claim" disabled and the focus not handed on to "Cancel".
    QTest::keyClick(&Dlg(), Qt::Key_Return);
    EXPECT_FALSE(Closed());
    EXPECT_TRUE(Dlg().IsWaitingForReply());
    Button(Dlg(), "Cancel")->click();
    EXPECT_TRUE(Closed());
    EXPECT_EQ(Dlg().GetResult(), 0);
    EXPECT_FALSE(Dlg().IsTimerRunning(Dialog::ID_CLAIM_RESPONSE_TIMER_EVENT));
    ProcessEventsFor(700ms);
    EXPECT_EQ(Claims().size(), 1u);
    EXPECT_EQ(m_boxes.Count(), 0);
    EXPECT_TRUE(App().m_strInstrumentName.isEmpty());

    App().m_pClaimInstrumentDialog = nullptr;
    m_pDialog = std::make_unique<Dialog>(App(), "inst0", "Lab-1", CRoutedApplication::Address(0));
    App().m_pClaimInstrumentDialog = m_pDialog.get();
    m_pDialog->Create();
    ClaimButton()->click();
    QTest::keyClick(&Dlg(), Qt::Key_Escape);
    EXPECT_TRUE(Closed());
    EXPECT_EQ(Dlg().GetResult(), IDCANCEL);
}

TEST_F(ClaimWindowTest, WideNameGoesOutAsLowBytesAndIsKeptWide) {
    Open();
    const QString strName = QString::fromUtf8("\xCE\xA9mega-\xE2\x84\xA6"); // Ωmega-Ω (ohm)
    for (const QChar ch : strName) {
        NameBox()->insert(ch); // typed one character at a time
    }
    ClaimButton()->click();
    ASSERT_TRUE(WaitFor([&] { return Closed(); }));
    ASSERT_EQ(Claims().size(), 1u);
    EXPECT_EQ(Claims()[0].strInstrumentName, "\xA9mega-\x26");
    EXPECT_EQ(App().m_strInstrumentName, strName);
    EXPECT_EQ(m_boxes.Texts(), QStringList{CLAIMED});
}

} // namespace
