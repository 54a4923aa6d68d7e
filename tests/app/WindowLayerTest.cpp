// The window layer: modal runs, window timers, posted window messages, keys and message boxes.
#include "platform/window/Dialog.h"
#include "platform/window/MessageBox.h"
#include "platform/window/WinApp.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/ModalRunHook.h"
#include "tests/support/Wait.h"
#include "ui/WindowNotifyTarget.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct STimerEvent {
    unsigned nIDEvent;
    Clock::time_point time;
};

struct SMessage {
    unsigned nMessage;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    bool bOnWindowThread;
};

// A window that records what the layer does to it.
class CProbeDialog : public CDialog {
public:
    CProbeDialog() {
        auto* pLayout = new QVBoxLayout(this);
        m_pFirstEdit = new QLineEdit(this);
        m_pSecondEdit = new QLineEdit(this);
        m_pDefaultButton = new QPushButton(QStringLiteral("Go"), this);
        m_pOtherButton = new QPushButton(QStringLiteral("Other"), this);
        m_pDefaultButton->setAutoDefault(false);
        m_pOtherButton->setAutoDefault(false);
        pLayout->addWidget(m_pFirstEdit);
        pLayout->addWidget(m_pSecondEdit);
        pLayout->addWidget(m_pDefaultButton);
        pLayout->addWidget(m_pOtherButton);
        connect(m_pDefaultButton, &QPushButton::clicked, this, [this] { ++m_nDefaultClicks; });
        connect(m_pOtherButton, &QPushButton::clicked, this, [this] { ++m_nOtherClicks; });
    }

    std::vector<STimerEvent> m_listTimerEvents;
    std::vector<SMessage> m_listMessages;
    std::vector<std::string> m_listCalls;
    bool m_bVisibleInInit = true;
    bool m_bFocusSecondEdit = false;
    bool m_bEndInInit = false;
    bool m_bCancelEnds = true;
    unsigned m_nKillAtFirstEvent = 0;
    int m_nDefaultClicks = 0;
    int m_nOtherClicks = 0;
    HWND m_hWndInInit = 0;
    bool m_bTimersRunningInDestroy = false;
    QLineEdit* m_pFirstEdit;
    QLineEdit* m_pSecondEdit;
    QPushButton* m_pDefaultButton;
    QPushButton* m_pOtherButton;

protected:
    bool OnInitDialog() override {
        m_listCalls.push_back("init");
        m_bVisibleInInit = isVisible();
        m_hWndInInit = GetSafeHwnd();
        if (m_bEndInInit) {
            EndDialog(42);
        }
        if (m_bFocusSecondEdit) {
            m_pSecondEdit->setFocus();
            return false;
        }
        return true;
    }
    void OnTimer(unsigned nIDEvent) override {
        m_listTimerEvents.push_back({nIDEvent, Clock::now()});
        if (nIDEvent == m_nKillAtFirstEvent) {
            KillTimer(nIDEvent);
        }
    }
    std::intptr_t OnWindowMessage(unsigned nMessage, std::uintptr_t wParam,
                                  std::intptr_t lParam) override {
        m_listMessages.push_back(
            {nMessage, wParam, lParam, QThread::currentThread() == qApp->thread()});
        return 0;
    }
    void OnDestroy() override {
        m_listCalls.push_back("destroy");
        m_bTimersRunningInDestroy = IsTimerRunning(1);
    }
    void OnOK() override {
        m_listCalls.push_back("ok");
        CDialog::OnOK();
    }
    void OnCancel() override {
        m_listCalls.push_back("cancel");
        if (m_bCancelEnds) {
            CDialog::OnCancel();
        }
    }
};

std::size_t CountEvents(const std::vector<STimerEvent>& listEvents, unsigned nIDEvent) {
    std::size_t nCount = 0;
    for (const STimerEvent& event : listEvents) {
        nCount += event.nIDEvent == nIDEvent ? 1 : 0;
    }
    return nCount;
}

// --- Window timers -------------------------------------------------------------------------

