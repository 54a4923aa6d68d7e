// The desktop program's claim selection window as a user meets it, measured from inside: the
// real application object on this computer's adapter and port 19798, its main connection window
// and, opened from it, the claim selection window (offscreen unless QT_QPA_PLATFORM says
// otherwise). Runs only inside a lab's client namespace (bench/farm-bench sets one up).
//
// At each collection end it prints how many instruments the window lists, the time the window
// thread spent on that collection end, and the time to the list's next paint; at the first
// collection end with rows, the time a paint of the whole window and of the list take.
// Throughout it measures whether the window answers: a posted event and a posted key press every
// 10 ms (the longest each waited), a 50 ms timer (its greatest lateness) and a repaint of the
// list asked every 100 ms (the longest wait for it); and the peak memory over what the program
// held when the selection window opened. It ends after --collections N collection ends, or at
// SIGTERM or SIGINT, which end the program's windows as in the program.
#include "app/Logging.h"
#include "app/MolvarInstrumentConnectionApplication.h"
#include "app/TerminationSignals.h"
#include "bench/LabGuard.h"
#include "model/InstrumentList.h"
#include "platform/NetworkAdapters.h"
#include "platform/window/Dialog.h"
#include "ui/claim/ClaimInstrumentSelectionDialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QInputDevice>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto PROBE_PERIOD = std::chrono::milliseconds(10);
constexpr int TIMER_PERIOD_MS = 50;
constexpr int REPAINT_PERIOD_MS = 100;
constexpr int PAINTS_MEASURED = 20;
constexpr Qt::Key PROBE_KEY = Qt::Key_F35;

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// A line of /proc/self/status in kB ("VmRSS", "VmHWM").
long StatusKilobytes(const char* pszField) {
    std::ifstream status("/proc/self/status");
    std::string strLine;
    const std::string strPrefix = std::string(pszField) + ":";
    while (std::getline(status, strLine)) {
        if (strLine.rfind(strPrefix, 0) == 0) {
            return std::stol(strLine.substr(strPrefix.size()));
        }
    }
    return -1;
}

QPushButton* ButtonOf(QWidget& window, const QString& strText) {
    for (QPushButton* pButton : window.findChildren<QPushButton*>()) {
        if (pButton->accessibleName() == strText || pButton->text() == strText) {
            return pButton;
        }
    }
    return nullptr;
}

QString StatusOf(QWidget& window) {
    for (QLineEdit* pEdit : window.findChildren<QLineEdit*>()) {
        if (pEdit->accessibleName() == QLatin1String("Status")) {
            return pEdit->text();
        }
    }
    return {};
}

struct SCollectionEnd {
    double dAtSeconds = 0;
    std::uint32_t nListed = 0;
    int nRows = 0;
    QString strStatus;
    double dHandledMs = 0;
    double dToPaintMs = -1;
};

struct SFigures {
    std::atomic<double> dLongestEventWaitMs{0};
    std::atomic<double> dLongestInputWaitMs{0};
    double dLongestTimerLateMs = 0;
    int nTimerFirings = 0;
    double dLongestRepaintWaitMs = 0;
    double dWindowPaintMs = -1;
    double dListPaintMs = -1;
    long nBaselineKb = -1;
    std::vector<SCollectionEnd> listCollectionEnds;
};

void KeepLongest(std::atomic<double>& dLongest, double dValue) {
    double dSeen = dLongest.load();
    while (dValue > dSeen && !dLongest.compare_exchange_weak(dSeen, dValue)) {
    }
}

// Times what the window thread does: the collection ends of the selection window, and the
// list's paints.
class CBenchApplication final : public QApplication {
public:
    CBenchApplication(int& argc, char** argv) : QApplication(argc, argv) {}

