// The main connection window against simulated instruments on loopback: what it shows in each
// state, the verification, release and repair exchanges, and the routing of arriving datagrams.
#include "ui/connection/MolvarInstrumentConnectionDialog.h"

#include "app/MolvarInstrumentConnectionApplication.h"
#include "link/Messages.h"
#include "link/UDPInstrumentInterface.h"
#include "sim/InstrumentSimulator.h"
#include "tests/support/LoopbackNetwork.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/ModalRunHook.h"
#include "tests/support/TestSettingsHome.h"
#include "tests/support/Wait.h"
#include "ui/WindowMessages.h"
#include "ui/claim/ClaimInstrumentSelectionDialog.h"
#include "ui/rename/RenameInstrumentSelectionDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <vector>

// Readable failures for texts.
static void PrintTo(const QString& str, std::ostream* pStream) {
    *pStream << '"' << str.toStdString() << '"';
}

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

using Dialog = CMolvarInstrumentConnectionDialog;

constexpr std::uint32_t INSTRUMENT_ADDRESS = 0x7F000014;  // 127.0.0.20
constexpr std::uint32_t MOVED_ADDRESS = 0x7F00004D;       // 127.0.0.77
constexpr std::uint32_t OTHER_MOVED_ADDRESS = 0x7F00004E; // 127.0.0.78

const QString CAPTION = "Tavik Instrument Connection";
const QString VERIFYING = "Verifying current configuration...";
const QString CLAIM = "Claim an Instrument...";
const QString RELEASE = "Release Instrument";
const QString NOT_VERIFIED = "The instrument connection could not be verified.";
const QString NOT_REPAIRED = "The connection could not be repaired.  Is the instrument turned on "
                             "and connected to the network?";
const QString REPAIRED = "The connection has been repaired.";
const QString RELEASE_IN_USE =
    "The instrument is in use and the other client's claim may not be overridden.";
const QString RELEASE_OVERRIDABLE =
    "The instrument is claimed by another client, but that claim may be overridden.";
constexpr const char* RELEASE_UNANSWERED = "The instrument did not answer the release request, "
                                           "and may still be claimed by this computer.  Claim it "
                                           "again to release it.";

// What the window shows, read the way a screen reader finds the controls.
struct SView {
    QString strName, strAddress, strStatus, strClaim;
    bool bClaimEnabled = false, bRepairEnabled = false;
    QString strFocus; // accessible name of the focused control
};

QLineEdit* Field(QWidget& dlg, const QString& strName) {
    for (QLineEdit* pEdit : dlg.findChildren<QLineEdit*>()) {
        if (pEdit->accessibleName() == strName) {
            return pEdit;
        }
    }
    return nullptr;
}

QPushButton* Button(QWidget& dlg, const QString& strName) {
    for (QPushButton* pButton : dlg.findChildren<QPushButton*>()) {
        if (pButton->accessibleName() == strName) {
            return pButton;
        }
    }
    return nullptr;
}

// The claim button, whatever it reads just now.
QPushButton* ClaimButton(QWidget& dlg) {
    QPushButton* pButton = Button(dlg, CLAIM);
    return pButton ? pButton : Button(dlg, RELEASE);
}

SView ViewOf(QWidget& dlg) {
    SView view;
    view.strName = Field(dlg, "Instrument name:")->text();
    view.strAddress = Field(dlg, "Instrument address:")->text();
    view.strStatus = Field(dlg, "Connection status:")->text();
    QPushButton* pClaim = ClaimButton(dlg);
    view.strClaim = pClaim->text();
    view.bClaimEnabled = pClaim->isEnabled();
    view.bRepairEnabled = Button(dlg, "Repair Connection")->isEnabled();
    view.strFocus = dlg.focusWidget() ? dlg.focusWidget()->accessibleName() : QString();
    return view;
}

// A modal run hook that takes its steps, then closes the window even when a step failed.
std::function<void(CDialog&)> StepsThenClose(std::function<void(CDialog&)> fnSteps) {
    return [fnSteps](CDialog& window) {
        fnSteps(window);
        window.EndDialog(IDCANCEL);
    };
}

bool HasInstrument(const CInstrumentList& list, std::uint32_t dwAddress) {
    return std::any_of(list.begin(), list.end(), [dwAddress](const CMolvarInstrument& instrument) {
        return instrument.m_dwIPAddress == dwAddress;
    });
}

std::vector<std::uint8_t> Datagram(std::uint32_t dwDestination, std::uint32_t dwSource,
                                   std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> datagram(DATAGRAM_HEADER_SIZE + payload.size());
    datagram.resize(FrameDatagram(dwDestination, dwSource, payload, datagram.data()));
    return datagram;
}

class ConnectionWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_nAppPort = FreeUDPPort();
        do {
            m_nSimPort = FreeUDPPort();
        } while (m_nSimPort == m_nAppPort);
        ASSERT_NE(m_nAppPort, 0);
        ASSERT_NE(m_nSimPort, 0);
        m_pApp = std::make_unique<CMolvarInstrumentConnectionApplication>(LoopbackAdapterList(),
                                                                          m_nAppPort, m_nSimPort);
        ASSERT_NE(m_pApp->m_pInstrumentInterface, nullptr);
        // Nothing configured, as start-up leaves it for an empty name.
        m_pApp->m_nConnectionState = CONNECTION_NOT_CONFIGURED;
        m_strHostName = m_pApp->m_strLocalHostName.toStdString();
    }

    void TearDown() override {
        if (m_pDialog) {
            m_pDialog->DestroyWindow();
            m_pApp->m_pConnectionDialog = nullptr;
            m_pDialog.reset();
        }
        m_pApp.reset();
        if (m_pSim) {
            m_pSim->Stop();
        }
    }

    // The instrument as this client holds it: claimed by this computer.
    SSimulatedInstrument OwnedInstrument(std::uint32_t dwAddress = INSTRUMENT_ADDRESS) const {
        SSimulatedInstrument instrument;
        instrument.strHostName = "inst7";
        instrument.dwAddress = dwAddress;
        instrument.strName = "Lab-1";
        instrument.bClaimed = 1;
        instrument.strOwnerHostName = m_strHostName;
        instrument.dwOwnerAddress = LOOPBACK_ADDRESS;
        return instrument;
    }

    void StartSimulator(std::vector<SSimulatedInstrument> listInstruments,
                        std::set<std::uint8_t> setMuteCodes = {}) {
        SSimulatorOptions options;
        options.nPort = m_nSimPort;
        options.nClientPort = m_nAppPort;
        options.setMuteCodes = std::move(setMuteCodes);
        m_pSim = std::make_unique<CInstrumentSimulator>(std::move(listInstruments), options);
        ASSERT_TRUE(m_pSim->Start());
    }

    void Configure(EConnectionState nState, std::uint32_t dwAddress = INSTRUMENT_ADDRESS) {
        m_pApp->m_strInstrumentName = "Lab-1";
        m_pApp->m_strInstrumentHostName = "inst7";
        m_pApp->m_dwInstrumentIPAddress = dwAddress;
        m_pApp->m_nConnectionState = nState;
    }

    void Open() {
        m_pDialog = std::make_unique<Dialog>(*m_pApp);
        m_pApp->m_pConnectionDialog = m_pDialog.get();
        m_pDialog->Create();
    }

    Dialog& Dlg() { return *m_pDialog; }
    SView View() { return ViewOf(*m_pDialog); }

    // A raw datagram to the window's link, as if from an instrument at dwFrom.
    void Inject(std::span<const std::uint8_t> payload, std::uint32_t dwFrom = INSTRUMENT_ADDRESS,
                std::uint32_t dwHeaderDestination = LOOPBACK_ADDRESS) {
        const auto datagram = Datagram(dwHeaderDestination, dwFrom, payload);
        ASSERT_TRUE(SendDatagramFrom(dwFrom, m_nAppPort, datagram));
    }

    bool WaitForRequests(std::uint8_t nCode, std::size_t nCount) {
        return m_pSim->WaitForRequests(nCode, nCount, 5s);
    }

    std::vector<SSimulatorRequest> RequestsOf(std::uint8_t nCode) const {
        std::vector<SSimulatorRequest> list;
        for (const SSimulatorRequest& request : m_pSim->Requests()) {
            if (request.nCode == nCode) {
                list.push_back(request);
            }
        }
        return list;
    }

    // A configured window that stands in CONNECTION_NOT_READY without having sent anything.
    void OpenNotReady() {
        Open(); // not configured: nothing is verified
        Configure(CONNECTION_NOT_READY);
        Dlg().UpdateDisplay();
    }

    CTestSettingsHome m_home;
    CMessageBoxRecorder m_boxes;
    std::uint16_t m_nAppPort = 0;
    std::uint16_t m_nSimPort = 0;
    std::unique_ptr<CMolvarInstrumentConnectionApplication> m_pApp;
    std::unique_ptr<CInstrumentSimulator> m_pSim;
    std::unique_ptr<Dialog> m_pDialog;
    std::string m_strHostName;
};

// ---- Display ------------------------------------------------------------------------------

TEST_F(ConnectionWindowTest, DisplayFollowsEveryConnectionState) {
    StartSimulator({});
    Open();
    m_pApp->m_strInstrumentName = "Lab-1";
    m_pApp->m_strInstrumentHostName = "inst7";
    m_pApp->m_dwInstrumentIPAddress = 0xC0A80114; // 192.168.1.20
    const QString strAddress = "inst7 [192.168.1.20]";

    struct SCase {
        EConnectionState nState;
        std::uint32_t dwOwner;
        SView expected;
    };
    const SCase aCases[] = {
        {CONNECTION_VERIFYING, 0, {"Lab-1", strAddress, VERIFYING, CLAIM, false, false, "Close"}},
        {CONNECTION_NOT_CONFIGURED,
         0,
         {"{none}", "{none}", "Not configured", CLAIM, true, false, CLAIM}},
        {CONNECTION_READY, 0, {"Lab-1", strAddress, "Ready", RELEASE, true, false, RELEASE}},
        {CONNECTION_NOT_READY,
         0,
         {"Lab-1", strAddress, "Not ready", RELEASE, true, true, "Repair Connection"}},
        {CONNECTION_NOT_CLAIMED,
         0,
         {"Lab-1", strAddress, "Not claimed", CLAIM, true, false, CLAIM}},
        {CONNECTION_NOT_CLAIMED,
         0x0A000009,
         {"Lab-1", strAddress, "Claimed by pc-12 [10.0.0.9]", CLAIM, true, false, CLAIM}},
    };
    for (const SCase& c : aCases) {
        SCOPED_TRACE(ConnectionStateName(c.nState));
        m_pApp->m_nConnectionState = c.nState;
        m_pApp->m_strClaimOwnerName = "pc-12";
        m_pApp->m_dwClaimOwnerIPAddress = c.dwOwner;
        Dlg().UpdateDisplay();
        const SView view = View();
        EXPECT_EQ(view.strName, c.expected.strName);
        EXPECT_EQ(view.strAddress, c.expected.strAddress);
        EXPECT_EQ(view.strStatus, c.expected.strStatus);
        EXPECT_EQ(view.strClaim, c.expected.strClaim);
        EXPECT_EQ(view.bClaimEnabled, c.expected.bClaimEnabled);
        EXPECT_EQ(view.bRepairEnabled, c.expected.bRepairEnabled);
        EXPECT_EQ(view.strFocus, c.expected.strFocus);
        EXPECT_TRUE(Button(Dlg(), "Rename an Instrument...")->isEnabled());
        EXPECT_TRUE(Button(Dlg(), "Close")->isEnabled());
    }

    // A value outside the five leaves everything as it was.
    m_pApp->m_nConnectionState = CONNECTION_READY;
    Dlg().UpdateDisplay();
    const SView before = View();
    m_pApp->m_nConnectionState = static_cast<EConnectionState>(5);
    m_pApp->m_strInstrumentName = "Other";
    Dlg().UpdateDisplay();
    const SView after = View();
    EXPECT_EQ(after.strName, before.strName);
    EXPECT_EQ(after.strStatus, before.strStatus);
    EXPECT_EQ(after.strClaim, before.strClaim);
    EXPECT_EQ(after.bClaimEnabled, before.bClaimEnabled);
}