TEST(WindowTimers, RepeatUntilKilledAndReportTheirIds) {
    CProbeDialog dlg;
    dlg.Create();
    EXPECT_EQ(dlg.SetTimer(4, 20), 4u);
    EXPECT_TRUE(dlg.IsTimerRunning(4));
    EXPECT_FALSE(dlg.IsTimerRunning(5));
    ASSERT_TRUE(WaitFor([&] { return CountEvents(dlg.m_listTimerEvents, 4) >= 3; }));

    EXPECT_TRUE(dlg.KillTimer(4));
    EXPECT_FALSE(dlg.IsTimerRunning(4));
    EXPECT_FALSE(dlg.KillTimer(4)); // no longer running
    const std::size_t nEvents = dlg.m_listTimerEvents.size();
    ProcessEventsFor(150ms);
    EXPECT_EQ(dlg.m_listTimerEvents.size(), nEvents);
    for (const STimerEvent& event : dlg.m_listTimerEvents) {
        EXPECT_EQ(event.nIDEvent, 4u);
    }
    dlg.DestroyWindow();
}

TEST(WindowTimers, EventsOfSeveralTimersComeInTimeOrderAndNeverEarly) {
    CProbeDialog dlg;
    dlg.Create();
    const Clock::time_point start = Clock::now();
    dlg.SetTimer(6, 40);
    dlg.SetTimer(5, 300);
    ASSERT_TRUE(WaitFor([&] { return CountEvents(dlg.m_listTimerEvents, 5) >= 1; }));
    dlg.DestroyWindow();

    // The short timer ran several times before the long one's first event.
    ASSERT_FALSE(dlg.m_listTimerEvents.empty());
    EXPECT_EQ(dlg.m_listTimerEvents.front().nIDEvent, 6u);
    EXPECT_GE(CountEvents(dlg.m_listTimerEvents, 6), 3u);
    Clock::time_point previous = start;
    for (const STimerEvent& event : dlg.m_listTimerEvents) {
        EXPECT_GE(event.time, previous);
        previous = event.time;
        if (event.nIDEvent == 5) {
            EXPECT_GE(event.time - start, 280ms); // precise timers: not 5 % early
        }
    }
}

TEST(WindowTimers, SecondStartOfARunningTimerRestartsItsPeriod) {
    CProbeDialog dlg;
    dlg.Create();
    dlg.SetTimer(1, 400);
    ProcessEventsFor(200ms);
    ASSERT_TRUE(dlg.m_listTimerEvents.empty());
    const Clock::time_point restart = Clock::now();
    EXPECT_EQ(dlg.SetTimer(1, 400), 1u);
    ASSERT_TRUE(WaitFor([&] { return !dlg.m_listTimerEvents.empty(); }));
    // Without the restart the event would have come about 200 ms after it.
    EXPECT_GE(dlg.m_listTimerEvents.front().time - restart, 380ms);
    dlg.DestroyWindow();
}

TEST(WindowTimers, AReplyTimerKilledAtItsFirstEventFiresOnce) {
    CProbeDialog dlg;
    dlg.m_nKillAtFirstEvent = 7;
    dlg.Create();
    dlg.SetTimer(7, 20);
    ASSERT_TRUE(WaitFor([&] { return !dlg.m_listTimerEvents.empty(); }));
    ProcessEventsFor(120ms);
    EXPECT_EQ(dlg.m_listTimerEvents.size(), 1u);
    EXPECT_FALSE(dlg.IsTimerRunning(7));
    // And it can be armed again afterwards.
    dlg.SetTimer(7, 20);
    ASSERT_TRUE(WaitFor([&] { return dlg.m_listTimerEvents.size() == 2; }));
    dlg.DestroyWindow();
}

TEST(WindowTimers, NeedAWindowAndANonZeroIdAndStopWithTheWindow) {
    CProbeDialog dlg;
    EXPECT_EQ(dlg.SetTimer(1, 20), 0u); // not created yet
    dlg.Create();
    EXPECT_EQ(dlg.SetTimer(0, 20), 0u);
    dlg.SetTimer(1, 20);
    dlg.SetTimer(2, 20);
    dlg.DestroyWindow();
    EXPECT_TRUE(dlg.m_bTimersRunningInDestroy); // OnDestroy comes first
    EXPECT_FALSE(dlg.IsTimerRunning(1));
    EXPECT_FALSE(dlg.IsTimerRunning(2));
    const std::size_t nEvents = dlg.m_listTimerEvents.size();
    ProcessEventsFor(100ms);
    EXPECT_EQ(dlg.m_listTimerEvents.size(), nEvents);
}

// --- Window messages -----------------------------------------------------------------------

