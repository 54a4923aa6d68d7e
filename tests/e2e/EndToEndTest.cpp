// End to end: the real application object and windows (offscreen), the real adapter listing and
// choice, the link on port 19798, and instruments simulated by separate processes, each case in
// a lab of network namespaces of its own (tests/e2e/labs.txt, scripts/lab). Only run-case starts
// these cases; anywhere else they are skipped before anything is sent.
#include "app/MolvarInstrumentConnectionApplication.h"
#include "link/Messages.h"
#include "platform/NetworkAdapters.h"
#include "platform/window/Dialog.h"
#include "tests/e2e/LabEnvironment.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowDriver.h"
#include "tests/support/WindowScript.h"
#include "tests/support/WindowTitles.h"
#include "ui/discovery/InstrumentSelectionDialog.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <unistd.h>

using namespace std::chrono_literals;

// Readable failures.
void PrintTo(const QString& str, std::ostream* pStream) {
    *pStream << '"' << str.toStdString() << '"';
}
void PrintTo(const QStringList& list, std::ostream* pStream) {
    *pStream << '{';
    for (qsizetype i = 0; i < list.size(); ++i) {
        *pStream << (i == 0 ? "" : ", ");
        PrintTo(list[i], pStream);
    }
    *pStream << '}';
}

namespace {

const QString STATUS = QStringLiteral("Connection status");
const QString NAME = QStringLiteral("Instrument name");
const QString ADDRESS = QStringLiteral("Instrument address");
const QString LIST_STATUS = QStringLiteral("Status");

const QString CLAIM_BUTTON = QStringLiteral("Claim an Instrument...");
const QString RELEASE_BUTTON = QStringLiteral("Release Instrument");

const QString CLAIMED = QStringLiteral("You have claimed the instrument.");

QString Dotted(std::uint32_t dwAddress) {
    return QString::fromStdString(DottedAddress(dwAddress));
}

QString HostAndAddress(const QString& strHost, std::uint32_t dwAddress) {
    return QStringLiteral("%1 [%2]").arg(strHost, Dotted(dwAddress));
}

class EndToEnd : public CLabCase {
protected:
    // The application as the program builds it: the real adapter listing, port 19798.
    void StartApplication() {
        m_pApp = std::make_unique<CMolvarInstrumentConnectionApplication>(ListNetworkAdapters());
    }

    QString Me(std::uint32_t dwAddress = LAB_CLIENT_ADDRESS) const {
        return HostAndAddress(m_lab.ClientHostName(), dwAddress);
    }

    // The three keys, all holding this configuration.
    void ExpectStored(const QString& strName, const QString& strHostName,
                      std::uint32_t dwAddress) const {
        for (const QString& strFile :
             {QStringLiteral("Tavik.conf"), QStringLiteral("Norvask/Tavik.conf"),
              QStringLiteral("Quorith/Molvar.conf")}) {
            SCOPED_TRACE(strFile.toStdString());
            const SStoredConfiguration stored = m_lab.ReadConfiguration(strFile);
            EXPECT_TRUE(stored.bPresent);
            EXPECT_EQ(stored.strInstrumentName, strName);
            EXPECT_EQ(stored.strInstrumentHostName, strHostName);
            EXPECT_EQ(stored.strInstrumentIPAddress, QString::number(dwAddress));
        }
    }