TEST_F(ConnectionWindowTest, WindowNamesItsControlsAndFitsLongOwners) {
    StartSimulator({});
    Open();
    EXPECT_EQ(Dlg().windowTitle(), "Tavik Instrument Connection v2.1.0");
    EXPECT_FALSE(Dlg().windowIcon().isNull());
    const auto listGroups = Dlg().findChildren<QGroupBox*>();
    ASSERT_EQ(listGroups.size(), 1);
    EXPECT_EQ(listGroups[0]->title(), "Current Configuration");

    for (const char* pszLabel : {"Instrument name:", "Instrument address:", "Connection status:"}) {
        QLineEdit* pEdit = Field(Dlg(), pszLabel);
        ASSERT_NE(pEdit, nullptr) << pszLabel;
        EXPECT_TRUE(pEdit->isReadOnly());
        EXPECT_TRUE(listGroups[0]->isAncestorOf(pEdit));
    }
    // Only the claim button is a default button.
    int nDefaults = 0;
    for (QPushButton* pButton : Dlg().findChildren<QPushButton*>()) {
        EXPECT_EQ(pButton->accessibleName(), pButton->text());
        if (pButton->isDefault()) {
            ++nDefaults;
            EXPECT_EQ(pButton, ClaimButton(Dlg()));
        }
    }
    EXPECT_EQ(nDefaults, 1);

    // An owner whose host name fills its whole field is shown without being cut.
    m_pApp->m_strInstrumentName = "Lab-1";
    m_pApp->m_strClaimOwnerName = QString(63, 'n');
    m_pApp->m_dwClaimOwnerIPAddress = 0xFFFFFFFF;
    m_pApp->m_nConnectionState = CONNECTION_NOT_CLAIMED;
    Dlg().UpdateDisplay();
    QLineEdit* pStatus = Field(Dlg(), "Connection status:");
    EXPECT_EQ(pStatus->text(), "Claimed by " + QString(63, 'n') + " [255.255.255.255]");
    EXPECT_LT(pStatus->fontMetrics().horizontalAdvance(pStatus->text()), pStatus->width());
}

// ---- Start --------------------------------------------------------------------------------

TEST_F(ConnectionWindowTest, StartNotConfiguredSendsNothing) {
    StartSimulator({OwnedInstrument()});
    m_pApp->m_nConnectionState = CONNECTION_NOT_CONFIGURED;
    Open();
    const SView view = View();
    EXPECT_EQ(view.strName, "{none}");
    EXPECT_EQ(view.strAddress, "{none}");
    EXPECT_EQ(view.strStatus, "Not configured");
    EXPECT_EQ(view.strClaim, CLAIM);
    EXPECT_TRUE(view.bClaimEnabled);
    EXPECT_FALSE(view.bRepairEnabled);
    EXPECT_EQ(view.strFocus, "Close");
    EXPECT_FALSE(Dlg().IsWaitingForReply());
    ProcessEventsFor(700ms);
    EXPECT_TRUE(m_pSim->Requests().empty());
    EXPECT_EQ(m_boxes.Count(), 0);
    // The link announces to this window from now on.
    EXPECT_NE(m_pApp->m_pInstrumentInterface->m_hNotifyWnd.load(), nullptr);
}

TEST_F(ConnectionWindowTest, StartConfiguredVerifiesAndShowsReady) {
    StartSimulator({OwnedInstrument()});
    Configure(CONNECTION_VERIFYING);
    Open();
    SView view = View();
    EXPECT_EQ(view.strName, "Lab-1");
    EXPECT_EQ(view.strAddress, "inst7 [127.0.0.20]");
    EXPECT_EQ(view.strStatus, VERIFYING);
    EXPECT_FALSE(view.bClaimEnabled);
    EXPECT_FALSE(view.bRepairEnabled);
    EXPECT_EQ(view.strFocus, "Close");

    ASSERT_TRUE(WaitFor([&] { return View().strStatus == "Ready"; }));
    view = View();
    EXPECT_EQ(view.strClaim, RELEASE);
    EXPECT_TRUE(view.bClaimEnabled);
    EXPECT_EQ(view.strFocus, RELEASE);
    EXPECT_FALSE(Dlg().IsWaitingForReply());

    const auto listVerify = RequestsOf(MSG_VERIFY);
    ASSERT_EQ(listVerify.size(), 1u);
    EXPECT_EQ(listVerify[0].dwHeaderDestination, INSTRUMENT_ADDRESS);
    EXPECT_EQ(listVerify[0].dwHeaderSource, LOOPBACK_ADDRESS);
    EXPECT_EQ(listVerify[0].strInstrumentName, "Lab-1");
    EXPECT_EQ(listVerify[0].strClientHostName, m_strHostName);
    EXPECT_EQ(m_boxes.Count(), 0);
}

