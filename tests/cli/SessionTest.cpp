// Every command of tavikctl run through its session as the program runs it, against simulated
// instruments on loopback: the session gets its own adapter list and ports (as the desktop
// application object does), so no root and no lab are needed. What the lab cases check of the
// program as a whole stays there; these check the commands' logic in seconds.
#include "app/ConfigurationStore.h"
#include "cli/CommandTable.h"
#include "cli/TavikctlSession.h"
#include "protocol/ConnectionExchange.h"
#include "sim/InstrumentSimulator.h"
#include "tests/support/LoopbackNetwork.h"
#include "tests/support/TestSettingsHome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

struct SCliRun {
    int nExitCode = -1;
    QString strOut;
    QString strErr;
    QJsonObject json; // standard output as a document, when it is one

    std::string Field(const char* pszName) const {
        return json[QLatin1String(pszName)].toString().toStdString();
    }
};

QString ReadAll(std::FILE* pFile) {
    std::rewind(pFile);
    QByteArray abText;
    char acBuffer[4096];
    for (std::size_t n; (n = std::fread(acBuffer, 1, sizeof(acBuffer), pFile)) > 0;) {
        abText.append(acBuffer, static_cast<qsizetype>(n));
    }
    std::fclose(pFile);
    return QString::fromUtf8(abText);
}

SSimulatedInstrument Instrument(std::uint32_t nIndex, const char* pszName,
                                std::uint8_t bInUse = 0) {
    SSimulatedInstrument instrument;
    instrument.strHostName = "inst" + std::to_string(nIndex);
    instrument.dwAddress = LOOPBACK_ADDRESS + 1 + nIndex; // 127.0.0.2 on
    instrument.strName = pszName;
    instrument.bInUse = bInUse;
    return instrument;
}

class TavikctlSession : public ::testing::Test {
protected:
    void Start(std::vector<SSimulatedInstrument> listInstruments) {
        m_nAppPort = FreeUDPPort();
        SSimulatorOptions options;
        options.nPort = 0;
        options.nClientPort = m_nAppPort;
        m_pSimulator = std::make_unique<CInstrumentSimulator>(std::move(listInstruments), options);
        ASSERT_TRUE(m_pSimulator->Start());
    }

    // fnDuring: with the session, before it runs.
    SCliRun Run(const QStringList& listArguments,
                const std::function<void(CTavikctlSession&)>& fnDuring = {}) {
        SCliRun run;
        const SCliParseResult parsed = CCommandLineOptions::Parse(listArguments);
        EXPECT_EQ(parsed.nKind, SCliParseResult::Run) << parsed.strText.toStdString();
        if (parsed.nKind != SCliParseResult::Run) {
            return run;
        }
        std::FILE* pOut = std::tmpfile();
        std::FILE* pErr = std::tmpfile();
        {
            const CCliOutput output(parsed.options.bJson, parsed.options.bQuiet, pOut, pErr);
            CTavikctlSession session(
                parsed.options, *parsed.pEntry, *parsed.pCommand, output,
                {m_listAdapters, m_nAppPort, m_nPeerPort.value_or(m_pSimulator->Port())});
            if (fnDuring) {
                fnDuring(session);
            }
            run.nExitCode = session.Run();
        }
        run.strOut = ReadAll(pOut);
        run.strErr = ReadAll(pErr);
        run.json = QJsonDocument::fromJson(run.strOut.toUtf8()).object();
        return run;
    }

    SConfiguration Stored() const {
        SConfiguration configuration;
        CConfigurationStore::Load(configuration);
        return configuration;
    }

    CTestSettingsHome m_home;
    std::vector<SNetworkAdapter> m_listAdapters = LoopbackAdapterList();
    std::uint16_t m_nAppPort = 0;
    std::optional<std::uint16_t> m_nPeerPort; // the simulator's unless set
    std::unique_ptr<CInstrumentSimulator> m_pSimulator;
};

} // namespace