    // Verification at start, a rename selection window's discovery, then a move of the
    // configured instrument and its repair.
    void VerifyDiscoverAndRepairAfterAMove() {
        constexpr std::uint32_t NEW_ADDRESS = 0x0A4D0128; // 10.77.1.40
        m_lab.WriteConfiguration("Lab-7", "tavik-a101", LabInstrumentAddress(1));
        m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
            const CWindowDriver main(dlg);
            STEP_REQUIRE(m_script, WaitFor([&] { return main.Text(STATUS) == "Ready"; }, 5s));
            QString strOutput;
            const bool bMoved = m_lab.Lab("move", {"1", Dotted(NEW_ADDRESS)}, &strOutput);
            if (!bMoved) {
                std::cerr << strOutput.toStdString();
            }
            STEP_REQUIRE(m_script, bMoved);
            // Closing a selection window verifies again, at the old address.
            STEP_REQUIRE(m_script, main.Click("Rename an Instrument..."));
            STEP_REQUIRE(m_script, WaitFor([&] { return main.Text(STATUS) == "Not ready"; }, 5s));
            STEP_REQUIRE(m_script, main.HasEnabledButton("Repair Connection"));
            STEP_REQUIRE(m_script, main.Click("Repair Connection"));
            STEP_REQUIRE(m_script, WaitFor([&] { return main.Text(STATUS) == "Ready"; }, 5s));
            STEP_REQUIRE(m_script, main.Text(ADDRESS) == HostAndAddress("tavik-a101", NEW_ADDRESS));
            STEP_REQUIRE(m_script, main.Click("Close"));
        });
        m_script.On(RENAME_SELECTION_WINDOW, [&](CDialog& dlg) {
            const CWindowDriver list(dlg);
            STEP_REQUIRE(
                m_script,
                WaitFor([&] { return list.Text(LIST_STATUS) == "2 instruments found"; }, 5s));
            STEP_REQUIRE(m_script,
                         list.Row(1).value(1) == HostAndAddress("tavik-a101", NEW_ADDRESS));
            STEP_REQUIRE(m_script, list.Click("Close"));
        });

        StartApplication();
        EXPECT_FALSE(m_pApp->InitInstance());

        ASSERT_EQ(m_boxes.Texts(), QStringList({"The instrument connection could not be verified.",
                                                "The connection has been repaired."}));
        EXPECT_EQ(m_boxes.Boxes()[0].nIcon, EMessageIcon::Exclamation);
        EXPECT_EQ(m_boxes.Boxes()[1].nIcon, EMessageIcon::Information);
        EXPECT_EQ(m_boxes.Last().strCaption, "Tavik Instrument Connection");
        ExpectStored("Lab-7", "tavik-a101", NEW_ADDRESS);
    }

    // The main window's part of a case about the claim selection window: open it, then close.
    void OpenClaimSelectionThenClose() {
        m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
            const CWindowDriver main(dlg);
            STEP_REQUIRE(m_script, main.Click(CLAIM_BUTTON));
            STEP_REQUIRE(m_script, main.Click("Close"));
        });
    }

    CMessageBoxRecorder m_boxes; // before the application: the adapter question comes first
    CWindowScript m_script;
    std::unique_ptr<CMolvarInstrumentConnectionApplication> m_pApp;
};

// The claim window's part of a claim under a typed name.
auto ClaimUnder(CWindowScript& script, const QString& strName, const QString& strInstrument,
                const QString& strOwner) {
    return [&script, strName, strInstrument, strOwner](CDialog& dlg) {
        const CWindowDriver claim(dlg);
        STEP_REQUIRE(script, claim.Text(ADDRESS) == strInstrument);
        STEP_REQUIRE(script, claim.Text(QStringLiteral("Owner name")) == strOwner);
        STEP_REQUIRE(script, claim.Type(NAME, strName));
        STEP_REQUIRE(script, claim.Click(QStringLiteral("Claim")));
        STEP_REQUIRE(script, WaitFor([&] { return !dlg.isVisible(); }, 5s));
    };
}

// True as soon as fnDone() holds, looked at every few milliseconds from a running event loop.
bool WaitInEventLoop(const std::function<bool()>& fnDone, std::chrono::milliseconds timeout) {
    QEventLoop loop;
    QTimer look;
    look.setTimerType(Qt::PreciseTimer);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (fnDone()) {
            loop.quit();
        }
    });
    look.start(5);
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    loop.exec();
    return fnDone();
}

} // namespace

