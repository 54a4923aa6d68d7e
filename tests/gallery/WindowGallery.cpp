// tavik-window-gallery: pictures of every window of the program in its typical states, for
// looking at layout, truncated texts, column widths, focus and the default button. The real
// application and windows run against the instrument simulator on loopback (ports of their
// own), driven like the end-to-end cases; each picture is the window's own rendering.
//
//   tavik-window-gallery --output DIR [gtest options]      (scripts/screenshots runs it)
//
// Besides one PNG per state, DIR/windows.txt lists for each picture the window's title and
// size, the control that has the focus, the default button and the tab order.
#include "app/MolvarInstrumentConnectionApplication.h"
#include "platform/window/Dialog.h"
#include "platform/window/MessageBox.h"
#include "tests/support/LoopbackApplication.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/TestSettingsHome.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowDriver.h"
#include "tests/support/WindowScript.h"
#include "tests/support/WindowTitles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

QString g_strOutput;

const QString STATUS = QStringLiteral("Connection status");
const QString LIST_STATUS = QStringLiteral("Status");

std::string LocalHostName() {
    char szName[64] = {};
    ::gethostname(szName, sizeof szName - 1);
    return szName;
}

QString Describe(const QWidget* pWidget) {
    if (pWidget == nullptr) {
        return QStringLiteral("(none)");
    }
    QString strName = pWidget->accessibleName();
    if (const auto* pButton = qobject_cast<const QAbstractButton*>(pWidget)) {
        strName = pButton->text();
    }
    return QStringLiteral("%1 \"%2\"")
        .arg(QString::fromLatin1(pWidget->metaObject()->className()), strName);
}

// The window's own picture and what a reviewer cannot see in it.
bool Shot(QWidget& window, const QString& strName) {
    ProcessEventsFor(150ms); // layout and paint settle
    if (!window.grab().save(QDir(g_strOutput).filePath(strName + QStringLiteral(".png")))) {
        ADD_FAILURE() << "could not save " << strName.toStdString();
        return false;
    }
    QStringList listTabOrder;
    QWidget* pFirst = window.nextInFocusChain();
    for (QWidget* pWidget = pFirst; pWidget != nullptr && pWidget != &window;
         pWidget = pWidget->nextInFocusChain()) {
        if (window.isAncestorOf(pWidget) && pWidget->isVisibleTo(&window) &&
            (pWidget->focusPolicy() & Qt::TabFocus) != 0) {
            listTabOrder << Describe(pWidget) + (pWidget->isEnabled() ? "" : " (disabled)");
        }
        if (pWidget->nextInFocusChain() == pFirst) {
            break;
        }
    }
    QStringList listDefaults;
    for (const QPushButton* pButton : window.findChildren<QPushButton*>()) {
        if (pButton->isDefault()) {
            listDefaults << Describe(pButton);
        }
    }
    QFile report(QDir(g_strOutput).filePath(QStringLiteral("windows.txt")));
    if (!report.open(QIODevice::Append | QIODevice::Text)) {
        return false;
    }
    QTextStream out(&report);
    out << strName << ".png: \"" << window.windowTitle() << "\" " << window.width() << "x"
        << window.height() << "\n  focus: " << Describe(QApplication::focusWidget())
        << "\n  default button: " << (listDefaults.isEmpty() ? "(none)" : listDefaults.join(", "))
        << "\n  tab order: " << listTabOrder.join(", ") << "\n";
    return true;
}

class Gallery : public ::testing::Test {
protected:
    // A configured instrument, stored before the application starts.
    static SLoopbackOptions Instruments(std::vector<SSimulatedInstrument> listInstruments) {
        SLoopbackOptions options;
        options.listInstruments = std::move(listInstruments);
        return options;
    }

    static SSimulatedInstrument Instrument(std::size_t nIndex, const std::string& strName,
                                           const std::string& strHost, std::uint8_t bClaimed = 0,
                                           const std::string& strOwner = {},
                                           std::uint32_t dwOwner = 0, std::uint8_t bInUse = 0) {
        SSimulatedInstrument instrument = LoopbackInstrument(nIndex, strName, strHost);
        instrument.bClaimed = bClaimed;
        instrument.strOwnerHostName = strOwner;
        instrument.dwOwnerAddress = dwOwner;
        instrument.bInUse = bInUse;
        return instrument;
    }

