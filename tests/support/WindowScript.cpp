#include "tests/support/WindowScript.h"

#include "platform/window/Dialog.h"

#include <QApplication>
#include <QPointer>
#include <gtest/gtest.h>
#include <iostream>

CWindowScript::CWindowScript(std::chrono::milliseconds limit)
    : m_hook([this](CDialog& dlg) { OnWindowOpened(dlg); }) {
    m_timerLimit.setSingleShot(true);
    QObject::connect(&m_timerLimit, &QTimer::timeout, [this, limit] {
        Abort(QStringLiteral("the case was still running after %1 ms").arg(limit.count()));
    });
    m_timerLimit.start(static_cast<int>(limit.count()));
    m_timerCloser.setInterval(100);
    QObject::connect(&m_timerCloser, &QTimer::timeout, &CWindowScript::EndOpenWindows);
}

CWindowScript::~CWindowScript() = default;

void CWindowScript::On(const QString& strTitle, std::function<void(CDialog&)> fnStep) {
    m_mapSteps[strTitle] = std::move(fnStep);
}

void CWindowScript::Abort(const QString& strWhy) {
    if (m_bAborted) {
        // What follows from the first failure, as the windows close; not a failure of its own.
        std::cerr << "after the abort: " << strWhy.toStdString() << '\n';
        return;
    }
    ADD_FAILURE() << strWhy.toStdString() << "\nwindows opened so far: "
                  << m_listOpened.join(QStringLiteral(", ")).toStdString();
    m_bAborted = true;
    m_timerCloser.start();
    EndOpenWindows();
}

void CWindowScript::OnWindowOpened(CDialog& dlg) {
    const QString strTitle = dlg.windowTitle();
    m_listOpened << strTitle;
    if (m_bAborted) {
        EndOpenWindows();
        return;
    }
    const auto it = m_mapSteps.find(strTitle);
    if (it == m_mapSteps.end()) {
        Abort(QStringLiteral("a window no step expects opened: \"%1\"").arg(strTitle));
        return;
    }
    // The step runs from the window's own modal run, after the hook has returned.
    QPointer<CDialog> pWindow(&dlg);
    std::function<void(CDialog&)> fnStep = it->second;
    QTimer::singleShot(0, &dlg, [pWindow, fnStep] {
        if (pWindow) {
            fnStep(*pWindow);
        }
    });
}

void CWindowScript::EndOpenWindows() {
    for (QWidget* pWidget : QApplication::topLevelWidgets()) {
        auto* pDialog = qobject_cast<CDialog*>(pWidget);
        if (pDialog != nullptr && pDialog->isVisible()) {
            pDialog->EndDialog(IDCANCEL);
        }
    }
}