// ---- Verification -------------------------------------------------------------------------

TEST_F(ConnectionWindowTest, MuteInstrumentIsAskedTwiceThenNotReady) {
    SSimulatedInstrument instrument = OwnedInstrument();
    instrument.bMute = true;
    StartSimulator({instrument});
    Configure(CONNECTION_VERIFYING);

    Clock::time_point shown;
    SView viewAtBox;
    m_boxes.SetOnShow([&](const SMessageBox&) {
        shown = Clock::now();
        viewAtBox = View();
    });
    Open();
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 1; }));

    const auto listVerify = RequestsOf(MSG_VERIFY);
    ASSERT_EQ(listVerify.size(), 2u);
    const auto gap = listVerify[1].received - listVerify[0].received;
    EXPECT_GE(gap, 450ms);
    EXPECT_LE(gap, 2000ms);
    const auto giveUp = shown - listVerify[0].received;
    EXPECT_GE(giveUp, 950ms);
    EXPECT_LE(giveUp, 5000ms);

    const SMessageBox box = m_boxes.Last();
    EXPECT_EQ(box.strText, NOT_VERIFIED);
    EXPECT_EQ(box.strCaption, CAPTION);
    EXPECT_EQ(box.nIcon, EMessageIcon::Exclamation);
    EXPECT_EQ(box.nButtons, EMessageButtons::Ok);
    EXPECT_EQ(box.pOwner, m_pDialog.get());
    // The state changes only once the box has been dismissed.
    EXPECT_EQ(viewAtBox.strStatus, VERIFYING);

    const SView view = View();
    EXPECT_EQ(view.strStatus, "Not ready");
    EXPECT_EQ(view.strClaim, RELEASE);
    EXPECT_TRUE(view.bRepairEnabled);
    EXPECT_EQ(view.strFocus, "Repair Connection");
    EXPECT_EQ(Dlg().GetPendingRequest(), Dialog::NO_PENDING_REQUEST);
    EXPECT_EQ(Dlg().GetVerifyAttempts(), 0u);

    ProcessEventsFor(700ms);
    EXPECT_EQ(m_pSim->CountRequests(MSG_VERIFY), 2u);
    EXPECT_EQ(m_boxes.Count(), 1);
}

TEST_F(ConnectionWindowTest, VerifyReplyFromAnotherOwnerShowsTheOwner) {
    SSimulatedInstrument instrument = OwnedInstrument();
    instrument.strOwnerHostName = "pc-12";
    instrument.dwOwnerAddress = 0x0A000009; // 10.0.0.9
    StartSimulator({instrument});
    Configure(CONNECTION_VERIFYING);
    Open();
    ASSERT_TRUE(WaitFor([&] { return View().strStatus != VERIFYING; }));
    SView view = View();
    EXPECT_EQ(view.strStatus, "Claimed by pc-12 [10.0.0.9]");
    EXPECT_EQ(view.strClaim, CLAIM);
    EXPECT_TRUE(view.bClaimEnabled);
    EXPECT_EQ(m_pApp->m_nConnectionState, CONNECTION_NOT_CLAIMED);

    // A claimed flag other than exactly 1 reports no owner, whatever the owner fields hold.
    instrument.bClaimed = 2;
    m_pSim->SetInstrument(0, instrument);
    m_pApp->m_nConnectionState = CONNECTION_VERIFYING;
    Dlg().UpdateDisplay();
    Dlg().StartVerification();
    ASSERT_TRUE(WaitFor([&] { return View().strStatus != VERIFYING; }));
    EXPECT_EQ(View().strStatus, "Not claimed");
    EXPECT_EQ(m_pApp->m_dwClaimOwnerIPAddress, 0u);
    EXPECT_EQ(m_pApp->m_strClaimOwnerName, "pc-12"); // kept, but not shown
    EXPECT_EQ(m_boxes.Count(), 0);
}

TEST_F(ConnectionWindowTest, OwnerNameWithoutNulIsReadWithinItsField) {
    StartSimulator({}, {MSG_VERIFY});
    Configure(CONNECTION_VERIFYING);
    Open();
    ASSERT_TRUE(WaitForRequests(MSG_VERIFY, 1));
    SInstrumentDescriptionFields description;
    description.strHostName = "inst7";
    description.dwAddress = INSTRUMENT_ADDRESS;
    description.bClaimed = 1;
    description.strName = "Lab-1";
    description.dwOwnerAddress = 0x0A000009;
    auto payload = BuildVerifyReply(1, description);
    // The owner host name fills its 64 bytes with no NUL; the owner address follows it.
    const std::size_t nOwnerName = 2 + InstrumentDescription::OWNER_HOST_NAME;
    std::fill_n(payload.begin() + nOwnerName, TEXT_FIELD_SIZE, std::uint8_t{'h'});
    Inject(payload);
    ASSERT_TRUE(WaitFor([&] { return View().strStatus != VERIFYING; }));
    EXPECT_EQ(m_pApp->m_strClaimOwnerName, QString(64, 'h'));
    EXPECT_EQ(View().strStatus, "Claimed by " + QString(64, 'h') + " [10.0.0.9]");
}

// ---- Release ------------------------------------------------------------------------------

struct SReleaseCase {
    const char* pszName;
    bool bOwner; // this client holds the claim: status 0
    std::uint8_t bInUse;
    bool bMute;             // no answer: the release runs out of attempts
    const char* pszMessage; // nullptr: no message
    EMessageIcon nIcon = EMessageIcon::Information;
};

