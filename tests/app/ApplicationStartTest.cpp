// Start-up and shut-down of the application object on loopback: the adapter choice and the link
// at construction, the state the configuration starts the main window in, the save at every exit.
#include "app/MolvarInstrumentConnectionApplication.h"
#include "app/TerminationSignals.h"
#include "link/UDPInstrumentInterface.h"
#include "platform/UDPSocket.h"
#include "tests/support/LoopbackApplication.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/ModalRunHook.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowDriver.h"
#include "ui/connection/MolvarInstrumentConnectionDialog.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// What the application looked like when its main window had opened.
struct SAtOpening {
    bool bSeen = false;
    std::uint8_t nState = 0xFF;
    CDialog* pWindow = nullptr;
    CMolvarInstrumentConnectionDialog* pConnectionDialog = nullptr;
};

// Two adapters that both qualify: the first is asked about.
std::vector<SNetworkAdapter> TwoQualifyingAdapters() {
    return {{ADAPTER_TYPE_ETHERNET, "lo-a (test)", "127.0.0.1", "255.0.0.0"},
            {ADAPTER_TYPE_ETHERNET, "lo-b (test)", "127.0.0.1", "255.255.255.0"}};
}

// After a test that raised a termination signal: the default handlers back, and the quit that
// stays with the thread until its main loop runs taken, since later tests need their windows.
void ForgetTerminationSignal() {
    for (const int nSignal : {SIGTERM, SIGINT, SIGHUP}) {
        std::signal(nSignal, SIG_DFL);
    }
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    ForgetEndingRun();
}

// Runs InitInstance; fnInside runs inside the main window's modal run, which then ends.
SAtOpening RunApplication(CLoopbackApplication& lab,
                          const std::function<void(CDialog&)>& fnInside = {}) {
    SAtOpening seen;
    CModalRunHook hook([&](CDialog& window) {
        seen.bSeen = true;
        seen.nState = lab.App().m_nConnectionState;
        seen.pWindow = &window;
        seen.pConnectionDialog = lab.App().m_pConnectionDialog;
        if (fnInside) {
            fnInside(window);
        }
        window.EndDialog(0);
    });
    EXPECT_FALSE(lab.App().InitInstance());
    EXPECT_EQ(lab.App().m_pConnectionDialog, nullptr);
    return seen;
}

TEST(ApplicationStart, ConstructionChoosesTheAdapterAndObtainsTheLink) {
    CLoopbackApplication lab;
    CMolvarInstrumentConnectionApplication& app = lab.App();
    EXPECT_EQ(CWinApp::GetCurrent(), &app);
    EXPECT_EQ(app.m_dwLocalIPAddress, 0x7F000001u);
    EXPECT_EQ(app.m_dwBroadcastIPAddress, 0x7FFFFFFFu);
    ASSERT_NE(app.m_pInstrumentInterface, nullptr);
    EXPECT_EQ(app.m_pInstrumentInterface->m_dwBroadcastAddress, 0x7FFFFFFFu);
    EXPECT_EQ(app.m_pInstrumentInterface->GetLocalPort(), lab.AppPort());

    char szHostName[256] = {};
    ASSERT_EQ(gethostname(szHostName, sizeof(szHostName) - 1), 0);
    EXPECT_EQ(app.m_strLocalHostName, QString::fromLatin1(szHostName).left(63));

    EXPECT_TRUE(app.m_strInstrumentName.isEmpty());
    EXPECT_TRUE(app.m_strInstrumentHostName.isEmpty());
    EXPECT_EQ(app.m_dwInstrumentIPAddress, 0u);
    EXPECT_EQ(app.m_pConnectionDialog, nullptr);
    EXPECT_EQ(app.m_pClaimInstrumentSelectionDialog, nullptr);
    EXPECT_EQ(app.m_pRenameInstrumentDialog, nullptr);
    EXPECT_TRUE(QFileInfo::exists(":/icons/tavik-connection.svg")); // the library's resource
}

TEST(ApplicationStart, TheAdapterQuestionComesBeforeAnyWindow) {
    CMessageBoxRecorder boxes;
    boxes.QueueAnswers({IDNO});
    SLoopbackOptions options;
    options.adapters = TwoQualifyingAdapters();
    CLoopbackApplication lab(options);
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Last().pOwner, nullptr);
    EXPECT_EQ(boxes.Last().strCaption, "Select Adapter");
    EXPECT_EQ(lab.App().m_dwBroadcastIPAddress, 0x7F0000FFu);
    EXPECT_EQ(lab.Link().m_dwBroadcastAddress, 0x7F0000FFu);
}