    // Runs the main window with a configured instrument until it shows the status, then takes
    // its picture.
    void MainWindowState(SLoopbackOptions options, std::uint32_t dwConfigured,
                         const QString& strStatus, const QString& strName) {
        CLoopbackApplication lab(std::move(options));
        lab.StoreConfiguration(
            {QStringLiteral("Lab-7"), QStringLiteral("tavik-a101"), dwConfigured});
        m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
            const CWindowDriver main(dlg);
            STEP_REQUIRE(m_script, WaitFor([&] { return main.Text(STATUS) == strStatus; }, 5s));
            STEP_REQUIRE(m_script, Shot(dlg, strName));
            STEP_REQUIRE(m_script, main.Click("Close"));
        });
        lab.App().InitInstance();
    }

    CMessageBoxRecorder m_boxes;
    CWindowScript m_script;
};

TEST_F(Gallery, MainWindowNotConfigured) {
    CLoopbackApplication lab;
    m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver main(dlg);
        STEP_REQUIRE(m_script, main.Text(STATUS) == "Not configured");
        STEP_REQUIRE(m_script, Shot(dlg, "01-main-not-configured"));
        STEP_REQUIRE(m_script, main.Click("Close"));
    });
    lab.App().InitInstance();
}

TEST_F(Gallery, MainWindowVerifying) {
    SLoopbackOptions options = Instruments({Instrument(0, "Lab-7", "tavik-a101")});
    options.simulator.delay = 3s; // the reply comes after the picture
    MainWindowState(std::move(options), CLoopbackApplication::InstrumentAddress(0),
                    "Verifying current configuration...", "02-main-verifying");
}

TEST_F(Gallery, MainWindowReady) {
    MainWindowState(
        Instruments({Instrument(0, "Lab-7", "tavik-a101", 1, LocalHostName(), LOOPBACK_ADDRESS)}),
        CLoopbackApplication::InstrumentAddress(0), "Ready", "03-main-ready");
}

TEST_F(Gallery, MainWindowNotReady) {
    // The configured instrument does not answer.
    SLoopbackOptions options = Instruments({Instrument(0, "Lab-7", "tavik-a101")});
    options.simulator.bMute = true;
    MainWindowState(std::move(options), CLoopbackApplication::InstrumentAddress(0), "Not ready",
                    "04-main-not-ready");
}

TEST_F(Gallery, MainWindowNotClaimed) {
    MainWindowState(Instruments({Instrument(0, "Lab-7", "tavik-a101")}),
                    CLoopbackApplication::InstrumentAddress(0), "Not claimed",
                    "05-main-not-claimed");
}

TEST_F(Gallery, MainWindowClaimedByAnother) {
    MainWindowState(Instruments({Instrument(0, "Lab-7", "tavik-a101", 1, "lab-pc-7", 0x0A4D014D)}),
                    CLoopbackApplication::InstrumentAddress(0), "Claimed by lab-pc-7 [10.77.1.77]",
                    "06-main-claimed-by-another");
}

// Both selection windows with rows, the claim window for an unnamed and a named instrument, and
// the rename window.
TEST_F(Gallery, WindowsWithInstruments) {
    CLoopbackApplication lab(
        Instruments({Instrument(0, "", "tavik-a101"),
                     Instrument(1, "Bench-2", "tavik-b202", 1, "lab-pc-7", 0x0A4D014D),
                     Instrument(2, "Spectro-3", "tavik-c303", 1, "lab-pc-9", 0x0A4D014F, 1)}));
    m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver main(dlg);
        STEP_REQUIRE(m_script, main.Click("Claim an Instrument..."));
        STEP_REQUIRE(m_script, main.Click("Rename an Instrument..."));
        STEP_REQUIRE(m_script, main.Click("Close"));
    });
    int nClaimWindows = 0;
    m_script.On(CLAIM_SELECTION_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver list(dlg);
        STEP_REQUIRE(m_script, Shot(dlg, "07-claim-selection-checking"));
        STEP_REQUIRE(m_script,
                     WaitFor([&] { return list.Text(LIST_STATUS) == "3 instruments found"; }, 5s));
        STEP_REQUIRE(m_script, list.SelectRow(0));
        STEP_REQUIRE(m_script, Shot(dlg, "09-claim-selection-rows"));
        STEP_REQUIRE(m_script, list.Click("Claim instrument..."));
        STEP_REQUIRE(m_script, list.SelectRow(1));
        STEP_REQUIRE(m_script, list.Click("Claim instrument..."));
        STEP_REQUIRE(m_script, list.Click("Close"));
    });
    m_script.On(CLAIM_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver claim(dlg);
        if (nClaimWindows++ == 0) {
            STEP_REQUIRE(m_script, Shot(dlg, "10-claim-window-unnamed"));
            STEP_REQUIRE(m_script, claim.Type("Instrument name", "Lab-7"));
            STEP_REQUIRE(m_script, Shot(dlg, "11-claim-window-typed"));
        } else {
            STEP_REQUIRE(m_script, Shot(dlg, "12-claim-window-named"));
        }
        STEP_REQUIRE(m_script, claim.Click("Cancel"));
    });
    m_script.On(RENAME_SELECTION_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver list(dlg);
        STEP_REQUIRE(m_script,
                     WaitFor([&] { return list.Text(LIST_STATUS) == "3 instruments found"; }, 5s));
        STEP_REQUIRE(m_script, list.SelectRow(1));
        STEP_REQUIRE(m_script, Shot(dlg, "14-rename-selection-rows"));
        STEP_REQUIRE(m_script, list.Click("Rename instrument..."));
        STEP_REQUIRE(m_script, list.Click("Close"));
    });
    m_script.On(RENAME_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver rename(dlg);
        STEP_REQUIRE(m_script, rename.Type("New instrument name", "Bench-9"));
        STEP_REQUIRE(m_script, Shot(dlg, "15-rename-window"));
        STEP_REQUIRE(m_script, rename.Click("Cancel"));
    });
    lab.App().InitInstance();
    EXPECT_EQ(nClaimWindows, 2);
    EXPECT_EQ(m_boxes.Count(), 0);
}