class ReleaseTest : public ConnectionWindowTest,
                    public ::testing::WithParamInterface<SReleaseCase> {};

TEST_P(ReleaseTest, EveryReleaseEndsNotConfigured) {
    const SReleaseCase& c = GetParam();
    SSimulatedInstrument instrument = OwnedInstrument();
    if (!c.bOwner) {
        instrument.strOwnerHostName = "pc-12";
        instrument.dwOwnerAddress = 0x0A000009;
    }
    instrument.bInUse = c.bInUse;
    StartSimulator({instrument},
                   c.bMute ? std::set<std::uint8_t>{MSG_RELEASE} : std::set<std::uint8_t>{});
    OpenNotReady();
    m_pApp->m_nConnectionState = CONNECTION_READY;
    Dlg().UpdateDisplay();

    QString strStatusAtBox;
    m_boxes.SetOnShow([&](const SMessageBox&) { strStatusAtBox = View().strStatus; });
    ASSERT_EQ(ClaimButton(Dlg())->text(), RELEASE);
    ClaimButton(Dlg())->click();
    ASSERT_TRUE(WaitFor([&] { return View().strStatus == "Not configured"; }));

    const SView view = View();
    EXPECT_EQ(view.strName, "{none}");
    EXPECT_EQ(view.strAddress, "{none}");
    EXPECT_EQ(view.strClaim, CLAIM);
    EXPECT_TRUE(view.bClaimEnabled);
    EXPECT_TRUE(m_pApp->m_strInstrumentName.isEmpty());
    EXPECT_TRUE(m_pApp->m_strInstrumentHostName.isEmpty());
    EXPECT_EQ(m_pApp->m_dwInstrumentIPAddress, 0u);
    EXPECT_FALSE(Dlg().IsWaitingForReply());

    const auto listRelease = RequestsOf(MSG_RELEASE);
    ASSERT_EQ(listRelease.size(), c.bMute ? 2u : 1u);
    EXPECT_EQ(listRelease[0].dwHeaderDestination, INSTRUMENT_ADDRESS);
    EXPECT_EQ(listRelease[0].strInstrumentName, "Lab-1");
    if (c.pszMessage) {
        ASSERT_EQ(m_boxes.Count(), 1);
        EXPECT_EQ(m_boxes.Last().strText, c.pszMessage);
        EXPECT_EQ(m_boxes.Last().nIcon, c.nIcon);
        EXPECT_EQ(m_boxes.Last().strCaption, CAPTION);
        EXPECT_EQ(strStatusAtBox, "Ready"); // told first, forgotten after
    } else {
        EXPECT_EQ(m_boxes.Count(), 0);
    }
    ProcessEventsFor(700ms);
    EXPECT_EQ(RequestsOf(MSG_RELEASE).size(), listRelease.size());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReleaseTest,
    ::testing::Values(SReleaseCase{"Granted", true, 0, false, nullptr},
                      SReleaseCase{"InUse", false, 1, false,
                                   "The instrument is in use and the other client's claim may "
                                   "not be overridden."},
                      SReleaseCase{"Overridable", false, 0, false,
                                   "The instrument is claimed by another client, but that claim "
                                   "may be overridden."},
                      SReleaseCase{"NoAnswer", true, 0, true, RELEASE_UNANSWERED,
                                   EMessageIcon::Exclamation}),
    [](const auto& info) { return std::string(info.param.pszName); });

TEST_F(ConnectionWindowTest, ReleaseMessageKeepsTheLastCountAndWaitsItsTurn) {
    // While a verification is awaited the message sends nothing.
    StartSimulator({OwnedInstrument()}, {MSG_VERIFY, MSG_RELEASE});
    Configure(CONNECTION_VERIFYING);
    Open();
    ASSERT_TRUE(WaitForRequests(MSG_VERIFY, 1));
    ASSERT_TRUE(Dlg().IsWaitingForReply());
    Dlg().PostMessage(WM_RELEASE_INSTRUMENT);
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 1; })); // the verification gave up
    EXPECT_EQ(m_pSim->CountRequests(MSG_RELEASE), 0u);
    EXPECT_EQ(m_boxes.Last().strText, NOT_VERIFIED);

    // A release answered at its second send leaves the count at 3 ...
    m_pSim->SetMuteCodes({MSG_VERIFY});
    SSimulatedInstrument instrument = OwnedInstrument();
    instrument.bMute = true;
    m_pSim->SetInstrument(0, instrument);
    ClaimButton(Dlg())->click();
    ASSERT_TRUE(WaitForRequests(MSG_RELEASE, 1));
    instrument.bMute = false;
    m_pSim->SetInstrument(0, instrument);
    ASSERT_TRUE(WaitFor([&] { return View().strStatus == "Not configured"; }));
    EXPECT_EQ(m_pSim->CountRequests(MSG_RELEASE), 2u);
    EXPECT_EQ(Dlg().GetReleaseAttempts(), 3u);

    // ... so a release asked for by message sends once and gives up at its first time-out.
    m_pSim->ClearRequests();
    m_pSim->SetMute(true);
    Configure(CONNECTION_READY);
    Dlg().UpdateDisplay();
    Dlg().PostMessage(WM_RELEASE_INSTRUMENT);
    ASSERT_TRUE(WaitFor([&] { return View().strStatus == "Not configured"; }));
    EXPECT_EQ(m_pSim->CountRequests(MSG_RELEASE), 1u);
    EXPECT_EQ(Dlg().GetReleaseAttempts(), 0u);
    EXPECT_EQ(m_boxes.Last().strText, RELEASE_UNANSWERED); // and the user knows
}

// ---- Repair -------------------------------------------------------------------------------

