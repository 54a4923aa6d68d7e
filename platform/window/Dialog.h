// A modal dialog window over QDialog, with what the program's windows rely on: a modal run
// with a result, window timers by id, the program's window messages posted as events that keep
// their numbers, and visibility.
#pragma once

#include "platform/window/TimerSet.h"
#include "platform/window/WindowHandle.h"

#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <cstdint>
#include <functional>

constexpr unsigned WM_USER = 0x0400;
constexpr unsigned WM_APP = 0x8000;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

class CDialog : public QDialog {
    Q_OBJECT

public:
    explicit CDialog(QWidget* pParent = nullptr);
    ~CDialog() override;

    // Opens the window (OnInitDialog), runs it modally and, once the run has ended, destroys
    // the window (OnDestroy, then every timer stopped). Returns the result given to EndDialog.
    virtual int DoModal();
    // Ends the modal run with a result (a window opened with Create is destroyed instead).
    void EndDialog(int nResult);
    // Tests: opens the window as DoModal does (OnInitDialog, shown) but returns at once;
    // DestroyWindow then ends it as the end of a modal run does (OnDestroy, timers stopped).
    void Create();
    void DestroyWindow();
    int GetResult() const { return m_nResult; }

    // Starts a repeating precise timer with this id, or restarts the period of a running one.
    // Returns the id, or 0 when the timer could not be started.
    unsigned SetTimer(unsigned nIDEvent, unsigned nElapseMs);
    bool KillTimer(unsigned nIDEvent);
    // Stops the timer whose id nTimer holds, if it runs, and sets nTimer back to 0.
    void StopRunningTimer(unsigned& nTimer);
    bool IsTimerRunning(unsigned nIDEvent) const;

    // Posts a window message to this window's queue; safe from any thread.
    bool PostMessage(unsigned nMessage, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
    // Shown (a window disabled under a modal one still counts).
    bool IsWindowVisible() const;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Tests: called once each time a window has opened its modal run, from inside that run,
    // when the window is active and its focus placed (or after half a second on a platform that
    // does not activate it).
    static void SetModalRunHook(std::function<void(CDialog&)> fnHook);

protected:
    // Window opening; true lets the platform place the focus, false says the window set it.
    virtual bool OnInitDialog();
    // A timer event; every timer event then goes on to the default handling.
    virtual void OnTimer(unsigned nIDEvent);
    // A posted window message; returns the message's result.
    virtual std::intptr_t OnWindowMessage(unsigned nMessage, std::uintptr_t wParam,
                                          std::intptr_t lParam);
    // Window destruction, after the modal run has ended; timers are stopped after it.
    virtual void OnDestroy();
    // Enter with no enabled default button, and Escape or the close box.
    virtual void OnOK();
    virtual void OnCancel();

    bool event(QEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    bool focusNextPrevChild(bool bNext) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void reject() override;
    void accept() override;

private:
    // Creation (handle, OnInitDialog) and destruction (OnDestroy, timers, handle) of the window.
    void OpenWindow();
    void CloseWindow();
    // Gives the focus back to the control OnInitDialog chose, once the window is shown.
    void RestoreInitialFocus();
    void OnModalRunStarted(unsigned nRun);
    void CallModalRunHook(unsigned nRun);
    // A push button with the focus is drawn as the default button while it has the focus,
    // since Enter presses it; the window's own default button gets its mark back after.
    void LendDefaultMark(QWidget* pNowFocused);

    HWND m_hWnd;
    int m_nResult = 0;
    CTimerSet m_timers{[this](unsigned nIDEvent) { OnTimer(nIDEvent); }};
    bool m_bOpen = false;         // between creation and destruction
    bool m_bModalRun = false;     // inside exec()
    bool m_bEndRequested = false; // EndDialog came during this opening
    bool m_bInitialising = false; // inside OnInitDialog
    bool m_bClosing = false;      // inside the destruction
    bool m_bHookPending = false;  // the modal run hook waits for the activation
    bool m_bHookCalled = false;
    unsigned m_nRun = 0; // counts openings, so a stale start of a run is ignored
    QPointer<QWidget> m_pInitialFocus;
    QPointer<QPushButton> m_pDefaultMarkBorrower; // the focused button drawn as the default
    QPointer<QPushButton> m_pDefaultMarkOwner;    // the window's own default button, if any
    QMetaObject::Connection m_focusConnection;
};

// Runs the window modally with pRecord pointing at it for exactly the length of the run, as the
// routing of replies and the windows' pointers of the application expect. Returns the result.
template <class TDialog> int RunModalRecorded(TDialog& dlg, TDialog*& pRecord) {
    pRecord = &dlg;
    const int nResult = dlg.DoModal();
    pRecord = nullptr;
    return nResult;
}
