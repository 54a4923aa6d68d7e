// The roads users take through the whole application, on loopback against the simulator: the
// application's start, its real windows driven as a user would, and what it saves at exit.
#include "app/ConfigurationStore.h"
#include "app/MolvarInstrumentConnectionApplication.h"
#include "link/Messages.h"
#include "platform/window/Dialog.h"
#include "tests/support/LoopbackApplication.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowDriver.h"
#include "tests/support/WindowScript.h"
#include "tests/support/WindowTitles.h"

#include <QSettings>
#include <QStringList>
#include <chrono>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

static void PrintTo(const QString& str, std::ostream* pStream) {
    *pStream << '"' << str.toStdString() << '"';
}

namespace {

const QString FREE_INSTRUMENT = QStringLiteral("tavik-a101 [127.0.0.2]");
const QString OTHERS_INSTRUMENT = QStringLiteral("tavik-b202 [127.0.0.3]");

// An unnamed free instrument at 127.0.0.2 and one another computer holds at 127.0.0.3.
std::vector<SSimulatedInstrument> TwoInstruments() {
    SSimulatedInstrument held = LoopbackInstrument(1, "Bench-2", "tavik-b202");
    held.bClaimed = 1;
    held.strOwnerHostName = "lab-pc-7";
    held.dwOwnerAddress = 0x0A4D014D; // 10.77.1.77
    return {LoopbackInstrument(0, "", "tavik-a101"), held};
}

class UserRoads : public ::testing::Test {
protected:
    UserRoads() : m_lab(TwoInstruments()) {}

    QString Me() const { return App().m_strLocalHostName + " [127.0.0.1]"; }
    CMolvarInstrumentConnectionApplication& App() const { return m_lab.App(); }

    // Every key the application writes holds this configuration.
    static void ExpectSaved(const QString& strName, const QString& strHostName,
                            std::uint32_t dwAddress) {
        for (const SSettingsKey& key : CConfigurationStore::SAVED_KEYS) {
            SCOPED_TRACE(key.pszKeyName);
            QSettings settings(CConfigurationStore::FileName(key), QSettings::NativeFormat);
            EXPECT_EQ(settings.value(CConfigurationStore::VALUE_INSTRUMENT_NAME).toString(),
                      strName);
            EXPECT_EQ(settings.value(CConfigurationStore::VALUE_INSTRUMENT_HOST_NAME).toString(),
                      strHostName);
            EXPECT_EQ(settings.value(CConfigurationStore::VALUE_INSTRUMENT_IP_ADDRESS).toUInt(),
                      dwAddress);
        }
    }

    // The claim window's part: the instrument shown, a name typed key by key, "Claim".
    std::function<void(CDialog&)> ClaimUnder(const QString& strName) {
        return [this, strName](CDialog& dlg) {
            const CWindowDriver claim(dlg);
            STEP_REQUIRE(m_script, claim.Text("Instrument address") == FREE_INSTRUMENT);
            STEP_REQUIRE(m_script, claim.Text("Owner name") == Me());
            STEP_REQUIRE(m_script, claim.Type("Instrument name", strName));
            STEP_REQUIRE(m_script, claim.Click("Claim"));
            STEP_REQUIRE(m_script, WaitFor([&] { return !dlg.isVisible(); }, 5s));
        };
    }

    mutable CLoopbackApplication m_lab;
    CMessageBoxRecorder m_boxes;
    CWindowScript m_script{std::chrono::seconds(60)};
};

} // namespace

// Discover, choose, claim under a typed name, close, verify to "Ready", save.
TEST_F(UserRoads, ClaimAnUnnamedInstrumentUpToReady) {
    m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver main(dlg);
        STEP_REQUIRE(m_script, main.Text("Connection status") == "Not configured");
        STEP_REQUIRE(m_script, main.Click("Claim an Instrument..."));
        // Closing the selection window starts a verification of the new configuration.
        STEP_REQUIRE(m_script, WaitFor([&] { return main.Text("Connection status") == "Ready"; }));
        STEP_REQUIRE(m_script, main.Text("Instrument name") == "Lab-7");
        STEP_REQUIRE(m_script, main.Text("Instrument address") == FREE_INSTRUMENT);
        STEP_REQUIRE(m_script, main.HasEnabledButton("Release Instrument"));
        STEP_REQUIRE(m_script, main.Click("Close"));
    });
    m_script.On(CLAIM_SELECTION_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver list(dlg);
        STEP_REQUIRE(m_script,
                     WaitFor([&] { return list.Text("Status") == "2 instruments found"; }));
        STEP_REQUIRE(m_script,
                     list.Row(0) == QStringList({"Unnamed", FREE_INSTRUMENT, "No", "{none}"}));
        STEP_REQUIRE(m_script, list.Row(1) == QStringList({"Bench-2", OTHERS_INSTRUMENT, "No",
                                                           "lab-pc-7 [10.77.1.77]"}));
        STEP_REQUIRE(m_script, list.SelectRow(0));
        STEP_REQUIRE(m_script, list.Click("Claim instrument..."));
        // The cycle after the claim window shows the new name and owner.
        STEP_REQUIRE(m_script, WaitFor([&] {
                         return list.Row(0) == QStringList({"Lab-7", FREE_INSTRUMENT, "No", Me()});
                     }));
        STEP_REQUIRE(m_script, list.Click("Close"));
    });
    m_script.On(CLAIM_WINDOW, ClaimUnder("Lab-7"));

    EXPECT_FALSE(App().InitInstance());

    EXPECT_EQ(m_script.Opened(), QStringList({MAIN_WINDOW, CLAIM_SELECTION_WINDOW, CLAIM_WINDOW}));
    ASSERT_EQ(m_boxes.Texts(), QStringList({"You have claimed the instrument."}));
    EXPECT_EQ(m_boxes.Last().strCaption, CLAIM_WINDOW);
    EXPECT_EQ(App().m_nConnectionState, CONNECTION_READY);
    ExpectSaved("Lab-7", "tavik-a101", CLoopbackApplication::InstrumentAddress(0));
}