TEST_F(ConnectionWindowTest, RepairMovesTheAddressThenTellsTheUser) {
    StartSimulator({OwnedInstrument(MOVED_ADDRESS)});
    OpenNotReady();
    SView viewAtBox;
    m_boxes.SetOnShow([&](const SMessageBox&) { viewAtBox = View(); });
    Button(Dlg(), "Repair Connection")->click();
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 1; }));

    EXPECT_EQ(m_boxes.Last().strText, REPAIRED);
    EXPECT_EQ(m_boxes.Last().nIcon, EMessageIcon::Information);
    EXPECT_EQ(viewAtBox.strAddress, "inst7 [127.0.0.77]");
    EXPECT_EQ(viewAtBox.strStatus, "Ready");
    EXPECT_EQ(m_pApp->m_dwInstrumentIPAddress, MOVED_ADDRESS);
    EXPECT_EQ(m_pApp->m_nConnectionState, CONNECTION_READY);

    const auto listRepair = RequestsOf(MSG_REPAIR);
    ASSERT_EQ(listRepair.size(), 1u);
    EXPECT_EQ(listRepair[0].dwHeaderDestination, LOOPBACK_BROADCAST);
    EXPECT_EQ(listRepair[0].strInstrumentName, "Lab-1");
}

TEST_F(ConnectionWindowTest, EnterWhenNotReadyRepairsRatherThanReleases) {
    // "Not ready" puts the focus on "Repair Connection" while "Release Instrument" stays the
    // default button: Enter must press the focused button, never release the configuration.
    StartSimulator({OwnedInstrument(MOVED_ADDRESS)});
    OpenNotReady();
    ASSERT_EQ(View().strFocus, "Repair Connection");
    QTest::keyClick(Dlg().focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 1; }));
    EXPECT_EQ(m_boxes.Last().strText, REPAIRED);
    EXPECT_EQ(m_pSim->CountRequests(MSG_RELEASE), 0u);
    EXPECT_EQ(m_pApp->m_nConnectionState, CONNECTION_READY);

    // Back on the default button, Enter goes to it again.
    m_pApp->m_nConnectionState = CONNECTION_NOT_READY;
    Dlg().UpdateDisplay();
    Field(Dlg(), "Instrument name:")->setFocus();
    QTest::keyClick(Field(Dlg(), "Instrument name:"), Qt::Key_Return);
    ASSERT_TRUE(WaitForRequests(MSG_RELEASE, 1));
    EXPECT_EQ(m_pSim->CountRequests(MSG_REPAIR), 1u);
}

TEST_F(ConnectionWindowTest, RepairTakesTheFirstOfTwoAnswers) {
    StartSimulator({OwnedInstrument(MOVED_ADDRESS), OwnedInstrument(OTHER_MOVED_ADDRESS)});
    OpenNotReady();
    Button(Dlg(), "Repair Connection")->click();
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 1; }));
    ProcessEventsFor(300ms); // the second answer arrives and is dropped
    EXPECT_EQ(m_pApp->m_dwInstrumentIPAddress, MOVED_ADDRESS);
    EXPECT_EQ(m_boxes.Count(), 1);
    EXPECT_EQ(m_pSim->CountRequests(MSG_REPAIR), 1u);
}

TEST_F(ConnectionWindowTest, RepairRefusedEndsSilently) {
    StartSimulator({OwnedInstrument()}, {MSG_REPAIR});
    OpenNotReady();
    Button(Dlg(), "Repair Connection")->click();
    ASSERT_TRUE(WaitForRequests(MSG_REPAIR, 1));
    Inject(BuildRepairReply(1, MOVED_ADDRESS), MOVED_ADDRESS);
    ASSERT_TRUE(WaitFor([&] { return !Dlg().IsWaitingForReply(); }));
    ProcessEventsFor(800ms);
    EXPECT_EQ(m_pSim->CountRequests(MSG_REPAIR), 1u);
    EXPECT_EQ(m_boxes.Count(), 0);
    EXPECT_EQ(View().strStatus, "Not ready");
    EXPECT_EQ(m_pApp->m_dwInstrumentIPAddress, INSTRUMENT_ADDRESS);
}

TEST_F(ConnectionWindowTest, RepairWithoutAnswerAsksTheQuestion) {
    StartSimulator({OwnedInstrument()}, {MSG_REPAIR});
    OpenNotReady();
    Button(Dlg(), "Repair Connection")->click();
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 1; }));
    EXPECT_EQ(m_pSim->CountRequests(MSG_REPAIR), 2u);
    EXPECT_EQ(m_boxes.Last().strText, NOT_REPAIRED);
    EXPECT_EQ(m_boxes.Last().nIcon, EMessageIcon::Question);
    EXPECT_EQ(m_boxes.Last().nButtons, EMessageButtons::Ok);
    EXPECT_EQ(m_boxes.Last().strCaption, CAPTION);
    EXPECT_EQ(View().strStatus, "Not ready");
    EXPECT_EQ(Dlg().GetRepairAttempts(), 0u);
}

// ---- Routing ------------------------------------------------------------------------------