TEST(WindowMessages, KeepTheirNumbersAndParametersAndOrder) {
    CProbeDialog dlg;
    dlg.Create();
    EXPECT_TRUE(dlg.PostMessage(WM_USER + 100));
    EXPECT_TRUE(dlg.PostMessage(WM_USER + 101, 7, -9));
    EXPECT_TRUE(dlg.PostMessage(WM_APP + 0x3FF));
    EXPECT_TRUE(dlg.m_listMessages.empty()); // posted, not sent
    ASSERT_TRUE(WaitFor([&] { return dlg.m_listMessages.size() == 3; }));
    EXPECT_EQ(dlg.m_listMessages[0].nMessage, 1124u);
    EXPECT_EQ(dlg.m_listMessages[1].nMessage, 1125u);
    EXPECT_EQ(dlg.m_listMessages[1].wParam, 7u);
    EXPECT_EQ(dlg.m_listMessages[1].lParam, -9);
    EXPECT_EQ(dlg.m_listMessages[2].nMessage, 33791u);
    dlg.DestroyWindow();
}

TEST(WindowMessages, PostedFromAnotherThreadArriveOnTheWindowThreadInOrder) {
    CProbeDialog dlg;
    dlg.Create();
    CDatagramNotifyTarget* pTarget = CWindowNotifyTarget::ForWindow(dlg.GetSafeHwnd());
    ASSERT_NE(pTarget, nullptr);
    EXPECT_EQ(CWindowNotifyTarget::ForWindow(dlg.GetSafeHwnd()), pTarget);
    EXPECT_EQ(CWindowNotifyTarget::ForWindow(0), nullptr);

    constexpr int COUNT = 200;
    std::thread poster([&] {
        for (int i = 0; i < COUNT; ++i) {
            PostWindowMessage(dlg.GetSafeHwnd(), WM_USER + 100, static_cast<std::uintptr_t>(i));
        }
        pTarget->PostDatagramNotification();
    });
    poster.join();
    ASSERT_TRUE(WaitFor([&] { return dlg.m_listMessages.size() == COUNT + 1; }));
    for (int i = 0; i < COUNT; ++i) {
        EXPECT_EQ(dlg.m_listMessages[i].wParam, static_cast<std::uintptr_t>(i));
        EXPECT_TRUE(dlg.m_listMessages[i].bOnWindowThread);
    }
    EXPECT_EQ(dlg.m_listMessages.back().nMessage, WM_INSTRUMENT_DATAGRAM);
    EXPECT_TRUE(dlg.m_listMessages.back().bOnWindowThread);
    dlg.DestroyWindow();
}

TEST(WindowMessages, PendingAndLaterMessagesToADestroyedWindowAreDropped) {
    CProbeDialog dlg;
    dlg.Create();
    const HWND hWnd = dlg.GetSafeHwnd();
    CDatagramNotifyTarget* pTarget = CWindowNotifyTarget::ForWindow(hWnd);
    EXPECT_TRUE(dlg.PostMessage(WM_USER + 100));
    dlg.DestroyWindow();
    EXPECT_EQ(dlg.GetSafeHwnd(), 0u);
    EXPECT_FALSE(PostWindowMessage(hWnd, WM_USER + 101));
    EXPECT_FALSE(dlg.PostMessage(WM_USER + 101));
    pTarget->PostDatagramNotification(); // the link may still hold it
    ProcessEventsFor(50ms);
    EXPECT_TRUE(dlg.m_listMessages.empty());

    // A new window never gets the old handle, so the old target stays harmless.
    dlg.Create();
    EXPECT_NE(dlg.GetSafeHwnd(), hWnd);
    pTarget->PostDatagramNotification();
    ProcessEventsFor(50ms);
    EXPECT_TRUE(dlg.m_listMessages.empty());
    dlg.DestroyWindow();
}

TEST(WindowMessages, PostingWhileTheWindowGoesIsSafe) {
    for (int nRound = 0; nRound < 20; ++nRound) {
        auto pDialog = std::make_unique<CProbeDialog>();
        pDialog->Create();
        const HWND hWnd = pDialog->GetSafeHwnd();
        std::atomic<bool> bStop{false};
        std::thread poster([&] {
            while (!bStop) {
                PostWindowMessage(hWnd, WM_APP + 0x3FF);
            }
        });
        ProcessEventsFor(5ms);
        pDialog->DestroyWindow();
        pDialog.reset();
        ProcessEventsFor(5ms);
        bStop = true;
        poster.join();
        EXPECT_FALSE(PostWindowMessage(hWnd, WM_APP + 0x3FF));
    }
}

// --- Modal runs ----------------------------------------------------------------------------