// Claim, then release from the claim selection window: the ownership test passes, the main window
// releases, and nothing is left configured.
TEST_F(UserRoads, ReleaseFromTheClaimSelectionWindow) {
    m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver main(dlg);
        STEP_REQUIRE(m_script, main.Click("Claim an Instrument..."));
        STEP_REQUIRE(m_script, main.Text("Connection status") == "Not configured");
        STEP_REQUIRE(m_script, main.Click("Close"));
    });
    m_script.On(CLAIM_SELECTION_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver list(dlg);
        STEP_REQUIRE(m_script,
                     WaitFor([&] { return list.Text("Status") == "2 instruments found"; }));
        // Another computer's instrument is not this computer's to release.
        STEP_REQUIRE(m_script, list.SelectRow(1));
        STEP_REQUIRE(m_script, list.Click("Release instrument"));
        STEP_REQUIRE(m_script, m_boxes.Count() == 1);
        STEP_REQUIRE(m_script, list.SelectRow(0));
        STEP_REQUIRE(m_script, list.Click("Claim instrument..."));
        STEP_REQUIRE(m_script, App().m_nConnectionState == CONNECTION_READY);
        STEP_REQUIRE(m_script, WaitFor([&] { return list.Row(0).value(3) == Me(); }));
        STEP_REQUIRE(m_script, list.SelectRow(0));
        STEP_REQUIRE(m_script, list.Click("Release instrument"));
        STEP_REQUIRE(m_script, WaitFor([&] {
                         return App().m_nConnectionState == CONNECTION_NOT_CONFIGURED;
                     }));
        // The release ends in a refresh: the next collection shows the instrument unowned.
        STEP_REQUIRE(m_script, WaitFor([&] { return list.Row(0).value(3) == "{none}"; }, 8s));
        STEP_REQUIRE(m_script, list.Row(0).value(0) == "Lab-7");
        STEP_REQUIRE(m_script, list.Click("Close"));
    });
    m_script.On(CLAIM_WINDOW, ClaimUnder("Lab-7"));

    EXPECT_FALSE(App().InitInstance());

    EXPECT_EQ(m_script.Opened(), QStringList({MAIN_WINDOW, CLAIM_SELECTION_WINDOW, CLAIM_WINDOW}));
    ASSERT_EQ(m_boxes.Count(), 2);
    EXPECT_EQ(m_boxes.Texts().value(1), "You have claimed the instrument.");
    EXPECT_EQ(m_lab.Simulator().CountRequests(MSG_RELEASE), 1u) << "only this computer's";
    ExpectSaved("", "", 0);
}

// Renaming a free instrument makes it the configured one, held by this computer.
TEST_F(UserRoads, RenameAFreeInstrument) {
    m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver main(dlg);
        STEP_REQUIRE(m_script, main.Click("Rename an Instrument..."));
        STEP_REQUIRE(m_script, WaitFor([&] { return main.Text("Connection status") == "Ready"; }));
        STEP_REQUIRE(m_script, main.Text("Instrument name") == "Bench-9");
        STEP_REQUIRE(m_script, main.Click("Close"));
    });
    m_script.On(RENAME_SELECTION_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver list(dlg);
        STEP_REQUIRE(m_script,
                     WaitFor([&] { return list.Text("Status") == "2 instruments found"; }));
        STEP_REQUIRE(m_script, list.SelectRow(0));
        STEP_REQUIRE(m_script, list.Click("Rename instrument..."));
        STEP_REQUIRE(m_script, WaitFor([&] { return list.Row(0).value(0) == "Bench-9"; }));
        STEP_REQUIRE(m_script, list.Click("Close"));
    });
    m_script.On(RENAME_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver rename(dlg);
        STEP_REQUIRE(m_script, rename.Text("Instrument address") == FREE_INSTRUMENT);
        STEP_REQUIRE(m_script, rename.Type("New instrument name", "Bench-9"));
        STEP_REQUIRE(m_script, rename.Click("Rename"));
        STEP_REQUIRE(m_script, WaitFor([&] { return !dlg.isVisible(); }, 5s));
    });

    EXPECT_FALSE(App().InitInstance());

    EXPECT_EQ(m_script.Opened(),
              QStringList({MAIN_WINDOW, RENAME_SELECTION_WINDOW, RENAME_WINDOW}));
    ASSERT_EQ(m_boxes.Texts(),
              QStringList({"You have renamed the instrument, and are the current owner."}));
    ExpectSaved("Bench-9", "tavik-a101", CLoopbackApplication::InstrumentAddress(0));
}