// Claiming an unnamed instrument under a typed name, the design's typical road.
TEST_F(EndToEnd, TypicalRoad) {
    const QString strInstrument = HostAndAddress("tavik-a101", LabInstrumentAddress(1));
    m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver main(dlg);
        STEP_REQUIRE(m_script, main.Text(STATUS) == "Not configured");
        STEP_REQUIRE(m_script, main.Text(NAME) == "{none}" && main.Text(ADDRESS) == "{none}");
        STEP_REQUIRE(m_script, main.Click(CLAIM_BUTTON));
        STEP_REQUIRE(m_script, WaitFor([&] { return main.Text(STATUS) == "Ready"; }, 5s));
        STEP_REQUIRE(m_script, main.Text(NAME) == "Lab-7");
        STEP_REQUIRE(m_script, main.Text(ADDRESS) == strInstrument);
        STEP_REQUIRE(m_script, main.HasEnabledButton(RELEASE_BUTTON));
        STEP_REQUIRE(m_script, main.Click("Close"));
    });
    m_script.On(CLAIM_SELECTION_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver list(dlg);
        STEP_REQUIRE(m_script,
                     WaitFor([&] { return list.Text(LIST_STATUS) == "2 instruments found"; }, 5s));
        STEP_REQUIRE(m_script,
                     list.Row(0) == QStringList({"Unnamed", strInstrument, "No", "{none}"}));
        STEP_REQUIRE(m_script, list.Row(1) == QStringList({"Bench-2", "tavik-b202 [10.77.1.12]",
                                                           "No", "lab-pc-7 [10.77.1.77]"}));
        STEP_REQUIRE(m_script, list.SelectRow(0));
        STEP_REQUIRE(m_script, list.Click("Claim instrument..."));
        // A new cycle starts as the claim window closes: the row shows the new owner.
        STEP_REQUIRE(
            m_script,
            WaitFor(
                [&] {
                    return list.Row(0) == QStringList({"Lab-7", strInstrument, "No", Me()});
                },
                5s));
        STEP_REQUIRE(m_script, list.Click("Close"));
    });
    m_script.On(CLAIM_WINDOW, ClaimUnder(m_script, "Lab-7", strInstrument, Me()));

    StartApplication();
    EXPECT_EQ(m_pApp->m_dwLocalIPAddress, LAB_CLIENT_ADDRESS);
    EXPECT_EQ(m_pApp->m_dwBroadcastIPAddress, LAB_BROADCAST_ADDRESS);
    EXPECT_EQ(m_boxes.Count(), 0) << "one adapter: no question";
    EXPECT_FALSE(m_pApp->InitInstance());

    EXPECT_EQ(m_script.Opened(), QStringList({MAIN_WINDOW, CLAIM_SELECTION_WINDOW, CLAIM_WINDOW}));
    ASSERT_EQ(m_boxes.Texts(), QStringList({CLAIMED}));
    EXPECT_EQ(m_boxes.Last().strCaption, CLAIM_WINDOW);
    EXPECT_EQ(m_boxes.Last().nIcon, EMessageIcon::Information);
    ExpectStored("Lab-7", "tavik-a101", LabInstrumentAddress(1));
}

// "Release Instrument" in the main window gives the claim up and forgets the configuration.
TEST_F(EndToEnd, ReleaseFromMainWindow) {
    m_lab.WriteConfiguration("Lab-7", "tavik-a101", LabInstrumentAddress(1));
    m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver main(dlg);
        STEP_REQUIRE(m_script, WaitFor([&] { return main.Text(STATUS) == "Ready"; }, 5s));
        STEP_REQUIRE(m_script, main.Text(ADDRESS) == "tavik-a101 [10.77.1.11]");
        STEP_REQUIRE(m_script, main.Click(RELEASE_BUTTON));
        STEP_REQUIRE(m_script, WaitFor([&] { return main.Text(STATUS) == "Not configured"; }, 5s));
        STEP_REQUIRE(m_script, main.Text(NAME) == "{none}" && main.Text(ADDRESS) == "{none}");
        STEP_REQUIRE(m_script, main.HasEnabledButton(CLAIM_BUTTON));
        // The instrument itself no longer has an owner.
        STEP_REQUIRE(m_script, main.Click(CLAIM_BUTTON));
        STEP_REQUIRE(m_script, main.Text(STATUS) == "Not configured");
        STEP_REQUIRE(m_script, main.Click("Close"));
    });
    m_script.On(CLAIM_SELECTION_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver list(dlg);
        STEP_REQUIRE(m_script,
                     WaitFor([&] { return list.Text(LIST_STATUS) == "One instrument found"; }, 5s));
        STEP_REQUIRE(m_script, list.Row(0) == QStringList({"Lab-7", "tavik-a101 [10.77.1.11]", "No",
                                                           "{none}"}));
        STEP_REQUIRE(m_script, list.Click("Close"));
    });

    StartApplication();
    EXPECT_FALSE(m_pApp->InitInstance());

    EXPECT_EQ(m_script.Opened(), QStringList({MAIN_WINDOW, CLAIM_SELECTION_WINDOW}));
    EXPECT_EQ(m_boxes.Count(), 0) << m_boxes.Texts().join('\n').toStdString();
    ExpectStored("", "", 0);
}