TEST_F(Gallery, SelectionWindowsWithoutInstruments) {
    CLoopbackApplication lab;
    m_script.On(MAIN_WINDOW, [&](CDialog& dlg) {
        const CWindowDriver main(dlg);
        STEP_REQUIRE(m_script, main.Click("Claim an Instrument..."));
        STEP_REQUIRE(m_script, main.Click("Rename an Instrument..."));
        STEP_REQUIRE(m_script, main.Click("Close"));
    });
    for (const auto& [strTitle, strName] :
         {std::pair{CLAIM_SELECTION_WINDOW, QStringLiteral("08-claim-selection-none")},
          std::pair{RENAME_SELECTION_WINDOW, QStringLiteral("13-rename-selection-none")}}) {
        m_script.On(strTitle, [&, strName = strName](CDialog& dlg) {
            const CWindowDriver list(dlg);
            STEP_REQUIRE(
                m_script,
                WaitFor([&] { return list.Text(LIST_STATUS) == "No instruments found"; }, 5s));
            STEP_REQUIRE(m_script, Shot(dlg, strName));
            STEP_REQUIRE(m_script, list.Click("Close"));
        });
    }
    lab.App().InitInstance();
}

// The message boxes as the program shows them (no recorder here).
TEST(GalleryBoxes, MessageBoxes) {
    struct SBox {
        QString strName, strText, strCaption;
        EMessageIcon nIcon;
        EMessageButtons nButtons;
    };
    const SBox aBoxes[] = {
        {"16-box-information", "You have claimed the instrument.", CLAIM_WINDOW,
         EMessageIcon::Information, EMessageButtons::Ok},
        {"17-box-exclamation",
         "The selected instrument is owned by another client, and can only be released by its "
         "owner.",
         "Available Instruments", EMessageIcon::Exclamation, EMessageButtons::Ok},
        {"18-box-question",
         "Multiple Ethernet adapters have been detected ...\nDo you want to use eth0 (e1000e)?\n",
         "Select Adapter", EMessageIcon::Question, EMessageButtons::YesNo},
    };
    for (const SBox& box : aBoxes) {
        bool bShot = false;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (pBox != nullptr && pBox->isVisible()) {
                timer.stop();
                bShot = Shot(*pBox, box.strName);
                pBox->done(0);
            }
        });
        timer.start(50);
        ShowMessageBox(nullptr, box.strText, box.strCaption, box.nIcon, box.nButtons);
        EXPECT_TRUE(bShot) << box.strName.toStdString();
    }
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    const QStringList listArguments = QApplication::arguments();
    const qsizetype nOutput = listArguments.indexOf(QStringLiteral("--output"));
    if (nOutput < 0 || nOutput + 1 >= listArguments.size()) {
        fprintf(stderr, "usage: tavik-window-gallery --output DIR [gtest options]\n");
        return 2;
    }
    g_strOutput = listArguments[nOutput + 1];
    if (!QDir().mkpath(g_strOutput)) {
        fprintf(stderr, "cannot create %s\n", qPrintable(g_strOutput));
        return 2;
    }
    QFile::remove(QDir(g_strOutput).filePath(QStringLiteral("windows.txt")));
    // Settings never reach the user's configuration.
    const QTemporaryDir settingsHome;
    CTestSettingsHome::SetProcessHome(settingsHome.path());
    return RUN_ALL_TESTS();
}