    bool notify(QObject* pReceiver, QEvent* pEvent) override {
        // Hidden as its modal run ends: no longer looked at, since it is destroyed next.
        if (pEvent->type() == QEvent::Hide && pReceiver == m_pSelection) {
            Unwatch();
        }
        CInstrumentSelectionDialog* pSelection = m_pSelection;
        const bool bCollecting = pSelection != nullptr && pSelection->IsCollecting();
        const bool bListPaint = pEvent->type() == QEvent::Paint && m_pViewport != nullptr &&
                                pReceiver == m_pViewport.data();
        const Clock::time_point start = Clock::now();
        const bool bResult = QApplication::notify(pReceiver, pEvent);
        const Clock::time_point end = Clock::now();
        if (bCollecting && pSelection == m_pSelection && !pSelection->IsCollecting()) {
            OnCollectionEnd(*pSelection, MsBetween(start, end));
        }
        if (bListPaint) {
            OnListPainted(end);
        }
        return bResult;
    }

    void Watch(CInstrumentSelectionDialog* pSelection) {
        m_pSelection = pSelection;
        auto* pView = pSelection->findChild<QAbstractItemView*>();
        m_pView = pView;
        m_pViewport = pView != nullptr ? pView->viewport() : nullptr;
    }
    void Unwatch() {
        m_pSelection = nullptr;
        m_pViewport = nullptr;
        m_pView = nullptr;
    }
    QAbstractItemView* View() const { return m_pView; }
    void AskRepaint() {
        if (m_pViewport != nullptr && !m_bRepaintAsked) {
            m_bRepaintAsked = true;
            m_repaintAsked = Clock::now();
            m_pViewport->update();
        }
    }

    SFigures m_figures;
    Clock::time_point m_started = Clock::now();
    std::function<void()> m_fnAfterCollectionEnd;

private:
    void OnCollectionEnd(CInstrumentSelectionDialog& selection, double dHandledMs) {
        SCollectionEnd end;
        end.dAtSeconds = MsBetween(m_started, Clock::now()) / 1000.0;
        end.nListed = selection.GetDisplayedInstruments().GetCount();
        end.nRows = m_pView != nullptr ? m_pView->model()->rowCount() : -1;
        end.strStatus = StatusOf(selection);
        end.dHandledMs = dHandledMs;
        m_figures.listCollectionEnds.push_back(end);
        m_bPaintAwaited = true;
        m_collectionEnded = Clock::now();
        std::printf("collection end %zu at %.2f s: %u listed (\"%s\", %d rows), handled in "
                    "%.1f ms\n",
                    m_figures.listCollectionEnds.size(), end.dAtSeconds, end.nListed,
                    qPrintable(end.strStatus), end.nRows, end.dHandledMs);
        if (m_figures.dWindowPaintMs < 0 && end.nRows > 0) {
            QTimer::singleShot(0, this, [this] { MeasurePaints(); });
        }
        if (m_fnAfterCollectionEnd) {
            QTimer::singleShot(0, this, m_fnAfterCollectionEnd);
        }
    }

    void OnListPainted(Clock::time_point end) {
        if (m_bPaintAwaited && !m_figures.listCollectionEnds.empty()) {
            m_bPaintAwaited = false;
            m_figures.listCollectionEnds.back().dToPaintMs = MsBetween(m_collectionEnded, end);
        }
        if (m_bRepaintAsked) {
            m_bRepaintAsked = false;
            m_figures.dLongestRepaintWaitMs =
                std::max(m_figures.dLongestRepaintWaitMs, MsBetween(m_repaintAsked, end));
        }
    }

    // Synchronous paints, the median of several: the whole window, then the list alone.
    void MeasurePaints() {
        if (m_pSelection == nullptr || m_pViewport == nullptr) {
            return;
        }
        const auto median = [](const std::function<void()>& fnPaint) {
            std::vector<double> listMs;
            for (int i = 0; i < PAINTS_MEASURED; ++i) {
                const Clock::time_point start = Clock::now();
                fnPaint();
                listMs.push_back(MsBetween(start, Clock::now()));
            }
            std::sort(listMs.begin(), listMs.end());
            return listMs[listMs.size() / 2];
        };
        QWidget* pWindow = m_pSelection;
        QWidget* pViewport = m_pViewport;
        m_figures.dWindowPaintMs = median([pWindow] { pWindow->grab(); });
        m_figures.dListPaintMs = median([pViewport] { pViewport->repaint(); });
        std::printf("paint with %d rows: whole window %.2f ms, list %.2f ms (median of %d)\n",
                    m_pView->model()->rowCount(), m_figures.dWindowPaintMs, m_figures.dListPaintMs,
                    PAINTS_MEASURED);
    }