TEST_F(ConnectionWindowTest, RepliesOfWrongLengthLeaveTheExchangeWaiting) {
    StartSimulator({OwnedInstrument()}, {MSG_VERIFY});
    Configure(CONNECTION_VERIFYING);
    Open();
    ASSERT_TRUE(WaitForRequests(MSG_VERIFY, 1));
    std::vector<std::uint8_t> shortReply(VERIFY_REPLY_SIZE - 1, 0);
    shortReply[0] = MSG_VERIFY;
    Inject(shortReply);
    Inject(std::vector<std::uint8_t>{MSG_RELEASE, STATUS_OK, 0});
    Inject(std::vector<std::uint8_t>{MSG_REPAIR, STATUS_OK, 0x7F, 0, 0});
    ProcessEventsFor(100ms);
    EXPECT_TRUE(Dlg().IsWaitingForReply());

    // The verification runs its course as if nothing had come.
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 1; }));
    EXPECT_EQ(m_boxes.Last().strText, NOT_VERIFIED);
    EXPECT_EQ(m_pSim->CountRequests(MSG_VERIFY), 2u);
    EXPECT_EQ(View().strStatus, "Not ready");
    EXPECT_EQ(m_pApp->m_strInstrumentName, "Lab-1");
    EXPECT_EQ(m_pApp->m_dwInstrumentIPAddress, INSTRUMENT_ADDRESS);
}

TEST_F(ConnectionWindowTest, AConfiguredAddressOfZeroEndsNotReadyAndRepairFindsTheInstrument) {
    StartSimulator({OwnedInstrument()});
    Configure(CONNECTION_VERIFYING, 0); // a stored address that was missing or malformed
    Open();
    // What this computer sends comes back to it: a reply carrying its own address as the source
    // is its own datagram, whatever it looks like.
    SInstrumentDescriptionFields description;
    description.strHostName = "inst7";
    Inject(BuildVerifyReply(STATUS_OK, description), LOOPBACK_ADDRESS, 0);
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 1; }));
    EXPECT_EQ(m_boxes.Last().strText, NOT_VERIFIED);
    EXPECT_EQ(View().strStatus, "Not ready");

    Button(Dlg(), "Repair Connection")->click();
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 2; }));
    EXPECT_EQ(m_boxes.Last().strText, REPAIRED);
    EXPECT_EQ(m_pApp->m_dwInstrumentIPAddress, INSTRUMENT_ADDRESS);
    EXPECT_EQ(View().strStatus, "Ready");
}

TEST_F(ConnectionWindowTest, DatagramsNoWindowTakesLeaveTheWaitAlone) {
    StartSimulator({OwnedInstrument()}, {MSG_VERIFY});
    Configure(CONNECTION_VERIFYING);
    Open();
    ASSERT_TRUE(WaitForRequests(MSG_VERIFY, 1));

    SInstrumentDescriptionFields description;
    description.strHostName = "inst7";
    // Replies this window would take, but addressed to the broadcast address.
    Inject(BuildVerifyReply(STATUS_OK, description), INSTRUMENT_ADDRESS, LOOPBACK_BROADCAST);
    Inject(BuildStatusReply(MSG_RELEASE, STATUS_OK), INSTRUMENT_ADDRESS, LOOPBACK_BROADCAST);
    // Codes no window takes, one of them shaped as a verify reply.
    auto verifyShaped = BuildVerifyReply(STATUS_OK, description);
    for (std::uint8_t nCode : {std::uint8_t{1}, std::uint8_t{7}, std::uint8_t{255}}) {
        verifyShaped[0] = nCode;
        Inject(verifyShaped);
    }
    // No payload at all: no code to route by.
    Inject(std::span<const std::uint8_t>());

    // The verification runs its course as if nothing had come.
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 1; }));
    EXPECT_EQ(m_boxes.Last().strText, NOT_VERIFIED);
    EXPECT_EQ(m_pSim->CountRequests(MSG_VERIFY), 2u);
    EXPECT_EQ(View().strStatus, "Not ready");
    EXPECT_EQ(m_pApp->m_strInstrumentName, "Lab-1");
}

// Anyone on the segment can send a release or repair reply: only the exchange that waits for
// one takes it, so that a stray one can neither forget nor move the configuration.
TEST_F(ConnectionWindowTest, ReleaseOrRepairReplyDuringVerificationChangesNothing) {
    StartSimulator({OwnedInstrument()}, {MSG_VERIFY});
    Configure(CONNECTION_VERIFYING);
    Open();
    ASSERT_TRUE(WaitForRequests(MSG_VERIFY, 1));
    Inject(BuildStatusReply(MSG_RELEASE, STATUS_OK));
    Inject(BuildRepairReply(STATUS_OK, 0x0A000063));
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() == 1; }));
    EXPECT_EQ(m_boxes.Last().strText, NOT_VERIFIED);
    EXPECT_EQ(View().strStatus, "Not ready");
    EXPECT_EQ(m_pApp->m_strInstrumentName, "Lab-1");
    EXPECT_EQ(m_pApp->m_dwInstrumentIPAddress, INSTRUMENT_ADDRESS);
}

TEST_F(ConnectionWindowTest, ClosingWhileWaitingAbandonsTheExchange) {
    StartSimulator({OwnedInstrument()}, {MSG_VERIFY});
    Configure(CONNECTION_VERIFYING);
    Open();
    ASSERT_TRUE(WaitForRequests(MSG_VERIFY, 1));
    ASSERT_TRUE(Dlg().IsWaitingForReply());
    Dlg().DestroyWindow();
    EXPECT_FALSE(Dlg().IsWaitingForReply());
    EXPECT_FALSE(Dlg().IsTimerRunning(Dialog::ID_VERIFY_RESPONSE_TIMER_EVENT));
    ProcessEventsFor(1300ms);
    EXPECT_EQ(m_pSim->CountRequests(MSG_VERIFY), 1u);
    EXPECT_EQ(m_boxes.Count(), 0);
    EXPECT_EQ(m_pApp->m_strInstrumentName, "Lab-1");
}

// ---- Selection windows --------------------------------------------------------------------

