#include "platform/window/Dialog.h"

#include "platform/window/WindowMessageEvent.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>

namespace {

// How long the modal run hook waits for the platform to activate the window.
constexpr int ACTIVATION_WAIT_MS = 500;

std::function<void(CDialog&)>& ModalRunHook() {
    static std::function<void(CDialog&)> fnHook;
    return fnHook;
}

} // namespace

CDialog::CDialog(QWidget* pParent) : QDialog(pParent), m_hWnd(0) {
    m_focusConnection =
        connect(qApp, &QApplication::focusChanged, this,
                [this](QWidget* /*pOld*/, QWidget* pNow) { LendDefaultMark(pNow); });
}

CDialog::~CDialog() {
    // The controls' destruction moves the focus after this object's members are gone.
    disconnect(m_focusConnection);
    if (m_bOpen) {
        m_timers.StopAll();
        UnregisterWindow(m_hWnd);
        m_hWnd = 0;
    }
}

int CDialog::DoModal() {
    if (m_bOpen) {
        return -1;
    }
    OpenWindow();
    if (!m_bEndRequested) {
        const unsigned nRun = m_nRun;
        QTimer::singleShot(0, this, [this, nRun] { OnModalRunStarted(nRun); });
        m_bModalRun = true;
        exec();
        m_bModalRun = false;
    }
    CloseWindow();
    return m_nResult;
}

void CDialog::EndDialog(int nResult) {
    m_nResult = nResult;
    if (!m_bOpen) {
        return;
    }
    m_bEndRequested = true;
    if (m_bModalRun) {
        QDialog::done(nResult);
    } else if (!m_bInitialising && !m_bClosing) {
        // A modeless window. During OnInitDialog, DoModal or Create ends the opening itself.
        CloseWindow();
    }
}

void CDialog::Create() {
    if (m_bOpen) {
        return;
    }
    OpenWindow();
    if (m_bEndRequested) {
        CloseWindow();
        return;
    }
    show();
    RestoreInitialFocus();
}

void CDialog::DestroyWindow() {
    if (!m_bOpen || m_bClosing) {
        return;
    }
    if (m_bInitialising) {
        m_bEndRequested = true;
        return;
    }
    if (m_bModalRun) {
        // The run ends; DoModal destroys the window when exec() has returned.
        m_bEndRequested = true;
        QDialog::done(m_nResult);
        return;
    }
    CloseWindow();
}

void CDialog::OpenWindow() {
    m_bOpen = true;
    m_bEndRequested = false;
    m_nResult = 0;
    m_bHookPending = false;
    m_bHookCalled = false;
    ++m_nRun;
    m_hWnd = RegisterWindow(this);
    m_pInitialFocus = nullptr;
    m_bInitialising = true;
    const bool bDefaultFocus = OnInitDialog();
    m_bInitialising = false;
    if (!bDefaultFocus) {
        // The window chose the focus itself; it is given back once the window is shown.
        m_pInitialFocus = focusWidget();
    }
}

void CDialog::CloseWindow() {
    m_bClosing = true;
    if (isVisible()) {
        hide();
    }
    OnDestroy();
    m_timers.StopAll();
    UnregisterWindow(m_hWnd);
    m_hWnd = 0;
    m_bOpen = false;
    m_bClosing = false;
}

void CDialog::LendDefaultMark(QWidget* pNowFocused) {
    if (m_pDefaultMarkBorrower != nullptr) {
        if (m_pDefaultMarkBorrower == pNowFocused) {
            return;
        }
        m_pDefaultMarkBorrower->setDefault(false);
        m_pDefaultMarkBorrower = nullptr;
        if (m_pDefaultMarkOwner != nullptr) {
            m_pDefaultMarkOwner->setDefault(true);
        }
        m_pDefaultMarkOwner = nullptr;
    }
    auto* pButton = qobject_cast<QPushButton*>(pNowFocused);
    if (pButton == nullptr || pButton->window() != this || pButton->isDefault()) {
        return;
    }
    m_pDefaultMarkOwner = nullptr;
    for (QPushButton* pOther : findChildren<QPushButton*>()) {
        if (pOther->isDefault() && pOther->window() == this) {
            m_pDefaultMarkOwner = pOther;
        }
    }
    m_pDefaultMarkBorrower = pButton;
    pButton->setDefault(true); // takes the mark from the owner
}

void CDialog::RestoreInitialFocus() {
    QWidget* pFocus = m_pInitialFocus;
    if (pFocus != nullptr && pFocus->isVisible() && pFocus->isEnabled() && !pFocus->hasFocus()) {
        pFocus->setFocus(Qt::OtherFocusReason);
    }
}

void CDialog::OnModalRunStarted(unsigned nRun) {
    if (!m_bModalRun || nRun != m_nRun || m_bEndRequested) {
        return;
    }
    RestoreInitialFocus();
    if (!ModalRunHook()) {
        return;
    }
    // The hook sees the window as the user would: active, with its focus in place. Activation
    // comes asynchronously from the platform; a platform that never activates the window gets
    // the hook a little later all the same.
    if (isActiveWindow()) {
        CallModalRunHook(nRun);
        return;
    }
    m_bHookPending = true;
    QTimer::singleShot(ACTIVATION_WAIT_MS, this, [this, nRun] { CallModalRunHook(nRun); });
}

