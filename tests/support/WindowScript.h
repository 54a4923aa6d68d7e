// The user's part of a case that runs the whole application, window by window. Each window that
// opens runs modally; its step (chosen by the window's title) starts from inside that modal run and
// acts on it like a user. A step that fails aborts the case: the failure is reported and every open
// window is ended, so the application's start-up returns instead of waiting for a user forever. A
// window that no step expects fails the case the same way, as does a case that runs too long.
//
//   CWindowScript script;
//   script.On("Claim Instrument", [&](CDialog& dlg) {
//       CWindowDriver claim(dlg);
//       STEP_REQUIRE(script, claim.Type("Instrument name", "Lab-7"));
//       ...
//   });
#pragma once

#include "tests/support/ModalRunHook.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <functional>
#include <map>

class CDialog;

// Inside a step: aborts the case with the failed condition when it does not hold. Once the case
// has been aborted, steps end at their next check without waiting for anything.
#define STEP_REQUIRE(script, condition)                                                            \
    do {                                                                                           \
        if ((script).Aborted()) {                                                                  \
            return;                                                                                \
        }                                                                                          \
        if (!(condition)) {                                                                        \
            (script).Abort(QStringLiteral("%1:%2: %3")                                             \
                               .arg(QLatin1String(__FILE__))                                       \
                               .arg(__LINE__)                                                      \
                               .arg(QLatin1String(#condition)));                                   \
            return;                                                                                \
        }                                                                                          \
    } while (false)

class CWindowScript {
public:
    explicit CWindowScript(std::chrono::milliseconds limit = std::chrono::seconds(60));
    ~CWindowScript();
    CWindowScript(const CWindowScript&) = delete;
    CWindowScript& operator=(const CWindowScript&) = delete;

    // The step for the window with this title; it runs each time such a window opens.
    void On(const QString& strTitle, std::function<void(CDialog&)> fnStep);

    // Reports a failure and ends every open window, now and whenever one opens later.
    void Abort(const QString& strWhy);
    bool Aborted() const { return m_bAborted; }

    // The titles of the windows that opened, in order.
    const QStringList& Opened() const { return m_listOpened; }

private:
    void OnWindowOpened(CDialog& dlg);
    static void EndOpenWindows();

    CModalRunHook m_hook;
    std::map<QString, std::function<void(CDialog&)>> m_mapSteps;
    QStringList m_listOpened;
    bool m_bAborted = false;
    QTimer m_timerLimit;
    QTimer m_timerCloser; // ends open windows after an abort
};