// Claim, then release from the claim selection window: this computer owns the instrument, so
// the main window is asked to release it.
TEST_F(EndToEnd, ReleaseFromClaimSelection) {
    const QString strInstrument = HostAndAddress("tavik-a101", LabInstrumentAddress(1));
    m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver main(dlg);
        STEP_REQUIRE(m_script, main.Click(CLAIM_BUTTON));
        // Released while the selection window was open: nothing left to verify.
        STEP_REQUIRE(m_script, main.Text(STATUS) == "Not configured");
        STEP_REQUIRE(m_script, main.Text(NAME) == "{none}");
        STEP_REQUIRE(m_script, main.Click("Close"));
    });
    m_script.On(CLAIM_SELECTION_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver list(dlg);
        STEP_REQUIRE(m_script,
                     WaitFor([&] { return list.Text(LIST_STATUS) == "2 instruments found"; }, 5s));
        STEP_REQUIRE(m_script,
                     list.Row(1).value(0) == "Spectro-3" && list.Row(1).value(2) == "Yes");
        // The instrument in use is refused here already.
        STEP_REQUIRE(m_script, list.SelectRow(1));
        STEP_REQUIRE(m_script, list.Click("Claim instrument..."));
        STEP_REQUIRE(m_script, list.SelectRow(0));
        STEP_REQUIRE(m_script, list.Click("Claim instrument..."));
        STEP_REQUIRE(m_script, m_pApp->m_nConnectionState == CONNECTION_READY);
        STEP_REQUIRE(m_script, WaitFor([&] { return list.Row(0).value(3) == Me(); }, 5s));
        STEP_REQUIRE(m_script, list.SelectRow(0));
        STEP_REQUIRE(m_script, list.Click("Release instrument"));
        STEP_REQUIRE(
            m_script,
            WaitFor([&] { return m_pApp->m_nConnectionState == CONNECTION_NOT_CONFIGURED; }, 5s));
        STEP_REQUIRE(m_script, m_pApp->m_strInstrumentName.isEmpty());
        // The next cycles show the instrument without an owner.
        STEP_REQUIRE(m_script, WaitFor([&] { return list.Row(0).value(3) == "{none}"; }, 8s));
        STEP_REQUIRE(m_script, list.Row(0).value(0) == "Lab-7");
        STEP_REQUIRE(m_script, list.Click("Close"));
    });
    m_script.On(CLAIM_WINDOW, ClaimUnder(m_script, "Lab-7", strInstrument, Me()));

    StartApplication();
    EXPECT_FALSE(m_pApp->InitInstance());

    EXPECT_EQ(m_script.Opened(), QStringList({MAIN_WINDOW, CLAIM_SELECTION_WINDOW, CLAIM_WINDOW}));
    EXPECT_EQ(m_boxes.Texts(),
              QStringList({"The selected instrument is in use, and cannot be claimed.", CLAIMED}));
    ExpectStored("", "", 0);
}