TEST_F(TavikctlSession, EveryCommandOfOneInstrumentsLife) {
    Start({Instrument(1, "")});
    SCliRun run = Run({"--json", "status"});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.Field("state"), "not_configured");
    run = Run({"claim", "inst1"});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, "tavikctl: Please enter an instrument name.\n");

    run = Run({"--json", "claim", "127.0.0.3", "--name", "Lab-7"});
    EXPECT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    EXPECT_EQ(run.Field("result"), "done");
    EXPECT_EQ(Stored().strInstrumentName, "Lab-7");
    run = Run({"--json", "status"});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_EQ(run.Field("state"), "ready");
    EXPECT_EQ(run.Field("message"), "Ready");
    run = Run({"rename", "Lab-7", "Bench-2"});
    EXPECT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    EXPECT_EQ(run.strOut, "You have renamed the instrument, and are the current owner.\n");

    // No answer: "Not ready". Moved: the repair finds it by its name.
    m_pSimulator->SetMuteCodes({MSG_VERIFY});
    run = Run({"--json", "status"});
    EXPECT_EQ(run.nExitCode, 3);
    EXPECT_EQ(run.Field("state"), "not_ready");
    m_pSimulator->SetMuteCodes({});
    SSimulatedInstrument moved = m_pSimulator->Instruments().front();
    moved.dwAddress = LOOPBACK_ADDRESS + 60;
    m_pSimulator->SetInstrument(0, moved);
    run = Run({"--json", "repair"});
    EXPECT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    EXPECT_EQ(run.Field("address"), "127.0.0.61");
    EXPECT_EQ(Stored().dwInstrumentIPAddress, LOOPBACK_ADDRESS + 60);

    run = Run({"--json", "release"});
    EXPECT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    EXPECT_EQ(run.Field("message"), "The instrument has been released.");
    EXPECT_TRUE(Stored().strInstrumentName.isEmpty());
    run = Run({"status"});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strOut, "Not configured\n");
}

TEST_F(TavikctlSession, DiscoveryListsAndTheChecksThatRefuseBeforeOrAfterIt) {
    Start({Instrument(1, "Twin"), Instrument(2, "Twin"), Instrument(3, "Busy-3", 1)});
    SCliRun run = Run({"--json", "discover"});
    ASSERT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    const QJsonArray listFound = run.json[QLatin1String("instruments")].toArray();
    ASSERT_EQ(listFound.size(), 3);
    EXPECT_EQ(listFound[2].toObject()[QLatin1String("in_use")], QJsonValue(true));
    run = Run({"--json", "adapters"});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_EQ(run.json[QLatin1String("chosen")].toString(), "lo-test");

    const struct {
        QStringList listArguments;
        int nExitCode;
        const char* pszError;
    } aCases[] = {
        {{"rename", "Twin", "unnamed"}, 1, "\"unnamed\" is not a valid instrument name."},
        {{"claim", "Busy-3"}, 1, "The selected instrument is in use, and cannot be claimed."},
        {{"claim", "Twin"}, 2, "'Twin' names 2 instruments"},
        {{"rename", "Nowhere", "X"}, 4, "no instrument answers as 'Nowhere'"},
        {{"repair"}, 1, "Not configured"},
    };
    for (const auto& c : aCases) {
        run = Run(c.listArguments);
        EXPECT_EQ(run.nExitCode, c.nExitCode) << c.pszError;
        EXPECT_TRUE(run.strErr.contains(QLatin1String(c.pszError))) << run.strErr.toStdString();
    }
    EXPECT_FALSE(QFile::exists(m_home.FilePath("Tavik.conf")));
}

TEST_F(TavikctlSession, TheConfigurationIsReadOnceTheLinkHoldsThePort) {
    Start({Instrument(1, "New-2")});
    CConfigurationStore::Save({"Old-1", "inst9", LOOPBACK_ADDRESS + 9});
    // Another program holds the port, then saves its configuration and lets the port go, while
    // the link tries it again.
    const int hHolder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_nAppPort);
    ASSERT_EQ(::bind(hHolder, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        CConfigurationStore::Save({"New-2", "inst1", LOOPBACK_ADDRESS + 2});
        ::close(hHolder);
    });
    const SCliRun run = Run({"--json", "status"});
    other.join();
    EXPECT_EQ(run.nExitCode, 1) << run.strErr.toStdString(); // not claimed, but answered
    ASSERT_EQ(m_pSimulator->CountRequests(MSG_VERIFY), 1u);
    EXPECT_EQ(m_pSimulator->Requests().back().strInstrumentName, "New-2");
}

TEST_F(TavikctlSession, NamesFromTheNetworkReachTheTerminalEscaped) {
    SSimulatedInstrument evil = Instrument(1, "Evil\x1b]0;x\x07\nLab");
    evil.bClaimed = 1;
    evil.strOwnerHostName = "pc\nReady";
    evil.dwOwnerAddress = LOOPBACK_ADDRESS + 77;
    Start({evil});
    CConfigurationStore::Save({"Lab\x1b[2J", "inst1", LOOPBACK_ADDRESS + 2});
    SCliRun run = Run({"status"});
    EXPECT_EQ(run.strOut.toStdString(),
              "Claimed by pc\\nReady [127.0.0.78]\nInstrument name: Lab\\x1b[2J\n"
              "Instrument address: inst1 [127.0.0.3]\n");
    run = Run({"claim", "127.0.0.3", "--name", "Other"});
    EXPECT_EQ(run.nExitCode, 2);
    EXPECT_TRUE(run.strErr.contains(QLatin1String("named 'Evil\\x1b]0;x\\a\\nLab'")))
        << run.strErr.toStdString();
}

