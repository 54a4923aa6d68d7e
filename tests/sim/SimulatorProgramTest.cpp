#include "LoopbackClient.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

#ifdef TAVIK_INSTRUMENT_SIM

extern char** environ;

namespace {

constexpr auto LINE_TIMEOUT = 5000ms;

struct SOutcome {
    int nExitStatus = -1;
    std::string strOutput; // standard output and error together
};

SOutcome RunToEnd(const std::string& strArguments) {
    SOutcome outcome;
    const std::string strCommand = std::string(TAVIK_INSTRUMENT_SIM) + " " + strArguments + " 2>&1";
    std::FILE* pPipe = ::popen(strCommand.c_str(), "r");
    if (pPipe == nullptr) {
        return outcome;
    }
    char acBuffer[4096];
    std::size_t nRead;
    while ((nRead = std::fread(acBuffer, 1, sizeof acBuffer, pPipe)) > 0) {
        outcome.strOutput.append(acBuffer, nRead);
    }
    const int nStatus = ::pclose(pPipe);
    if (WIFEXITED(nStatus)) {
        outcome.nExitStatus = WEXITSTATUS(nStatus);
    }
    return outcome;
}

// The program running in the background, its standard output read line by line.
class CRunningSimulator {
public:
    explicit CRunningSimulator(std::vector<std::string> listArguments) {
        int anPipe[2];
        if (::pipe(anPipe) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, anPipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, anPipe[0]);
        listArguments.insert(listArguments.begin(), TAVIK_INSTRUMENT_SIM);
        std::vector<char*> listArgv;
        for (std::string& strArgument : listArguments) {
            listArgv.push_back(strArgument.data());
        }
        listArgv.push_back(nullptr);
        if (posix_spawn(&m_nPid, TAVIK_INSTRUMENT_SIM, &actions, nullptr, listArgv.data(),
                        environ) != 0) {
            m_nPid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(anPipe[1]);
        m_nOutput = anPipe[0];
    }

    ~CRunningSimulator() {
        if (m_nPid > 0) {
            ::kill(m_nPid, SIGKILL);
            ::waitpid(m_nPid, nullptr, 0);
        }
        if (m_nOutput >= 0) {
            ::close(m_nOutput);
        }
    }

    bool IsRunning() const { return m_nPid > 0; }

    // The next line that begins with strPrefix, skipping others; empty when none comes in time.
    std::string WaitForLine(const std::string& strPrefix) {
        const auto deadline = std::chrono::steady_clock::now() + LINE_TIMEOUT;
        for (;;) {
            const auto nEnd = m_strPending.find('\n');
            if (nEnd != std::string::npos) {
                std::string strLine = m_strPending.substr(0, nEnd);
                m_strPending.erase(0, nEnd + 1);
                if (strLine.rfind(strPrefix, 0) == 0) {
                    return strLine;
                }
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fd{m_nOutput, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                return {};
            }
            char acBuffer[1024];
            const ssize_t nRead = ::read(m_nOutput, acBuffer, sizeof acBuffer);
            if (nRead <= 0) {
                return {};
            }
            m_strPending.append(acBuffer, static_cast<std::size_t>(nRead));
        }
    }

    void Signal(int nSignal) { ::kill(m_nPid, nSignal); }

    // The exit status after a stop signal, or -1 when it did not end normally in time.
    int WaitForExit() {
        for (int i = 0; i < 500; ++i) {
            int nStatus = 0;
            const pid_t nDone = ::waitpid(m_nPid, &nStatus, WNOHANG);
            if (nDone == m_nPid) {
                m_nPid = -1;
                return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

private:
    pid_t m_nPid = -1;
    int m_nOutput = -1;
    std::string m_strPending;
};

} // namespace

TEST(SimulatorProgram, HelpListsEveryOptionAndThePolicy) {
    const SOutcome outcome = RunToEnd("--help");
    EXPECT_EQ(outcome.nExitStatus, 0);
    for (const char* pszExpected : {"Usage: tavik-instrument-sim",
                                    "--port",
                                    "--client-port",
                                    "--bind",
                                    "--instrument",
                                    "address=",
                                    "host=",
                                    "name=",
                                    "in-use=",
                                    "claimed=",
                                    "owner=",
                                    "owner-address=",
                                    "mute=",
                                    "--mute-codes",
                                    "--delay-ms",
                                    "--answer-twice",
                                    "--malformed",
                                    "--quiet",
                                    "--farm",
                                    "SIGUSR1",
                                    "repair (4)",
                                    "release (3)"}) {
        EXPECT_NE(outcome.strOutput.find(pszExpected), std::string::npos) << pszExpected;
    }
}

TEST(SimulatorProgram, BadOptionsExitWithTwoAndSayWhy) {
    for (const char* pszArguments :
         {"--frobnicate", "--port 70000 --instrument address=127.0.0.2", "--instrument host=x",
          "--instrument address=127.0.0.300", "--instrument address=127.0.0.2,colour=red",
          "--instrument address=127.0.0.2,in-use=256",
          "--mute-codes 3,x --instrument address=127.0.0.2", "--port", "",
          "--mute=1 --instrument address=127.0.0.2", "--farm 127.0.1.1", "--farm 127.0.1.1,0",
          "--farm 255.255.255.255,2", "--farm 127.0.1.1,65537"}) {
        const SOutcome outcome = RunToEnd(pszArguments);
        EXPECT_EQ(outcome.nExitStatus, 2) << pszArguments;
        EXPECT_NE(outcome.strOutput.find("tavik-instrument-sim: "), std::string::npos)
            << pszArguments;
    }
}

TEST(SimulatorProgram, AnswersLogsMutesOnSignalsAndStopsCleanly) {
    CLoopbackClient client;
    CRunningSimulator simulator({"--port=0", "--client-port", std::to_string(client.Port()),
                                 "--instrument", "address=127.0.0.2,host=inst-a,name=Lab-1",
                                 "--instrument", "address=127.0.0.3,mute=1"});
    ASSERT_TRUE(simulator.IsRunning());
    const std::string strListening = simulator.WaitForLine("listening on port ");
    ASSERT_FALSE(strListening.empty());
    const auto nPort = static_cast<std::uint16_t>(std::stoul(strListening.substr(18)));

    client.Send(LOOPBACK_BROADCAST, nPort, BuildDiscoveryRequest());
    auto reply = client.Receive(LINE_TIMEOUT);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->dwFrom, 0x7F000002u);
    const auto description = DiscoveryReplyDescription(reply->Payload());
    ASSERT_TRUE(description);
    EXPECT_EQ(ReadTextField(description->data() + InstrumentDescription::NAME), "Lab-1");
    EXPECT_FALSE(simulator.WaitForLine("in  discovery (1) from 127.0.0.1").empty());
    EXPECT_FALSE(simulator.WaitForLine("out discovery-reply (2) from 127.0.0.2").empty());

    simulator.Signal(SIGUSR1);
    ASSERT_FALSE(simulator.WaitForLine("muted").empty());
    client.Send(0x7F000002, nPort, BuildDiscoveryRequest());
    ASSERT_FALSE(simulator.WaitForLine("in  discovery").empty());
    simulator.Signal(SIGUSR2);
    ASSERT_FALSE(simulator.WaitForLine("unmuted").empty());
    client.Send(0x7F000002, nPort, BuildNamedRequest(MSG_VERIFY, u"Lab-1", u"pc"));
    // Nothing answered the muted request: the first datagram is the verify reply.
    reply = client.Receive(LINE_TIMEOUT);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(ReadVerifyReply(reply->Payload()))
        << reply->datagram.size() << " bytes, code " << int(reply->Payload()[0]);

    simulator.Signal(SIGTERM);
    EXPECT_EQ(simulator.WaitForExit(), 0);
}

TEST(SimulatorProgram, AFarmIsOneInstrumentPerAddressFromTheFirstOn) {
    CLoopbackClient client;
    CRunningSimulator simulator(
        {"--port=0", "--client-port", std::to_string(client.Port()), "--farm=127.0.1.250,10"});
    ASSERT_TRUE(simulator.IsRunning());
    const std::string strListening = simulator.WaitForLine("listening on port ");
    ASSERT_NE(strListening.find("10 instrument(s)"), std::string::npos) << strListening;
    const auto nPort = static_cast<std::uint16_t>(std::stoul(strListening.substr(18)));

    client.Send(LOOPBACK_BROADCAST, nPort, BuildDiscoveryRequest());
    const std::vector<SReceived> listReplies = client.ReceiveUntilQuiet(500ms);
    ASSERT_EQ(listReplies.size(), 10u);
    for (std::size_t i = 0; i < listReplies.size(); ++i) {
        // Across the end of a /24: 127.0.1.250 to 127.0.2.3.
        EXPECT_EQ(listReplies[i].dwFrom, 0x7F0001FAu + i);
        const auto description = DiscoveryReplyDescription(listReplies[i].Payload());
        ASSERT_TRUE(description);
        const std::string strNumber = std::to_string(i + 1);
        EXPECT_EQ(ReadTextField(description->data() + InstrumentDescription::NAME),
                  "Farm-" + strNumber);
        EXPECT_EQ(ReadTextField(description->data() + InstrumentDescription::HOST_NAME),
                  "tavik-f" + strNumber);
    }
}

#endif