// Renaming a free instrument makes it the configured one, held by this computer.
TEST_F(EndToEnd, Rename) {
    const QString strInstrument = HostAndAddress("tavik-b202", LabInstrumentAddress(1));
    m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver main(dlg);
        STEP_REQUIRE(m_script, main.Text(STATUS) == "Not configured");
        STEP_REQUIRE(m_script, main.Click("Rename an Instrument..."));
        STEP_REQUIRE(m_script, WaitFor([&] { return main.Text(STATUS) == "Ready"; }, 5s));
        STEP_REQUIRE(m_script, main.Text(NAME) == "Bench-9");
        STEP_REQUIRE(m_script, main.Text(ADDRESS) == strInstrument);
        STEP_REQUIRE(m_script, main.Click("Close"));
    });
    m_script.On(RENAME_SELECTION_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver list(dlg);
        STEP_REQUIRE(m_script,
                     WaitFor([&] { return list.Text(LIST_STATUS) == "One instrument found"; }, 5s));
        // One instrument listed: the action takes it without a selection.
        STEP_REQUIRE(m_script, list.Click("Rename instrument..."));
        STEP_REQUIRE(
            m_script,
            WaitFor(
                [&] {
                    return list.Row(0) == QStringList({"Bench-9", strInstrument, "No", Me()});
                },
                5s));
        STEP_REQUIRE(m_script, list.Click("Close"));
    });
    m_script.On(RENAME_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver rename(dlg);
        STEP_REQUIRE(m_script, rename.Text(NAME) == "Bench-2");
        STEP_REQUIRE(m_script, rename.Text(ADDRESS) == strInstrument);
        STEP_REQUIRE(m_script, rename.Type("New instrument name", "Bench-9"));
        STEP_REQUIRE(m_script, rename.Click("Rename"));
        STEP_REQUIRE(m_script, WaitFor([&] { return !dlg.isVisible(); }, 5s));
    });

    StartApplication();
    EXPECT_FALSE(m_pApp->InitInstance());

    EXPECT_EQ(m_script.Opened(),
              QStringList({MAIN_WINDOW, RENAME_SELECTION_WINDOW, RENAME_WINDOW}));
    ASSERT_EQ(m_boxes.Texts(),
              QStringList({"You have renamed the instrument, and are the current owner."}));
    EXPECT_EQ(m_boxes.Last().strCaption, RENAME_WINDOW);
    ExpectStored("Bench-9", "tavik-b202", LabInstrumentAddress(1));
}

// The configured instrument moves to another address: verification fails, and the repair finds
// it by its name with a broadcast.
TEST_F(EndToEnd, RepairAfterMove) {
    VerifyDiscoverAndRepairAfterAMove();
}

// The same over an adapter with a /32 address, whose directed broadcast address is its own.
TEST_F(EndToEnd, PointToPointAdapter) {
    VerifyDiscoverAndRepairAfterAMove();
}

// At start the configured instrument answers but another client holds it; a claim is refused.
TEST_F(EndToEnd, ClaimedByAnotherClient) {
    const QString strOwner = QStringLiteral("Claimed by lab-pc-7 [10.77.1.77]");
    m_lab.WriteConfiguration("Bench-2", "tavik-b202", LabInstrumentAddress(1));
    m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver main(dlg);
        STEP_REQUIRE(m_script, WaitFor([&] { return main.Text(STATUS) == strOwner; }, 5s));
        STEP_REQUIRE(m_script, main.HasEnabledButton(CLAIM_BUTTON));
        STEP_REQUIRE(m_script, !main.HasEnabledButton("Repair Connection"));
        STEP_REQUIRE(m_script, main.Click(CLAIM_BUTTON));
        STEP_REQUIRE(m_script, WaitFor([&] { return main.Text(STATUS) == strOwner; }, 5s));
        STEP_REQUIRE(m_script, main.Click("Close"));
    });
    m_script.On(CLAIM_SELECTION_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver list(dlg);
        STEP_REQUIRE(m_script,
                     WaitFor([&] { return list.Text(LIST_STATUS) == "One instrument found"; }, 5s));
        STEP_REQUIRE(m_script, list.SelectRow(0));
        STEP_REQUIRE(m_script, list.Click("Claim instrument..."));
        STEP_REQUIRE(m_script, list.Click("Close"));
    });
    m_script.On(CLAIM_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver claim(dlg);
        // A named instrument is claimed under its name.
        STEP_REQUIRE(m_script, claim.Text(NAME) == "Bench-2");
        STEP_REQUIRE(m_script, claim.Edit(NAME) != nullptr && !claim.Edit(NAME)->isEnabled());
        STEP_REQUIRE(m_script, claim.Click("Claim"));
        STEP_REQUIRE(m_script, WaitFor([&] { return !dlg.isVisible(); }, 5s));
    });

    StartApplication();
    EXPECT_FALSE(m_pApp->InitInstance());

    EXPECT_EQ(m_boxes.Texts(), QStringList({"The instrument is no longer available."}));
    EXPECT_EQ(m_pApp->m_strClaimOwnerName, "lab-pc-7");
    ExpectStored("Bench-2", "tavik-b202", LabInstrumentAddress(1));
}