    CInstrumentSelectionDialog* m_pSelection = nullptr;
    QPointer<QAbstractItemView> m_pView;
    QPointer<QWidget> m_pViewport;
    bool m_bPaintAwaited = false;
    Clock::time_point m_collectionEnded;
    bool m_bRepaintAsked = false;
    Clock::time_point m_repaintAsked;
};

// Takes the probe key presses: how long the posted input waited.
class CInputProbe final : public QObject {
public:
    explicit CInputProbe(SFigures& figures) : m_figures(figures) {}

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(pEvent)->key() == PROBE_KEY) {
            const auto nPosted =
                static_cast<std::int64_t>(static_cast<QKeyEvent*>(pEvent)->timestamp());
            const std::int64_t nNow = std::chrono::duration_cast<std::chrono::microseconds>(
                                          Clock::now().time_since_epoch())
                                          .count();
            KeepLongest(m_figures.dLongestInputWaitMs, static_cast<double>(nNow - nPosted) / 1000);
            return true;
        }
        return QObject::eventFilter(pWatched, pEvent);
    }

private:
    SFigures& m_figures;
};

// Posts a probe event and a probe key press every 10 ms from a thread of its own.
class CPoster {
public:
    CPoster(QObject& target, SFigures& figures)
        : m_target(target), m_figures(figures), m_thread([this] { Run(); }) {}
    ~CPoster() {
        {
            std::lock_guard lock(m_mutex);
            m_bStop = true;
        }
        m_stopped.notify_one();
        m_thread.join();
    }

private:
    void Run() {
        std::unique_lock lock(m_mutex);
        while (!m_stopped.wait_for(lock, PROBE_PERIOD, [this] { return m_bStop; })) {
            const Clock::time_point posted = Clock::now();
            SFigures* pFigures = &m_figures;
            QMetaObject::invokeMethod(
                &m_target,
                [posted, pFigures] {
                    KeepLongest(pFigures->dLongestEventWaitMs, MsBetween(posted, Clock::now()));
                },
                Qt::QueuedConnection);
            auto* pKey = new QKeyEvent(QEvent::KeyPress, PROBE_KEY, Qt::NoModifier);
            pKey->setTimestamp(static_cast<quint64>(
                std::chrono::duration_cast<std::chrono::microseconds>(posted.time_since_epoch())
                    .count()));
            QCoreApplication::postEvent(&m_target, pKey);
        }
    }

    QObject& m_target;
    SFigures& m_figures;
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_bStop = false;
    std::thread m_thread;
};

void PrintUsage(std::FILE* pFile) {
    std::fprintf(pFile,
                 "Usage: SelectionWindowBench [--collections N]\n"
                 "The program's claim selection window, offscreen, inside a lab's client "
                 "namespace:\nthe instruments listed at each collection end and whether the "
                 "window answers.\nWithout --collections it runs until SIGTERM or SIGINT.\n");
}

} // namespace