TEST(ApplicationStart, NoConfigurationStartsNotConfiguredSendsNothingAndSavesAllKeys) {
    CLoopbackApplication lab({LoopbackInstrument(0, "Lab-1", "inst1")});
    const SAtOpening seen = RunApplication(lab, [](CDialog&) { ProcessEventsFor(200ms); });
    ASSERT_TRUE(seen.bSeen);
    EXPECT_EQ(seen.nState, CONNECTION_NOT_CONFIGURED);
    EXPECT_EQ(seen.pConnectionDialog, seen.pWindow);
    EXPECT_EQ(lab.Simulator().Requests().size(), 0u);
    EXPECT_EQ(lab.App().GetAppName(), "Tavik Instrument Connection");

    for (const char* pszFile : {"Tavik.conf", "Norvask/Tavik.conf", "Quorith/Molvar.conf"}) {
        EXPECT_TRUE(QFileInfo::exists(lab.SettingsHome().FilePath(pszFile))) << pszFile;
    }
    const SConfiguration saved = lab.StoredConfiguration();
    EXPECT_TRUE(saved.strInstrumentName.isEmpty());
    EXPECT_EQ(saved.dwInstrumentIPAddress, 0u);
}

TEST(ApplicationStart, AStoredNameStartsVerifyingTheConfiguredInstrument) {
    SLoopbackOptions options;
    options.listInstruments = {LoopbackInstrument(0, "Lab-1", "inst1")};
    options.simulator.bMute = true; // the state stays where start-up put it
    CLoopbackApplication lab(options);
    lab.StoreConfiguration({"Lab-1", "inst1", CLoopbackApplication::InstrumentAddress(0)});

    const SAtOpening seen = RunApplication(lab, [&](CDialog&) {
        EXPECT_TRUE(lab.Simulator().WaitForRequests(MSG_VERIFY, 1, 5000ms));
    });
    EXPECT_EQ(seen.nState, CONNECTION_VERIFYING);
    EXPECT_EQ(lab.App().m_strInstrumentName, "Lab-1");
    EXPECT_EQ(lab.App().m_strInstrumentHostName, "inst1");
    EXPECT_EQ(lab.App().m_dwInstrumentIPAddress, CLoopbackApplication::InstrumentAddress(0));
    const std::vector<SSimulatorRequest> listRequests = lab.Simulator().Requests();
    ASSERT_FALSE(listRequests.empty());
    EXPECT_EQ(listRequests.front().dwReceivedOn, CLoopbackApplication::InstrumentAddress(0));
}

TEST(ApplicationStart, AKeyWithoutANameVerifiesAnInstrumentNamedNone) {
    SLoopbackOptions options;
    options.simulator.bMute = true;
    CLoopbackApplication lab(options);
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Tavik");
    settings.setValue("dwInstrumentIPAddress", 0x7F000002u);
    settings.sync();

    const SAtOpening seen = RunApplication(lab);
    EXPECT_EQ(seen.nState, CONNECTION_VERIFYING);
    EXPECT_EQ(lab.App().m_strInstrumentName, "{none}");
    EXPECT_EQ(lab.App().m_strInstrumentHostName, "{none}");
}

TEST(ApplicationStart, WhatTheRunLeavesIsSavedAtExit) {
    SLoopbackOptions options;
    options.simulator.bMute = true;
    CLoopbackApplication lab(options);
    lab.StoreConfiguration({"Lab-1", "inst1", 0x7F000002});
    RunApplication(lab, [&](CDialog&) {
        lab.App().m_strInstrumentName = "Lab-9";
        lab.App().m_strInstrumentHostName = "inst9";
        lab.App().m_dwInstrumentIPAddress = 0x7F000009;
    });
    for (const SSettingsKey& key : CConfigurationStore::SAVED_KEYS) {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, key.pszOrganization,
                           key.pszApplication);
        EXPECT_EQ(settings.value("strInstrumentName").toString(), "Lab-9") << key.pszKeyName;
        EXPECT_EQ(settings.value("strInstrumentHostName").toString(), "inst9");
        EXPECT_EQ(settings.value("dwInstrumentIPAddress").toUInt(), 0x7F000009u);
    }
}

TEST(ApplicationStart, ATerminationSignalClosesEveryWindowAndSavesAsCloseDoes) {
    SLoopbackOptions options;
    options.simulator.bMute = true;
    CLoopbackApplication lab(options);
    lab.StoreConfiguration({"Lab-1", "inst1", 0x7F000002});
    EndRunOnTerminationSignals();

    bool bSelectionOpened = false;
    CModalRunHook hook([&](CDialog& window) {
        if (dynamic_cast<CMolvarInstrumentConnectionDialog*>(&window) != nullptr) {
            lab.App().m_strInstrumentName = "Lab-9"; // what the run changed
            for (QPushButton* pButton : window.findChildren<QPushButton*>()) {
                if (pButton->text() == "Rename an Instrument...") {
                    pButton->click(); // returns once the selection window has gone
                }
            }
            return;
        }
        bSelectionOpened = true;
        raise(SIGTERM); // the test ends neither window: the signal must
    });
    EXPECT_FALSE(lab.App().InitInstance());
    EXPECT_TRUE(bSelectionOpened);
    EXPECT_EQ(lab.StoredConfiguration().strInstrumentName, "Lab-9");

    ForgetTerminationSignal();
}

