// Routing and the windows, offscreen: the main connection window waits for its verification,
// and on top of it a claim selection window and a claim window (for another instrument) wait
// too. An input is a sequence of datagrams, each appended to the link as the socket thread
// appends it and routed by the main window. Nothing may crash, and nothing but a well-formed
// reply of a code that a window waits for may change the configuration.
#include "app/MolvarInstrumentConnectionApplication.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/PrivateNetwork.h"
#include "link/UDPInstrumentInterface.h"
#include "tests/support/LoopbackNetwork.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/TestSettingsHome.h"
#include "ui/claim/ClaimInstrumentDialog.h"
#include "ui/claim/ClaimInstrumentSelectionDialog.h"
#include "ui/connection/MolvarInstrumentConnectionDialog.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr std::uint32_t CONFIGURED_ADDRESS = 0x7F000002; // 127.0.0.2, being verified
constexpr std::uint32_t CLAIMED_ADDRESS = 0x7F000003;    // 127.0.0.3, in the claim window

enum EStep : std::uint8_t { STEP_RAW, STEP_FRAMED, STEP_COUNT };

struct SWindows {
    std::unique_ptr<QApplication> pQtApp;
    std::unique_ptr<QTemporaryDir> pSettingsFolder;
    std::unique_ptr<CMessageBoxRecorder> pBoxes;
    std::unique_ptr<CMolvarInstrumentConnectionApplication> pApp;
    std::unique_ptr<CMolvarInstrumentConnectionDialog> pMain;
    std::unique_ptr<CClaimInstrumentSelectionDialog> pSelection;
    std::unique_ptr<CClaimInstrumentDialog> pClaim;
    bool bTimerStopReported = false;
};
SWindows* g_pWindows = nullptr;

struct SConfigured {
    QString strName;
    QString strHostName;
    std::uint32_t dwAddress = 0;
    bool operator==(const SConfigured&) const = default;
};

SConfigured Configured(const CMolvarInstrumentConnectionApplication& app) {
    return {app.m_strInstrumentName, app.m_strInstrumentHostName, app.m_dwInstrumentIPAddress};
}

// A claim window for the instrument at 127.0.0.3 that has sent its request and waits.
void OpenWaitingClaimWindow(SWindows& w) {
    if (w.pClaim) {
        w.pClaim->DestroyWindow();
        w.pApp->m_pClaimInstrumentDialog = nullptr;
    }
    w.pClaim = std::make_unique<CClaimInstrumentDialog>(*w.pApp, QStringLiteral("inst3"),
                                                        QStringLiteral("Lab-3"), CLAIMED_ADDRESS,
                                                        w.pSelection.get());
    w.pApp->m_pClaimInstrumentDialog = w.pClaim.get();
    w.pClaim->Create();
    for (QPushButton* pButton : w.pClaim->findChildren<QPushButton*>()) {
        if (pButton->accessibleName() == QLatin1String("Claim")) {
            pButton->click();
        }
    }
    FUZZ_CHECK(w.pClaim->IsWaitingForReply());
}

// Every input starts from the same windows and configuration; the windows are made once and
// only what an input ended is started again.
void PrepareWindows(SWindows& w) {
    CMolvarInstrumentConnectionApplication& app = *w.pApp;
    app.m_strInstrumentName = QStringLiteral("Lab-2");
    app.m_strInstrumentHostName = QStringLiteral("inst2");
    app.m_dwInstrumentIPAddress = CONFIGURED_ADDRESS;
    app.m_nConnectionState = CONNECTION_VERIFYING;
    if (!w.pMain->IsWaitingForReply()) {
        w.pMain->StartVerification();
    }
    FUZZ_CHECK(w.pMain->IsWaitingForReply() && w.pMain->GetPendingRequest() == MSG_VERIFY);
    if (w.pSelection->GetCollectedInstruments().GetCount() > 0) {
        w.pSelection->StartDiscoveryCycle();
    }
    if (!w.pClaim || !w.pClaim->IsWindowVisible() || !w.pClaim->IsWaitingForReply()) {
        OpenWaitingClaimWindow(w);
    }
    // What the exchanges' own sends left in the link.
    std::uint32_t dwLength = 0;
    while (app.m_pInstrumentInterface->TakeDatagram(&dwLength, nullptr)) {
    }
    w.pBoxes->Clear();
}

// Whether a window waits for this datagram and it is well-formed: a verify reply for the main
// window, a claim reply for the claim window.
bool IsAwaitedReply(SWindows& w, std::span<const std::uint8_t> datagram) {
    const auto view = ParseDatagram(datagram);
    if (!view ||
        view->header.dwDestination == w.pApp->m_pInstrumentInterface->m_dwBroadcastAddress ||
        view->payload.empty()) {
        return false;
    }
    switch (view->payload[0]) {
    case MSG_VERIFY:
        return w.pMain->IsWaitingForReply() && w.pMain->GetPendingRequest() == MSG_VERIFY &&
               ReadVerifyReply(view->payload).has_value();
    case MSG_CLAIM:
        return w.pClaim->IsWindowVisible() && w.pClaim->IsWaitingForReply() &&
               ReadStatusReply(view->payload, MSG_CLAIM).has_value();
    default:
        return false;
    }
}