TEST_F(TavikctlSession, ADiscoveryThatCannotSendEndsWithTheCause) {
    Start({Instrument(1, "A")});
    m_nPeerPort = 0; // refused by the kernel itself: nothing leaves this computer
    const SCliRun run = Run({"discover"});
    EXPECT_EQ(run.nExitCode, 5);
    EXPECT_TRUE(run.strOut.isEmpty());
    EXPECT_EQ(run.strErr, "tavikctl: the discovery request to 127.255.255.255 could not be sent: "
                          "Invalid argument\n");
}

TEST_F(TavikctlSession, AReleaseTakesOnlyItsOwnVerifyReplyAndItsOwnTimer) {
    Start({Instrument(1, "")});
    ASSERT_EQ(Run({"claim", "127.0.0.3", "--name", "Lab-7"}).nExitCode, 0);
    m_pSimulator->SetMuteCodes({MSG_RELEASE});
    // Once the release waits: another instrument's VerifyReply, and the verification's timer
    // running again.
    std::uint8_t abStray[MAX_DATAGRAM_SIZE];
    const auto abReply = BuildVerifyReply(1, DescribeInstrument(Instrument(8, "Stray")));
    const std::size_t nStray =
        FrameDatagram(LOOPBACK_ADDRESS, LOOPBACK_ADDRESS + 9, abReply, abStray);
    QTimer poll;
    const SCliRun run = Run({"--json", "release"}, [&](CTavikctlSession& session) {
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (m_pSimulator->CountRequests(MSG_RELEASE) > 0) {
                poll.stop();
                SendDatagramFrom(LOOPBACK_ADDRESS + 9, m_nAppPort, {abStray, nStray});
                session.Timers().Start(CConnectionExchange::ID_VERIFY_RESPONSE_TIMER_EVENT, 10);
            }
        });
        poll.start(5);
    });
    EXPECT_EQ(run.nExitCode, 3);
    EXPECT_EQ(run.Field("name"), "Lab-7");
    std::vector<std::chrono::steady_clock::time_point> listSent;
    for (const SSimulatorRequest& request : m_pSimulator->Requests()) {
        if (request.nCode == MSG_RELEASE) {
            listSent.push_back(request.received);
        }
    }
    ASSERT_EQ(listSent.size(), 2u);
    EXPECT_GE(listSent[1] - listSent[0], std::chrono::milliseconds(400)); // its own 515 ms
}

TEST_F(TavikctlSession, DoctorComparesTheWaysInAndSaysWhyWhereItCannotAsk) {
    Start({Instrument(1, "Lab-7")});
    CConfigurationStore::Save({"Lab-7", "inst1", LOOPBACK_ADDRESS + 2});
    SCliRun run = Run({"--json", "doctor", "--to", "127.0.0.50"});
    const QJsonArray listChecks = run.json[QLatin1String("checks")].toArray();
    QStringList listNames;
    for (const QJsonValue& check : listChecks) {
        listNames << check[QLatin1String("name")].toString();
    }
    EXPECT_EQ(listNames.join(' '), "port adapters receive-buffer firewall discovery");
    const QJsonValue discovery = listChecks.last();
    EXPECT_EQ(discovery[QLatin1String("result")], "problem");
    EXPECT_EQ(discovery[QLatin1String("detail")].toString().toStdString(),
              "1 instrument answered the broadcasts through lo-test: Lab-7 (127.0.0.3); the "
              "instrument at 127.0.0.50 did not answer");
    EXPECT_EQ(run.nExitCode, 1);

    // Without the link: several adapters qualify, then another program holds the port.
    m_listAdapters.push_back({ADAPTER_TYPE_ETHERNET, "lo-two (test)", "127.0.0.2", "255.0.0.0"});
    run = Run({"--json", "doctor"});
    EXPECT_EQ(run.json[QLatin1String("checks")]
                  .toArray()
                  .last()[QLatin1String("detail")]
                  .toString()
                  .toStdString(),
              "not run: several network adapters qualify: lo-test (127.0.0.1), lo-two "
              "(127.0.0.2); choose one with --adapter");
    m_listAdapters.pop_back();
    const int hHolder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_nAppPort);
    ASSERT_EQ(::bind(hHolder, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    const auto started = std::chrono::steady_clock::now();
    run = Run({"doctor"});
    ::close(hHolder);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3)); // no 3.5 s wait
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_TRUE(run.strOut.contains(QStringLiteral("not run: port %1 is in use").arg(m_nAppPort)))
        << run.strOut.toStdString();
}