void CDialog::CallModalRunHook(unsigned nRun) {
    m_bHookPending = false;
    if (!m_bModalRun || nRun != m_nRun || m_bEndRequested || m_bHookCalled) {
        return;
    }
    m_bHookCalled = true;
    // A copy: the hook may install another one for the windows it opens.
    if (const std::function<void(CDialog&)> fnHook = ModalRunHook()) {
        fnHook(*this);
    }
}

unsigned CDialog::SetTimer(unsigned nIDEvent, unsigned nElapseMs) {
    if (m_hWnd == 0 || !m_timers.Start(nIDEvent, nElapseMs)) {
        return 0;
    }
    return nIDEvent;
}

bool CDialog::KillTimer(unsigned nIDEvent) {
    return m_timers.Stop(nIDEvent);
}

void CDialog::StopRunningTimer(unsigned& nTimer) {
    if (nTimer != 0) {
        KillTimer(nTimer);
    }
    nTimer = 0;
}

bool CDialog::IsTimerRunning(unsigned nIDEvent) const {
    return m_timers.IsRunning(nIDEvent);
}

bool CDialog::PostMessage(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam) {
    return PostWindowMessage(m_hWnd, nMessage, wParam, lParam);
}

bool CDialog::IsWindowVisible() const {
    return isVisible();
}

void CDialog::SetModalRunHook(std::function<void(CDialog&)> fnHook) {
    ModalRunHook() = std::move(fnHook);
}

bool CDialog::OnInitDialog() {
    return true;
}

void CDialog::OnTimer(unsigned /*nIDEvent*/) {}

std::intptr_t CDialog::OnWindowMessage(unsigned /*nMessage*/, std::uintptr_t /*wParam*/,
                                       std::intptr_t /*lParam*/) {
    return 0;
}

void CDialog::OnDestroy() {}

void CDialog::OnOK() {
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

bool CDialog::event(QEvent* pEvent) {
    AcquirePostedWindowMessages();
    if (pEvent->type() == QEvent::WindowActivate && m_bHookPending) {
        // After the activation, once the platform has given the focus.
        const unsigned nRun = m_nRun;
        QTimer::singleShot(0, this, [this, nRun] { CallModalRunHook(nRun); });
    }
    if (pEvent->type() == CWindowMessageEvent::EventType()) {
        const auto* pMessage = static_cast<CWindowMessageEvent*>(pEvent);
        OnWindowMessage(pMessage->m_nMessage, pMessage->m_wParam, pMessage->m_lParam);
        return true;
    }
    return QDialog::event(pEvent);
}

void CDialog::keyPressEvent(QKeyEvent* pEvent) {
    const int nKey = pEvent->key();
    const bool bEnter = (nKey == Qt::Key_Return || nKey == Qt::Key_Enter) &&
                        (pEvent->modifiers() == Qt::NoModifier ||
                         (pEvent->modifiers() == Qt::KeypadModifier && nKey == Qt::Key_Enter));
    if (bEnter) {
        // A push button with the focus takes Enter itself, as the windows were designed to
        // behave: the focus set on "Repair Connection" must not leave Enter to another default.
        auto* pFocused = qobject_cast<QPushButton*>(focusWidget());
        if (pFocused != nullptr && pFocused->isEnabled() && pFocused->isVisible()) {
            pFocused->click();
            return;
        }
        // Otherwise the default button takes Enter, but only while it can be pressed; a window
        // without one hears OnOK, unlike QDialog, which would ignore the key.
        const QList<QPushButton*> listButtons = findChildren<QPushButton*>();
        for (QPushButton* pButton : listButtons) {
            if (pButton->isDefault() && pButton->isVisible()) {
                if (pButton->isEnabled()) {
                    pButton->click();
                }
                return;
            }
        }
        OnOK();
        return;
    }
    if (pEvent->matches(QKeySequence::Cancel)) {
        OnCancel();
        return;
    }
    QDialog::keyPressEvent(pEvent);
}

bool CDialog::focusNextPrevChild(bool bNext) {
    // Qt hands the focus on when the focused control is disabled. From a push button that would
    // land on the next button, often "Close" or "Cancel", where the next Enter would press it;
    // the focus stays with the window instead, and Enter goes to the default button.
    auto* pButton = qobject_cast<QPushButton*>(focusWidget());
    if (pButton != nullptr && !pButton->isEnabled()) {
        setFocus(Qt::OtherFocusReason);
        return true;
    }
    return QDialog::focusNextPrevChild(bNext);
}

void CDialog::closeEvent(QCloseEvent* pEvent) {
    if (!isVisible()) {
        pEvent->accept();
        return;
    }
    const QPointer<CDialog> pSelf(this);
    OnCancel();
    if (pSelf != nullptr && isVisible()) {
        pEvent->ignore();
    } else {
        pEvent->accept();
    }
}

void CDialog::reject() {
    OnCancel();
}

void CDialog::accept() {
    OnOK();
}