// An instrument that falls silent leaves the list at the first collection end after its
// silence, and comes back once it answers again.
TEST_F(EndToEnd, SilencedInstrumentLeavesList) {
    OpenClaimSelectionThenClose();
    m_script.On(CLAIM_SELECTION_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver list(dlg);
        const auto status = [&] { return list.Text(LIST_STATUS); };
        // Right after the first collection end (1015 ms after opening).
        STEP_REQUIRE(m_script, WaitFor([&] { return status() == "2 instruments found"; }, 5s));
        QElapsedTimer elapsed;
        elapsed.start();
        STEP_REQUIRE(m_script, m_lab.Lab("silence", {"2"}));
        // The next collection end comes one dwell period (5015 ms) after the last; the one
        // after that would be 10 s away.
        STEP_REQUIRE(m_script, WaitFor([&] { return status() == "One instrument found"; }, 12s));
        const qint64 nSilentFor = elapsed.elapsed();
        EXPECT_GT(nSilentFor, 3500) << "the rows changed between two collection ends";
        EXPECT_LT(nSilentFor, 8500) << "the instrument stayed listed past the first collection end";
        STEP_REQUIRE(m_script, list.RowCount() == 1 && list.Row(0).value(0) == "Alpha");

        STEP_REQUIRE(m_script, m_lab.Lab("revive", {"2"}));
        STEP_REQUIRE(m_script, WaitFor([&] { return status() == "2 instruments found"; }, 8500ms));
        STEP_REQUIRE(m_script, list.Row(1).value(0) == "Beta");
        STEP_REQUIRE(m_script, list.Click("Close"));
    });

    StartApplication();
    EXPECT_FALSE(m_pApp->InitInstance());
    EXPECT_EQ(m_boxes.Count(), 0);
    ExpectStored("", "", 0);
}

// A whole segment of instruments, all answering each discovery request in one burst: every one
// of them is listed at each of the first three collection ends, as root (whose link forces its
// socket buffer past the kernel's limit) and as an ordinary user (who gets what the limit gives).
class EndToEndFarm : public EndToEnd {
protected:
    void ExpectTheFarmListedAtThreeCollectionEnds() {
        constexpr int nFarm = 2000;
        OpenClaimSelectionThenClose();
        m_script.On(CLAIM_SELECTION_WINDOW, [&](CDialog& dlg) {
            const CWindowDriver list(dlg);
            const auto& selection = static_cast<const CInstrumentSelectionDialog&>(dlg);
            // Waited for in an event loop that sleeps only in its wait for events, as the
            // window's own modal loop does: WaitFor sleeps between its looks and would slow the
            // intake.
            for (int nEnd = 1; nEnd <= 3; ++nEnd) {
                STEP_REQUIRE(m_script,
                             WaitInEventLoop([&] { return selection.IsCollecting(); }, 7s));
                STEP_REQUIRE(m_script,
                             WaitInEventLoop([&] { return !selection.IsCollecting(); }, 3s));
                std::cout << "collection end " << nEnd << ": "
                          << list.Text(LIST_STATUS).toStdString() << ", " << list.RowCount()
                          << " rows" << std::endl;
                EXPECT_EQ(list.Text(LIST_STATUS),
                          QStringLiteral("%1 instruments found").arg(nFarm));
                EXPECT_EQ(list.RowCount(), nFarm);
            }
            // Sorted by address, first to last.
            EXPECT_EQ(list.Row(0).value(1), HostAndAddress("tavik-f1", LAB_FARM_FIRST_ADDRESS));
            EXPECT_EQ(list.Row(nFarm - 1).value(0), QStringLiteral("Farm-%1").arg(nFarm));
            EXPECT_EQ(list.Row(nFarm - 1).value(1),
                      HostAndAddress(QStringLiteral("tavik-f%1").arg(nFarm),
                                     LAB_FARM_FIRST_ADDRESS + nFarm - 1));
            STEP_REQUIRE(m_script, list.Click("Close"));
        });

        StartApplication();
        EXPECT_FALSE(m_pApp->InitInstance());
        EXPECT_EQ(m_boxes.Count(), 0);
    }
};