TEST(ModalRun, OpensHooksOnceEndsWithTheResultAndDestroysTheWindow) {
    CProbeDialog dlg;
    int nHookCalls = 0;
    bool bVisibleInHook = false;
    HWND hWndInHook = 0;
    CModalRunHook hook([&](CDialog& window) {
        ++nHookCalls;
        bVisibleInHook = window.IsWindowVisible();
        hWndInHook = window.GetSafeHwnd();
        window.SetTimer(1, 20);
        window.PostMessage(WM_USER + 100);
        QTimer::singleShot(100, &window, [&window] { window.EndDialog(17); });
    });
    EXPECT_EQ(dlg.DoModal(), 17);
    EXPECT_EQ(nHookCalls, 1);
    EXPECT_FALSE(dlg.m_bVisibleInInit);
    EXPECT_TRUE(bVisibleInHook);
    EXPECT_NE(dlg.m_hWndInInit, 0u);
    EXPECT_EQ(hWndInHook, dlg.m_hWndInInit);
    EXPECT_EQ(dlg.m_listCalls, (std::vector<std::string>{"init", "destroy"}));
    EXPECT_TRUE(dlg.m_bTimersRunningInDestroy);
    EXPECT_FALSE(dlg.IsTimerRunning(1));
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_EQ(dlg.GetSafeHwnd(), 0u);
    EXPECT_FALSE(PostWindowMessage(hWndInHook, WM_USER + 100));
    EXPECT_EQ(dlg.m_listMessages.size(), 1u);
    EXPECT_GE(dlg.m_listTimerEvents.size(), 1u);
}

TEST(ModalRun, EndDialogDuringOpeningReturnsAtOnce) {
    CProbeDialog dlg;
    dlg.m_bEndInInit = true;
    int nHookCalls = 0;
    CModalRunHook hook([&](CDialog&) { ++nHookCalls; });
    EXPECT_EQ(dlg.DoModal(), 42);
    ProcessEventsFor(20ms);
    EXPECT_EQ(nHookCalls, 0);
    EXPECT_EQ(dlg.m_listCalls, (std::vector<std::string>{"init", "destroy"}));
}

TEST(ModalRun, NestedWindowsEachGetTheHookAndTheLowerOneKeepsItsTimers) {
    CProbeDialog outer;
    CProbeDialog inner;
    std::vector<CDialog*> listHooked;
    bool bOuterVisibleUnderInner = false;
    std::size_t nOuterEventsBefore = 0;
    CModalRunHook hook([&](CDialog& window) {
        listHooked.push_back(&window);
        if (&window == &outer) {
            outer.SetTimer(3, 20);
            EXPECT_EQ(inner.DoModal(), 5);
            outer.EndDialog(6);
            return;
        }
        // Disabled under a modal window, a window still counts as visible.
        outer.setEnabled(false);
        bOuterVisibleUnderInner = outer.IsWindowVisible();
        outer.setEnabled(true);
        nOuterEventsBefore = outer.m_listTimerEvents.size();
        QTimer::singleShot(150, &inner, [&] { inner.EndDialog(5); });
    });
    EXPECT_EQ(outer.DoModal(), 6);
    EXPECT_EQ(listHooked, (std::vector<CDialog*>{&outer, &inner}));
    EXPECT_TRUE(bOuterVisibleUnderInner);
    EXPECT_GT(outer.m_listTimerEvents.size(), nOuterEventsBefore + 2); // ran under the inner
}