TEST_F(ConnectionWindowTest, ClaimSelectionWindowGetsDiscoveryRepliesThenVerifies) {
    SSimulatedInstrument instrument = OwnedInstrument();
    instrument.strOwnerHostName = "pc-12";
    instrument.dwOwnerAddress = 0x0A000009;
    StartSimulator({instrument});
    Open();
    Configure(CONNECTION_NOT_CLAIMED);
    Dlg().UpdateDisplay();

    bool bSeen = false;
    CModalRunHook hook(StepsThenClose([&](CDialog& window) {
        auto* pSelection = dynamic_cast<CClaimInstrumentSelectionDialog*>(&window);
        ASSERT_NE(pSelection, nullptr);
        bSeen = true;
        EXPECT_EQ(m_pApp->m_pClaimInstrumentSelectionDialog, pSelection);
        EXPECT_EQ(m_pApp->m_pRenameInstrumentSelectionDialog, nullptr);
        // A reply to the broadcast address is dropped even with code 2; the one behind it is
        // routed, so once it is in the list the first has been dealt with.
        SInstrumentDescriptionFields description;
        description.strHostName = "inst9";
        description.dwAddress = 0x7F000009;
        Inject(BuildDiscoveryReply(description), 0x7F000009, LOOPBACK_BROADCAST);
        description.strHostName = "inst10";
        description.dwAddress = 0x7F00000A;
        Inject(BuildDiscoveryReply(description), 0x7F00000A);
        EXPECT_TRUE(WaitFor([&] {
            return HasInstrument(pSelection->GetCollectedInstruments(), 0x7F00000A) &&
                   HasInstrument(pSelection->GetCollectedInstruments(), INSTRUMENT_ADDRESS);
        }));
        EXPECT_FALSE(HasInstrument(pSelection->GetCollectedInstruments(), 0x7F000009));
    }));
    ClaimButton(Dlg())->click(); // returns when the selection window has closed
    ASSERT_TRUE(bSeen);
    EXPECT_EQ(m_pApp->m_pClaimInstrumentSelectionDialog, nullptr);

    // Not configured it is not, so the instrument is verified again.
    EXPECT_EQ(View().strStatus, VERIFYING);
    ASSERT_TRUE(WaitFor([&] { return View().strStatus == "Claimed by pc-12 [10.0.0.9]"; }));
    EXPECT_EQ(m_pSim->CountRequests(MSG_VERIFY), 1u);
}

TEST_F(ConnectionWindowTest, ReleaseAskedBySelectionWindowRefreshesItsList) {
    StartSimulator({OwnedInstrument()});
    Open();
    Configure(CONNECTION_NOT_CLAIMED);
    Dlg().UpdateDisplay();

    Clock::time_point releaseEnded;
    std::size_t nRequestsBefore = 0;
    CModalRunHook hook(StepsThenClose([&](CDialog& window) {
        auto* pSelection = dynamic_cast<CClaimInstrumentSelectionDialog*>(&window);
        ASSERT_NE(pSelection, nullptr);
        // Into the dwell: the next cycle is five seconds away.
        ASSERT_TRUE(WaitFor([&] {
            return pSelection->GetDisplayedInstruments().GetCount() == 1 &&
                   !pSelection->IsCollecting();
        }));
        nRequestsBefore = m_pSim->CountRequests(MSG_DISCOVERY_REQUEST);
        m_pApp->m_pConnectionDialog->PostMessage(WM_RELEASE_INSTRUMENT);
        EXPECT_TRUE(
            WaitFor([&] { return m_pApp->m_nConnectionState == CONNECTION_NOT_CONFIGURED; }));
        releaseEnded = Clock::now();
        // The selection window starts a cycle at once rather than at the end of its dwell.
        EXPECT_TRUE(
            WaitFor([&] { return m_pSim->CountRequests(MSG_DISCOVERY_REQUEST) > nRequestsBefore; },
                    2500ms));
        EXPECT_LT(Clock::now() - releaseEnded, 2500ms);
    }));
    ClaimButton(Dlg())->click();
    EXPECT_EQ(m_pSim->CountRequests(MSG_RELEASE), 1u);
    EXPECT_EQ(m_boxes.Count(), 0);

    // Nothing is configured any more, so nothing is verified.
    EXPECT_EQ(View().strStatus, "Not configured");
    ProcessEventsFor(600ms);
    EXPECT_EQ(m_pSim->CountRequests(MSG_VERIFY), 0u);
}

TEST_F(ConnectionWindowTest, RenameSelectionWindowGetsDiscoveryRepliesThenVerifies) {
    StartSimulator({OwnedInstrument()});
    Open();
    Configure(CONNECTION_READY);
    Dlg().UpdateDisplay();

    bool bSeen = false;
    CModalRunHook hook(StepsThenClose([&](CDialog& window) {
        auto* pSelection = dynamic_cast<CRenameInstrumentSelectionDialog*>(&window);
        ASSERT_NE(pSelection, nullptr);
        bSeen = true;
        EXPECT_EQ(m_pApp->m_pRenameInstrumentSelectionDialog, pSelection);
        EXPECT_EQ(m_pApp->m_pClaimInstrumentSelectionDialog, nullptr);
        EXPECT_TRUE(WaitFor([&] {
            return HasInstrument(pSelection->GetCollectedInstruments(), INSTRUMENT_ADDRESS);
        }));
    }));
    Button(Dlg(), "Rename an Instrument...")->click();
    ASSERT_TRUE(bSeen);
    EXPECT_EQ(m_pApp->m_pRenameInstrumentSelectionDialog, nullptr);
    EXPECT_EQ(View().strStatus, VERIFYING);
    ASSERT_TRUE(WaitFor([&] { return View().strStatus == "Ready"; }));
    EXPECT_EQ(m_pSim->CountRequests(MSG_VERIFY), 1u);
}

} // namespace