std::vector<std::uint8_t> Framed(CFuzzInput& input, std::uint32_t dwBroadcast) {
    static constexpr std::array<std::uint16_t, 8> awLengths = {1, 2, 3, 6, 202, 203, 204, 205};
    const std::uint8_t nChoice = input.Byte();
    const std::uint32_t dwDestination = nChoice & 0x80 ? dwBroadcast : 0x7F000001;
    const std::uint8_t nCode = input.Byte() % 8;
    std::vector<std::uint8_t> payload(awLengths[nChoice % awLengths.size()], 0);
    payload[0] = nCode;
    const auto bytes = input.Take(payload.size() - 1);
    std::copy(bytes.begin(), bytes.end(), payload.begin() + 1);
    std::vector<std::uint8_t> datagram(MAX_DATAGRAM_SIZE);
    datagram.resize(FrameDatagram(dwDestination, CONFIGURED_ADDRESS, payload, datagram.data()));
    return datagram;
}

void Route(SWindows& w, std::span<const std::uint8_t> bytes) {
    CUDPInstrumentInterface& link = *w.pApp->m_pInstrumentInterface;
    // As the socket thread stores what arrives.
    const std::uint32_t dwKept = KeptDatagramLength(bytes.data(), bytes.size());
    if (dwKept == 0) {
        return;
    }
    const auto datagram = bytes.first(dwKept);
    FUZZ_CHECK(link.AppendReceived(datagram.data(), dwKept));

    const SConfigured before = Configured(*w.pApp);
    const bool bAwaited = IsAwaitedReply(w, datagram);
    const bool bMainWaited = w.pMain->IsWaitingForReply();
    FUZZ_CHECK(w.pMain->RouteDatagram() == 0);
    const SConfigured after = Configured(*w.pApp);
    FUZZ_CHECK(after == before || bAwaited);

    if (bMainWaited && !w.pMain->IsWaitingForReply() && !bAwaited && !w.bTimerStopReported) {
        w.bTimerStopReported = true;
        std::fprintf(stderr, "note: a datagram that is no awaited reply stopped the main "
                             "window's reply timer\n");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* pnArgc, char*** pppArgv) {
    RequirePrivateNetwork("fuzz_routing");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static const QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtimeDir.isValid()) {
        qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    }
    // Quiet: the offscreen platform's warnings and the windows' debug lines would cost more
    // than the routing.
    qInstallMessageHandler([](QtMsgType nType, const QMessageLogContext&, const QString& strText) {
        if (nType == QtCriticalMsg || nType == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(strText));
        }
    });

    // Kept to the end of the process: the windows and the link outlive every input, and Qt's
    // own objects must not be taken down after the library's statics are gone.
    SWindows& w = *new SWindows;
    w.pQtApp = std::make_unique<QApplication>(*pnArgc, *pppArgv);
    w.pSettingsFolder = std::make_unique<QTemporaryDir>();
    CTestSettingsHome::SetProcessHome(w.pSettingsFolder->path());
    w.pBoxes = std::make_unique<CMessageBoxRecorder>();
    w.pApp = std::make_unique<CMolvarInstrumentConnectionApplication>(
        LoopbackAdapterList(), FreeLoopbackUDPPort(), FreeLoopbackUDPPort());
    FUZZ_CHECK(w.pApp->m_pInstrumentInterface != nullptr);
    w.pApp->m_strInstrumentName = QStringLiteral("Lab-2");
    w.pApp->m_strInstrumentHostName = QStringLiteral("inst2");
    w.pApp->m_dwInstrumentIPAddress = CONFIGURED_ADDRESS;

    w.pMain = std::make_unique<CMolvarInstrumentConnectionDialog>(*w.pApp);
    w.pApp->m_pConnectionDialog = w.pMain.get();
    w.pMain->Create();
    // The target routes each datagram itself: no announcements pile up unread in the queue.
    w.pApp->m_pInstrumentInterface->m_hNotifyWnd.store(nullptr);
    w.pSelection = std::make_unique<CClaimInstrumentSelectionDialog>(*w.pApp, w.pMain.get());
    w.pApp->m_pClaimInstrumentSelectionDialog = w.pSelection.get();
    w.pSelection->Create();
    g_pWindows = &w;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbData, std::size_t nSize) {
    SWindows& w = *g_pWindows;
    PrepareWindows(w);
    const std::uint32_t dwBroadcast = w.pApp->m_pInstrumentInterface->m_dwBroadcastAddress;
    CFuzzInput input(pbData, nSize);
    while (!input.IsEmpty()) {
        if (input.Byte() % STEP_COUNT == STEP_RAW) {
            Route(w, input.Take(input.Word() % (MAX_DATAGRAM_SIZE + 8)));
        } else {
            Route(w, Framed(input, dwBroadcast));
        }
    }
    // Posted by the windows for one another (a release asks the selection window to look
    // again); the target runs no event loop, so they are dropped rather than left to pile up.
    QCoreApplication::removePostedEvents(w.pSelection.get());
    return 0;
}