TEST_F(EndToEndFarm, ClaimSelectionListsAFarm) {
    ExpectTheFarmListedAtThreeCollectionEnds();
}

// run-case runs this one as nobody (its lab line says --user).
TEST_F(EndToEndFarm, ClaimSelectionListsAFarmAsAnOrdinaryUser) {
    ASSERT_NE(::geteuid(), 0u) << "meant to run without privileges";
    ExpectTheFarmListedAtThreeCollectionEnds();
}

// Two Ethernet adapters in the client: the user is asked about the first, and the answer
// decides which segment the program works on.
class EndToEndSelectAdapter : public EndToEnd {
protected:
    void Run(int nAnswer, std::uint32_t dwLocal, std::uint32_t dwBroadcast,
             const QStringList& listRow) {
        OpenClaimSelectionThenClose();
        m_script.On(CLAIM_SELECTION_WINDOW, [&](CDialog& dlg) {
            const CWindowDriver list(dlg);
            // Only the instrument on the chosen adapter's segment answers.
            STEP_REQUIRE(
                m_script,
                WaitFor([&] { return list.Text(LIST_STATUS) == "One instrument found"; }, 5s));
            STEP_REQUIRE(m_script, list.Row(0) == listRow);
            STEP_REQUIRE(m_script, list.Click("Close"));
        });

        m_boxes.QueueAnswers({nAnswer});
        StartApplication();
        ASSERT_EQ(m_boxes.Count(), 1);
        const SMessageBox question = m_boxes.Last();
        EXPECT_EQ(question.strCaption, "Select Adapter");
        EXPECT_TRUE(question.strText.startsWith(
            "Multiple Ethernet adapters have been detected ...\nDo you want to use eth0"))
            << question.strText.toStdString();
        EXPECT_TRUE(question.strText.endsWith("?\n"));
        EXPECT_EQ(question.nIcon, EMessageIcon::Question);
        EXPECT_EQ(question.nButtons, EMessageButtons::YesNo);
        EXPECT_EQ(question.pOwner, nullptr);
        EXPECT_EQ(m_pApp->m_dwLocalIPAddress, dwLocal);
        EXPECT_EQ(m_pApp->m_dwBroadcastIPAddress, dwBroadcast);

        EXPECT_FALSE(m_pApp->InitInstance());
        EXPECT_EQ(m_boxes.Count(), 1);
    }
};

TEST_F(EndToEndSelectAdapter, SelectAdapterYes) {
    Run(IDYES, LAB_CLIENT_ADDRESS, LAB_BROADCAST_ADDRESS,
        {"Alpha", "tavik-a101 [10.77.1.11]", "No", "{none}"});
}

TEST_F(EndToEndSelectAdapter, SelectAdapterNo) {
    Run(IDNO, LAB_SECOND_CLIENT_ADDRESS, LAB_SECOND_BROADCAST_ADDRESS,
        {"Beta", "tavik-e505 [10.78.1.20]", "No", "{none}"});
}