TEST(ApplicationStart, OnTheWayOutAfterASignalNothingNewIsSent) {
    const std::string strHost = [] {
        char szHostName[64] = {};
        gethostname(szHostName, sizeof(szHostName) - 1);
        return std::string(szHostName);
    }();
    SSimulatedInstrument owned = LoopbackInstrument(0, "Lab-1", "inst1");
    owned.bClaimed = 1;
    owned.strOwnerHostName = strHost;
    owned.dwOwnerAddress = LOOPBACK_ADDRESS;
    CLoopbackApplication lab({owned});
    lab.StoreConfiguration({"Lab-1", "inst1", lab.InstrumentAddress(0)});
    EndRunOnTerminationSignals();

    std::size_t nVerifyRequests = 0;
    CModalRunHook hook([&](CDialog& window) {
        if (auto* pMain = dynamic_cast<CMolvarInstrumentConnectionDialog*>(&window)) {
            EXPECT_TRUE(WaitFor([&] { return lab.App().m_nConnectionState == CONNECTION_READY; }));
            nVerifyRequests = lab.Simulator().CountRequests(MSG_VERIFY);
            for (QPushButton* pButton : pMain->findChildren<QPushButton*>()) {
                if (pButton->text() == "Rename an Instrument...") {
                    pButton->click();
                }
            }
            return;
        }
        raise(SIGTERM); // closing the selection window would verify again
    });
    EXPECT_FALSE(lab.App().InitInstance());
    ProcessEventsFor(300ms);
    EXPECT_EQ(nVerifyRequests, 1u);
    EXPECT_EQ(lab.Simulator().CountRequests(MSG_VERIFY), nVerifyRequests);
    EXPECT_EQ(lab.StoredConfiguration().strInstrumentName, "Lab-1");
    ForgetTerminationSignal();
}

TEST(ApplicationStart, ASignalDuringTheAdapterQuestionEndsWithoutAWindowOrASave) {
    EndRunOnTerminationSignals();
    CMessageBoxRecorder boxes;
    boxes.QueueAnswers({IDNO});
    boxes.SetOnShow([](const SMessageBox&) {
        raise(SIGTERM);
        ProcessEventsFor(100ms); // as the question's own event loop would
    });
    SLoopbackOptions options;
    options.adapters = TwoQualifyingAdapters();
    CLoopbackApplication lab(options);
    ASSERT_EQ(boxes.Count(), 1);

    bool bOpened = false;
    CModalRunHook hook([&](CDialog& window) {
        bOpened = true;
        window.EndDialog(0);
    });
    EXPECT_FALSE(lab.App().InitInstance());
    EXPECT_FALSE(bOpened);
    EXPECT_TRUE(lab.Simulator().Requests().empty());
    for (const char* pszFile : {"Tavik.conf", "Norvask/Tavik.conf", "Quorith/Molvar.conf"}) {
        EXPECT_FALSE(QFileInfo::exists(lab.SettingsHome().FilePath(pszFile))) << pszFile;
    }
    ForgetTerminationSignal();
}

// Another program holds the port: once the link has given up (seven attempts, about 3 s) the user
// is told over the window on top, every window closes, and nothing is saved.
TEST(ApplicationStart, APortHeldByAnotherProgramEndsTheRunWithoutASave) {
    CUDPSocket held;
    ASSERT_TRUE(held.Open() && held.Bind(0));
    SLoopbackOptions options;
    options.nAppPort = held.GetLocalPort();
    CLoopbackApplication lab(options);
    CMessageBoxRecorder boxes;
    QWidget* pSelection = nullptr;
    CModalRunHook hook([&](CDialog& window) {
        if (dynamic_cast<CMolvarInstrumentConnectionDialog*>(&window) == nullptr) {
            pSelection = &window; // left open: the link's failure must close it
            QTimer::singleShot(8000, &window, [&window] { window.EndDialog(0); });
            return;
        }
        CWindowDriver(window).Click("Claim an Instrument...");
        window.EndDialog(0);
    });
    QElapsedTimer elapsed;
    elapsed.start();
    lab.App().InitInstance();
    EXPECT_TRUE(elapsed.elapsed() >= 2900 && elapsed.elapsed() < 7000) << elapsed.elapsed();
    EXPECT_EQ(lab.App().ExitStatus(), 1);
    EXPECT_FALSE(QFileInfo::exists(lab.SettingsHome().FilePath("Tavik.conf")));
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Last().pOwner, pSelection);
    EXPECT_EQ(boxes.Last().strCaption, "Tavik Instrument Connection");
    EXPECT_EQ(boxes.Last().nIcon, EMessageIcon::Exclamation);
    EXPECT_TRUE(boxes.Last().strText.startsWith(
        QStringLiteral("UDP port %1 is in use by another program, probably another "
                       "tavik-connection or tavikctl.")
            .arg(options.nAppPort)));
    ForgetTerminationSignal();
}

TEST(ApplicationStart, DestructionReleasesTheLinkSoANewOneCanBeBuilt) {
    { CLoopbackApplication lab; }
    EXPECT_EQ(CWinApp::GetCurrent(), nullptr);
    CLoopbackApplication lab; // a second link, on another port
    EXPECT_EQ(lab.Link().GetLocalPort(), lab.AppPort());
}

} // namespace
