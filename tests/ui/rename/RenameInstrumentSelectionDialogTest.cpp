// The rename selection window: where it differs from the claim selection window (title,
// buttons, keys, list action), and its one action.
#include "ui/rename/RenameInstrumentSelectionDialog.h"

#include "tests/support/ModalRunHook.h"
#include "tests/support/WindowTestSupport.h"
#include "ui/rename/RenameInstrumentDialog.h"

namespace {

using Dialog = CRenameInstrumentSelectionDialog;

const QString RENAME = "Rename instrument...";

class RenameSelectionTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_pDialog) {
            m_pDialog->DestroyWindow();
            App().m_pRenameInstrumentSelectionDialog = nullptr;
            m_pDialog.reset();
        }
        m_pLab.reset();
    }

    void Open(std::vector<SSimulatedInstrument> listInstruments) {
        m_pLab = std::make_unique<CRoutedApplication>(std::move(listInstruments));
        m_pDialog = std::make_unique<Dialog>(App());
        App().m_pRenameInstrumentSelectionDialog = m_pDialog.get();
        m_pDialog->Create();
    }

    CMolvarInstrumentConnectionApplication& App() { return m_pLab->App(); }
    Dialog& Dlg() { return *m_pDialog; }
    bool WaitForCollectionEnd() {
        return WaitFor([&] { return !Dlg().IsCollecting(); }, 5s);
    }
    QWidget* Viewport() { return InstrumentList(Dlg())->viewport(); }

    CMessageBoxRecorder m_boxes;
    std::unique_ptr<CRoutedApplication> m_pLab;
    std::unique_ptr<Dialog> m_pDialog;
};

TEST_F(RenameSelectionTest, FaceAndKeys) {
    Open({});
    EXPECT_EQ(Dlg().windowTitle(), "Select an Instrument to Rename");
    QStringList listButtons;
    for (QPushButton* pButton : Dlg().findChildren<QPushButton*>()) {
        listButtons << pButton->text();
        EXPECT_FALSE(pButton->isDefault());
        EXPECT_FALSE(pButton->autoDefault());
        EXPECT_EQ(pButton->isEnabled(), pButton->text() == "Close");
    }
    EXPECT_EQ(listButtons, QStringList({RENAME, "Close"}));
    EXPECT_EQ(Field(Dlg(), "Status")->text(), "Checking network...");
    // No default button: Enter ends the window.
    QTest::keyClick(&Dlg(), Qt::Key_Return);
    EXPECT_FALSE(Dlg().isVisible());
    EXPECT_EQ(Dlg().GetResult(), IDOK);
}

TEST_F(RenameSelectionTest, DoubleAndRightClicksRenameTheRowsInstrument) {
    SSimulatedInstrument unnamed = LoopbackInstrument(1, "", "inst1");
    Open({LoopbackInstrument(0, "Lab-0", "inst0"), unnamed});
    ASSERT_TRUE(WaitForCollectionEnd());
    EXPECT_TRUE(Button(Dlg(), RENAME)->isEnabled());

    QStringList listSeen;
    CModalRunHook hook([&](CDialog& dlg) {
        if (dynamic_cast<CRenameInstrumentDialog*>(&dlg) != nullptr) {
            EXPECT_EQ(App().m_pRenameInstrumentDialog, &dlg);
            listSeen << Field(dlg, "Instrument address:")->text() + " '" +
                            Field(dlg, "Instrument name:")->text() + "'";
        }
        dlg.EndDialog(0);
    });
    QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, RowCentre(Dlg(), 1));
    ASSERT_TRUE(WaitFor([&] { return listSeen.size() == 1; }, 2s));
    EXPECT_EQ(App().m_pRenameInstrumentDialog, nullptr);
    EXPECT_TRUE(Dlg().IsCollecting()) << "closed in the dwell: a new cycle at once";

    ASSERT_TRUE(WaitForCollectionEnd());
    QTest::mouseClick(Viewport(), Qt::RightButton, {}, RowCentre(Dlg(), 0));
    ASSERT_TRUE(WaitFor([&] { return listSeen.size() == 2; }, 2s));
    EXPECT_EQ(listSeen, QStringList({"inst1 [127.0.0.3] ''", "inst0 [127.0.0.2] 'Lab-0'"}));

    // Two listed and nothing selected: the user is asked to choose.
    ASSERT_TRUE(WaitForCollectionEnd());
    InstrumentList(Dlg())->clearSelection();
    Button(Dlg(), RENAME)->click();
    EXPECT_EQ(m_boxes.Texts(), QStringList{"Please select an instrument before clicking the "
                                           "\"Rename instrument...\" button."});
    EXPECT_EQ(m_boxes.Last().strCaption, "Available Instruments");
    EXPECT_EQ(listSeen.size(), 2);
}

TEST_F(RenameSelectionTest, BusyInstrumentsDisableTheButtonButTheListStillAsks) {
    SSimulatedInstrument busy = LoopbackInstrument(0, "Lab-0", "inst0");
    busy.bInUse = 1;
    Open({busy});
    ASSERT_TRUE(WaitForCollectionEnd());
    EXPECT_FALSE(Button(Dlg(), RENAME)->isEnabled());
    int nWindows = 0;
    CModalRunHook hook([&](CDialog& dlg) {
        ++nWindows;
        dlg.EndDialog(0);
    });
    QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, RowCentre(Dlg(), 0));
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 1; }, 2s));
    EXPECT_EQ(m_boxes.Last().strText, "The selected instrument is in use, and cannot be renamed.");
    EXPECT_EQ(m_boxes.Last().nIcon, EMessageIcon::Exclamation);
    EXPECT_EQ(nWindows, 0);
}

} // namespace