TEST(ModalRun, TheFocusChosenAtOpeningIsKept) {
    CProbeDialog dlg;
    dlg.m_bFocusSecondEdit = true;
    QWidget* pFocus = nullptr;
    CModalRunHook hook([&](CDialog& window) {
        pFocus = QApplication::focusWidget();
        window.EndDialog(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(pFocus, dlg.m_pSecondEdit);
}

TEST(ModalRun, ASecondRunGetsANewHandle) {
    CProbeDialog dlg;
    std::vector<HWND> listHandles;
    CModalRunHook hook([&](CDialog& window) {
        listHandles.push_back(window.GetSafeHwnd());
        window.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    ASSERT_EQ(listHandles.size(), 2u);
    EXPECT_NE(listHandles[0], listHandles[1]);
    EXPECT_NE(listHandles[0], 0u);
}

// --- Keys and closing ----------------------------------------------------------------------

// Runs the window modally and does fnAct inside the run; the window is ended with 99 if the
// action did not end it.
int RunAndAct(CProbeDialog& dlg, const std::function<void()>& fnAct) {
    CModalRunHook hook([&](CDialog& window) {
        const HWND hWnd = window.GetSafeHwnd();
        fnAct();
        QTimer::singleShot(0, &window, [&window, hWnd] {
            if (window.GetSafeHwnd() == hWnd && window.IsWindowVisible()) {
                window.EndDialog(99);
            }
        });
    });
    return dlg.DoModal();
}

TEST(Keys, EnterClicksTheEnabledDefaultButtonOnly) {
    CProbeDialog dlg;
    dlg.m_pDefaultButton->setDefault(true);
    EXPECT_EQ(RunAndAct(dlg,
                        [&] {
                            QTest::keyClick(dlg.m_pFirstEdit, Qt::Key_Return);
                            QTest::keyClick(dlg.m_pFirstEdit, Qt::Key_Enter, Qt::KeypadModifier);
                        }),
              99);
    EXPECT_EQ(dlg.m_nDefaultClicks, 2);

    // Disabled: Enter does nothing at all, not even OnOK.
    dlg.m_pDefaultButton->setEnabled(false);
    dlg.m_listCalls.clear();
    EXPECT_EQ(RunAndAct(dlg, [&] { QTest::keyClick(dlg.m_pFirstEdit, Qt::Key_Return); }), 99);
    EXPECT_EQ(dlg.m_nDefaultClicks, 2);
    EXPECT_EQ(dlg.m_listCalls, (std::vector<std::string>{"init", "destroy"}));
}

TEST(Keys, EnterPressesTheFocusedButtonBeforeTheDefault) {
    CProbeDialog dlg;
    dlg.m_pDefaultButton->setDefault(true);
    EXPECT_EQ(RunAndAct(dlg,
                        [&] {
                            dlg.m_pOtherButton->setFocus();
                            // Drawn as the default while it has the focus, and only then.
                            EXPECT_TRUE(dlg.m_pOtherButton->isDefault());
                            EXPECT_FALSE(dlg.m_pDefaultButton->isDefault());
                            QTest::keyClick(&dlg, Qt::Key_Return);
                            dlg.m_pFirstEdit->setFocus();
                            EXPECT_FALSE(dlg.m_pOtherButton->isDefault());
                            EXPECT_TRUE(dlg.m_pDefaultButton->isDefault());
                            dlg.m_pOtherButton->setFocus();
                        }),
              99);
    EXPECT_EQ(dlg.m_nOtherClicks, 1);
    EXPECT_EQ(dlg.m_nDefaultClicks, 0);

    // A focused button that is disabled keeps the focus in the window, not on the next button:
    // Enter goes to the default button.
    EXPECT_EQ(RunAndAct(dlg,
                        [&] {
                            dlg.m_pOtherButton->setFocus();
                            dlg.m_pOtherButton->setEnabled(false);
                            EXPECT_EQ(QApplication::focusWidget(), &dlg);
                            QTest::keyClick(&dlg, Qt::Key_Return);
                        }),
              99);
    EXPECT_EQ(dlg.m_nOtherClicks, 1);
    EXPECT_EQ(dlg.m_nDefaultClicks, 1);
}

TEST(Keys, EnterWithoutADefaultButtonIsOk) {
    CProbeDialog dlg;
    EXPECT_EQ(RunAndAct(dlg, [&] { QTest::keyClick(dlg.m_pFirstEdit, Qt::Key_Return); }), IDOK);
    EXPECT_EQ(dlg.m_nDefaultClicks, 0);
    EXPECT_EQ(dlg.m_listCalls, (std::vector<std::string>{"init", "ok", "destroy"}));
}

TEST(Keys, EscapeCloseBoxAndRejectCancelAndAcceptIsOk) {
    CProbeDialog dlg;
    dlg.m_pDefaultButton->setDefault(true);
    EXPECT_EQ(RunAndAct(dlg, [&] { QTest::keyClick(dlg.m_pFirstEdit, Qt::Key_Escape); }), IDCANCEL);
    EXPECT_EQ(RunAndAct(dlg, [&] { dlg.close(); }), IDCANCEL);
    EXPECT_EQ(RunAndAct(dlg, [&] { static_cast<QDialog&>(dlg).reject(); }), IDCANCEL);
    EXPECT_EQ(RunAndAct(dlg, [&] { static_cast<QDialog&>(dlg).accept(); }), IDOK);
    EXPECT_EQ(dlg.m_nDefaultClicks, 0);
}

TEST(Keys, AWindowThatRefusesToCancelStaysOpen) {
    CProbeDialog dlg;
    dlg.m_bCancelEnds = false;
    bool bVisibleAfter = false;
    EXPECT_EQ(RunAndAct(dlg,
                        [&] {
                            QTest::keyClick(dlg.m_pFirstEdit, Qt::Key_Escape);
                            dlg.close();
                            bVisibleAfter = dlg.IsWindowVisible();
                        }),
              99);
    EXPECT_TRUE(bVisibleAfter);
    EXPECT_EQ(dlg.m_listCalls, (std::vector<std::string>{"init", "cancel", "cancel", "destroy"}));
}

// --- Message boxes -------------------------------------------------------------------------

TEST(MessageBoxes, TheRecorderKeepsEveryBoxAndAnswersFromItsScript) {
    CMessageBoxRecorder boxes;
    boxes.QueueAnswers({IDNO, IDYES});
    QWidget owner;
    EXPECT_EQ(ShowMessageBox(&owner, "Done.", "Claim Instrument", EMessageIcon::Information),
              IDOK_BOX);
    EXPECT_EQ(ShowMessageBox(nullptr, "Use it?", "Select Adapter", EMessageIcon::Question,
                             EMessageButtons::YesNo),
              IDNO);
    EXPECT_EQ(ShowMessageBox(nullptr, "Use it?", "Select Adapter", EMessageIcon::Question,
                             EMessageButtons::YesNo),
              IDYES);
    boxes.SetDefaultYesNoAnswer(IDNO);
    EXPECT_EQ(ShowMessageBox(nullptr, "Again?", "Select Adapter", EMessageIcon::Question,
                             EMessageButtons::YesNo),
              IDNO);
    ASSERT_EQ(boxes.Count(), 4);
    EXPECT_EQ(boxes.Boxes()[0].pOwner, &owner);
    EXPECT_EQ(boxes.Boxes()[0].nIcon, EMessageIcon::Information);
    EXPECT_EQ(boxes.Boxes()[0].nButtons, EMessageButtons::Ok);
    EXPECT_EQ(boxes.Last().strText, "Again?");
    EXPECT_EQ(boxes.Texts(), (QStringList{"Done.", "Use it?", "Use it?", "Again?"}));
    boxes.Clear();
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_TRUE(boxes.Last().strText.isEmpty());
}

TEST(MessageBoxes, AnEmptyCaptionIsTheApplicationName) {
    CMessageBoxRecorder boxes;
    CWinApp app;
    app.SetAppName("Tavik Instrument Connection");
    ShowMessageBox(nullptr, "text", QString(), EMessageIcon::Exclamation);
    EXPECT_EQ(boxes.Last().strCaption, "Tavik Instrument Connection");
}

// The real box: modal, with the caption, icon and buttons asked for, and the answer mapped back.
TEST(MessageBoxes, TheRealBoxShowsWhatWasAskedAndMapsTheAnswer) {
    struct SCase {
        EMessageIcon nIcon;
        EMessageButtons nButtons;
        QMessageBox::StandardButton nPress;
        QMessageBox::Icon nQtIcon;
        int nAnswer;
    };
    const SCase cases[] = {
        {EMessageIcon::Exclamation, EMessageButtons::Ok, QMessageBox::Ok, QMessageBox::Warning,
         IDOK_BOX},
        {EMessageIcon::Information, EMessageButtons::Ok, QMessageBox::Ok, QMessageBox::Information,
         IDOK_BOX},
        {EMessageIcon::Question, EMessageButtons::YesNo, QMessageBox::Yes, QMessageBox::Question,
         IDYES},
        {EMessageIcon::Question, EMessageButtons::YesNo, QMessageBox::No, QMessageBox::Question,
         IDNO},
    };
    for (const SCase& test : cases) {
        QString strCaption;
        QString strText;
        QMessageBox::Icon nIcon = QMessageBox::NoIcon;
        int nButtonCount = 0;
        QTimer::singleShot(0, [&] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(pBox, nullptr);
            strCaption = pBox->windowTitle();
            strText = pBox->text();
            nIcon = pBox->icon();
            nButtonCount = static_cast<int>(pBox->buttons().size());
            pBox->button(test.nPress)->click();
        });
        EXPECT_EQ(
            ShowMessageBox(nullptr, "Line one\nline two", "Caption", test.nIcon, test.nButtons),
            test.nAnswer);
        EXPECT_EQ(strCaption, "Caption");
        EXPECT_EQ(strText, "Line one\nline two");
        EXPECT_EQ(nIcon, test.nQtIcon);
        EXPECT_EQ(nButtonCount, test.nButtons == EMessageButtons::YesNo ? 2 : 1);
    }
}

} // namespace
