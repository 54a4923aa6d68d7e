// The rename window against a simulated instrument on loopback, its replies routed by the main
// connection window. The name check is the claim window's (tested there); here what the rename
// window does differently, and its request, retries and replies.
#include "ui/rename/RenameInstrumentDialog.h"

#include "tests/support/WindowTestSupport.h"

namespace {

using Dialog = CRenameInstrumentDialog;

const QString CAPTION = "Rename Instrument";
const QString NO_NAME = "Please enter a new instrument name.";
const QString NO_RESPONSE = "The instrument failed to respond to the rename request.";
const QString REFUSED = "The instrument could not be renamed.";
const QString RENAMED = "You have renamed the instrument, and are the current owner.";

class RenameWindowTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_pDialog) {
            m_pDialog->DestroyWindow();
            App().m_pRenameInstrumentDialog = nullptr;
            m_pDialog.reset();
        }
        m_pLab.reset();
    }

    void Open(SSimulatedInstrument instrument, std::set<std::uint8_t> setMuteCodes = {}) {
        m_pLab =
            std::make_unique<CRoutedApplication>(std::vector{instrument}, std::move(setMuteCodes));
        m_pDialog = std::make_unique<Dialog>(App(), QString::fromStdString(instrument.strHostName),
                                             QString::fromStdString(instrument.strName),
                                             instrument.dwAddress);
        App().m_pRenameInstrumentDialog = m_pDialog.get();
        m_pDialog->Create();
    }
    void Open(std::set<std::uint8_t> setMuteCodes = {}) {
        Open(LoopbackInstrument(0, "Lab-0", "inst0"), std::move(setMuteCodes));
    }

    CMolvarInstrumentConnectionApplication& App() { return m_pLab->App(); }
    CInstrumentSimulator& Sim() { return m_pLab->Simulator(); }
    Dialog& Dlg() { return *m_pDialog; }
    QLineEdit* NewNameBox() { return Field(Dlg(), "New instrument name:"); }
    QPushButton* RenameButton() { return Button(Dlg(), "Rename"); }
    std::vector<SSimulatorRequest> Renames() { return RequestsOf(Sim(), MSG_RENAME); }
    bool Closed() { return !Dlg().isVisible(); }
    void Reply(std::vector<std::uint8_t> payload) {
        ASSERT_TRUE(m_pLab->Lab().SendToApplication(
            Framed(LOOPBACK_ADDRESS, CRoutedApplication::Address(0), payload)));
    }

    CMessageBoxRecorder m_boxes;
    std::unique_ptr<CRoutedApplication> m_pLab;
    std::unique_ptr<Dialog> m_pDialog;
};

TEST_F(RenameWindowTest, OpensWithTheCurrentNameReadOnlyAndEnterEndsIt) {
    Open(LoopbackInstrument(0, "", "inst0"));
    EXPECT_EQ(Dlg().windowTitle(), CAPTION);
    QLineEdit* pCurrent = Field(Dlg(), "Instrument name:");
    ASSERT_NE(pCurrent, nullptr);
    EXPECT_TRUE(pCurrent->isReadOnly());
    EXPECT_EQ(pCurrent->text(), "") << "an instrument without a name shows none";
    EXPECT_EQ(Field(Dlg(), "Instrument address:")->text(), "inst0 [127.0.0.2]");
    EXPECT_FALSE(NewNameBox()->isReadOnly());
    EXPECT_EQ(Dlg().focusWidget(), NewNameBox());
    for (QPushButton* pButton : Dlg().findChildren<QPushButton*>()) {
        EXPECT_FALSE(pButton->isDefault()) << pButton->text().toStdString();
        EXPECT_FALSE(pButton->autoDefault()) << pButton->text().toStdString();
        EXPECT_TRUE(pButton->isEnabled());
    }

    // No default button: Enter ends the window without a request, even with a name typed.
    QTest::keyClicks(NewNameBox(), "Lab-9");
    QTest::keyClick(NewNameBox(), Qt::Key_Return);
    EXPECT_TRUE(Closed());
    EXPECT_EQ(Dlg().GetResult(), IDOK);
    ProcessEventsFor(200ms);
    EXPECT_TRUE(Renames().empty());
}