int main(int argc, char** argv) {
    int nCollections = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string strOption = argv[i];
        if (strOption == "--collections" && i + 1 < argc) {
            nCollections = std::atoi(argv[++i]);
        } else if (strOption == "--help") {
            PrintUsage(stdout);
            return 0;
        } else {
            PrintUsage(stderr);
            return 2;
        }
    }
    const std::string strWhy = WhyNotInsideALab();
    if (!strWhy.empty()) {
        std::fprintf(stderr, "SelectionWindowBench: runs only inside a lab: %s\n", strWhy.c_str());
        return 77;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    CBenchApplication application(argc, argv);
    EndRunOnTerminationSignals();
    CMolvarInstrumentConnectionApplication app(ListNetworkAdapters());
    SFigures& figures = application.m_figures;
    CInputProbe inputProbe(figures);
    // Takes the probes: posted there, they wait in the window thread's queue as its input does.
    QObject eventProbe;
    eventProbe.installEventFilter(&inputProbe);
    std::unique_ptr<CPoster> pPoster;

    QTimer lateness;
    lateness.setTimerType(Qt::PreciseTimer);
    Clock::time_point lastFiring;
    QObject::connect(&lateness, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        if (figures.nTimerFirings++ > 0) {
            figures.dLongestTimerLateMs =
                std::max(figures.dLongestTimerLateMs, MsBetween(lastFiring, now) - TIMER_PERIOD_MS);
        }
        lastFiring = now;
    });
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [&] { application.AskRepaint(); });

    QPointer<CDialog> pSelectionWindow;
    CDialog::SetModalRunHook([&](CDialog& dlg) {
        auto* pSelection = qobject_cast<CClaimInstrumentSelectionDialog*>(&dlg);
        if (pSelection != nullptr) {
            return; // watched from the moment it opened (below)
        }
        // The main connection window: the claim selection window over it, then closed.
        QPointer<CDialog> pMain = &dlg;
        QTimer::singleShot(0, &dlg, [&, pMain] {
            QPushButton* pClaim = ButtonOf(*pMain, QStringLiteral("Claim an Instrument..."));
            if (pClaim != nullptr && !IsEndingRun()) {
                pClaim->click(); // returns when the selection window has closed
            }
            application.Unwatch();
            if (pMain != nullptr) {
                pMain->EndDialog(IDCANCEL);
            }
        });
    });
    // The selection window is watched from its opening, before its first collection ends.
    QTimer opening;
    QObject::connect(&opening, &QTimer::timeout, [&] {
        CClaimInstrumentSelectionDialog* pSelection = app.m_pClaimInstrumentSelectionDialog;
        if (pSelection == nullptr || pSelectionWindow != nullptr) {
            return;
        }
        opening.stop();
        pSelectionWindow = pSelection;
        application.Watch(pSelection);
        figures.nBaselineKb = StatusKilobytes("VmRSS");
        // Made here: the probe key presses, made on the poster's thread, name it.
        QInputDevice::primaryKeyboard();
        pPoster = std::make_unique<CPoster>(eventProbe, figures);
        lateness.start(TIMER_PERIOD_MS);
        repaint.start(REPAINT_PERIOD_MS);
    });
    opening.start(1);
    application.m_fnAfterCollectionEnd = [&] {
        if (nCollections > 0 &&
            static_cast<int>(figures.listCollectionEnds.size()) >= nCollections &&
            pSelectionWindow != nullptr) {
            pSelectionWindow->EndDialog(IDCANCEL);
        }
    };

    app.InitInstance();
    pPoster.reset();
    QCoreApplication::processEvents(); // the last probes

    const long nPeakKb = StatusKilobytes("VmHWM");
    std::printf("collection ends listed:");
    for (const SCollectionEnd& end : figures.listCollectionEnds) {
        std::printf(" %u", end.nListed);
    }
    double dLongestHandledMs = 0;
    double dLongestToPaintMs = 0;
    for (const SCollectionEnd& end : figures.listCollectionEnds) {
        dLongestHandledMs = std::max(dLongestHandledMs, end.dHandledMs);
        dLongestToPaintMs = std::max(dLongestToPaintMs, end.dToPaintMs);
    }
    std::printf("\nlongest collection end handling %.1f ms, longest wait for the list's paint "
                "after one %.1f ms\n",
                dLongestHandledMs, dLongestToPaintMs);
    std::printf("answering: longest wait of a posted event %.0f ms, of a key press %.0f ms, of a "
                "repaint %.0f ms; %d ms timer at most %.0f ms late (%d firings)\n",
                figures.dLongestEventWaitMs.load(), figures.dLongestInputWaitMs.load(),
                figures.dLongestRepaintWaitMs, TIMER_PERIOD_MS, figures.dLongestTimerLateMs,
                figures.nTimerFirings);
    std::printf("memory: peak %.1f MB, %.1f MB more than when the selection window opened\n",
                nPeakKb / 1024.0, (nPeakKb - figures.nBaselineKb) / 1024.0);
    return 0;
}