TEST_F(RenameWindowTest, RenameMakesTheInstrumentTheConfiguredOneUnderItsWideName) {
    Open();
    App().m_strInstrumentName = "Other";
    App().m_strInstrumentHostName = "inst-other";
    App().m_dwInstrumentIPAddress = 0x7F000063;
    App().m_nConnectionState = CONNECTION_NOT_READY;

    RenameButton()->click();
    EXPECT_EQ(m_boxes.Texts(), QStringList{NO_NAME});
    EXPECT_EQ(Dlg().focusWidget(), NewNameBox());
    EXPECT_FALSE(Dlg().IsWaitingForReply());

    m_boxes.Clear();
    const QString strName = QString::fromUtf8("\xCE\xA9mega 1"); // Ωmega 1
    for (const QChar ch : strName) {
        NewNameBox()->insert(ch);
    }
    RenameButton()->click();
    EXPECT_FALSE(RenameButton()->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return Closed(); }));
    ASSERT_EQ(Renames().size(), 1u);
    EXPECT_EQ(Renames()[0].strInstrumentName, "\xA9mega 1");
    EXPECT_EQ(Renames()[0].strClientHostName, m_pLab->LocalHostName());
    EXPECT_EQ(Renames()[0].dwHeaderDestination, CRoutedApplication::Address(0));
    EXPECT_EQ(m_boxes.Texts(), QStringList{RENAMED});
    EXPECT_EQ(m_boxes.Last().strCaption, CAPTION);
    EXPECT_EQ(m_boxes.Last().nIcon, EMessageIcon::Information);
    EXPECT_EQ(Dlg().GetResult(), -1);
    EXPECT_EQ(App().m_strInstrumentName, strName);
    EXPECT_EQ(App().m_strInstrumentHostName, "inst0");
    EXPECT_EQ(App().m_dwInstrumentIPAddress, CRoutedApplication::Address(0));
    EXPECT_EQ(App().m_nConnectionState, CONNECTION_READY);
}

TEST_F(RenameWindowTest, UnansweredRenameIsSentFourTimesThenGivenUp) {
    Open({MSG_RENAME});
    QTest::keyClicks(NewNameBox(), "Lab-A");
    RenameButton()->click();
    // The box stays editable while waiting; a repetition carries what passed last.
    ASSERT_TRUE(WaitForRequests(Sim(), MSG_RENAME, 1));
    NewNameBox()->setText("Lab-B");
    ASSERT_TRUE(WaitFor([&] { return Closed(); }));
    EXPECT_EQ(m_boxes.Texts(), QStringList{NO_RESPONSE});
    EXPECT_EQ(Dlg().GetResult(), -1);
    const std::vector<SSimulatorRequest> listRenames = Renames();
    ASSERT_EQ(listRenames.size(), 4u);
    EXPECT_EQ(listRenames[0].strInstrumentName, "Lab-A");
    EXPECT_EQ(listRenames[3].strInstrumentName, "Lab-B");
    for (std::size_t i = 1; i < listRenames.size(); ++i) {
        const long long nGap =
            MillisecondsBetween(listRenames[i - 1].received, listRenames[i].received);
        EXPECT_GE(nGap, 490) << i;
        EXPECT_LE(nGap, 535 + 600) << i;
    }
    ProcessEventsFor(800ms);
    EXPECT_EQ(Renames().size(), 4u);
    EXPECT_EQ(App().m_nConnectionState, CONNECTION_NOT_CONFIGURED);
}

TEST_F(RenameWindowTest, ReplyAfterTheThirdRequestEndsTheRetries) {
    Open({MSG_RENAME});
    QTest::keyClicks(NewNameBox(), "Lab-A");
    RenameButton()->click();
    ASSERT_TRUE(WaitForRequests(Sim(), MSG_RENAME, 3));
    Reply({MSG_RENAME, 0});
    ASSERT_TRUE(WaitFor([&] { return Closed(); }));
    EXPECT_EQ(m_boxes.Texts(), QStringList{RENAMED});
    ProcessEventsFor(1200ms);
    EXPECT_EQ(Renames().size(), 3u);
}

TEST_F(RenameWindowTest, RefusedRenameChangesNothing) {
    SSimulatedInstrument busy = LoopbackInstrument(0, "Lab-0", "inst0");
    busy.bInUse = 1;
    Open(busy);
    QTest::keyClicks(NewNameBox(), "Lab-A");
    RenameButton()->click();
    ASSERT_TRUE(WaitFor([&] { return Closed(); }));
    EXPECT_EQ(m_boxes.Texts(), QStringList{REFUSED});
    EXPECT_EQ(m_boxes.Last().nIcon, EMessageIcon::Exclamation);
    EXPECT_EQ(Dlg().GetResult(), -1);
    EXPECT_TRUE(App().m_strInstrumentName.isEmpty());
    EXPECT_EQ(App().m_nConnectionState, CONNECTION_NOT_CONFIGURED);
}

TEST_F(RenameWindowTest, ReplyOfWrongLengthIsIgnoredAndTheRetriesGoOn) {
    Open({MSG_RENAME});
    QTest::keyClicks(NewNameBox(), "Lab-A");
    RenameButton()->click();
    ASSERT_TRUE(WaitForRequests(Sim(), MSG_RENAME, 1));
    Reply({MSG_RENAME, 0, 0});
    ProcessEventsFor(100ms);
    EXPECT_TRUE(Dlg().IsWaitingForReply());
    ASSERT_TRUE(WaitFor([&] { return Closed(); }, 5s));
    EXPECT_EQ(Renames().size(), 4u);
    EXPECT_EQ(m_boxes.Texts(), QStringList{NO_RESPONSE});
    EXPECT_TRUE(App().m_strInstrumentName.isEmpty());
}

} // namespace
