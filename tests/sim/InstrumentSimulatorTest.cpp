#include "sim/InstrumentSimulator.h"

#include "LoopbackClient.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t INSTRUMENT_A = 0x7F000002; // 127.0.0.2, free, named
constexpr std::uint32_t INSTRUMENT_B = 0x7F000003; // 127.0.0.3, free, no name
constexpr std::uint32_t INSTRUMENT_C = 0x7F000004; // 127.0.0.4, in use, claimed by another
constexpr std::uint32_t OTHER_CLIENT = 0x7F000009;
// Generous on a loaded machine: only waits for something that must come use it.
constexpr auto REPLY_TIMEOUT = 3000ms;

std::vector<SSimulatedInstrument> Lab() {
    SSimulatedInstrument a;
    a.strHostName = "inst-a";
    a.dwAddress = INSTRUMENT_A;
    a.strName = "Alpha";
    SSimulatedInstrument b;
    b.strHostName = "inst-b";
    b.dwAddress = INSTRUMENT_B;
    SSimulatedInstrument c;
    c.strHostName = "inst-c";
    c.dwAddress = INSTRUMENT_C;
    c.strName = "Gamma";
    c.bInUse = 1;
    c.bClaimed = 1;
    c.strOwnerHostName = "other-pc";
    c.dwOwnerAddress = OTHER_CLIENT;
    return {a, b, c};
}

std::u16string Wide(std::string_view str) {
    return std::u16string(str.begin(), str.end());
}

std::array<std::uint8_t, NAMED_REQUEST_SIZE> Named(EMessageCode nCode, std::string_view strName,
                                                   std::string_view strClient = "lab-pc") {
    return BuildNamedRequest(nCode, Wide(strName), Wide(strClient));
}

class InstrumentSimulatorTest : public ::testing::Test {
protected:
    void StartLab(std::vector<SSimulatedInstrument> instruments = Lab(),
                  SSimulatorOptions options = {}) {
        options.nPort = 0;
        options.dwBindAddress = 0;
        options.nClientPort = m_client.Port();
        options.fnLog = [this](const std::string& strLine) {
            std::lock_guard lock(m_logMutex);
            m_listLog.push_back(strLine);
        };
        m_pSimulator = std::make_unique<CInstrumentSimulator>(std::move(instruments), options);
        ASSERT_TRUE(m_pSimulator->Start()) << std::strerror(errno);
        ASSERT_NE(m_pSimulator->Port(), 0);
    }

    void Send(std::uint32_t dwTo, std::span<const std::uint8_t> payload) {
        m_client.Send(dwTo, m_pSimulator->Port(), payload);
    }

    SReceived ReceiveOne() {
        auto received = m_client.Receive(REPLY_TIMEOUT);
        EXPECT_TRUE(received) << "no reply";
        return received.value_or(SReceived{});
    }

    // Sends a request and returns the status of the one reply of that code.
    std::optional<std::uint8_t> StatusExchange(std::uint32_t dwTo, EMessageCode nCode,
                                               std::string_view strName,
                                               std::string_view strClient = "lab-pc") {
        Send(dwTo, Named(nCode, strName, strClient));
        const SReceived reply = ReceiveOne();
        if (reply.datagram.size() < DATAGRAM_HEADER_SIZE) {
            return std::nullopt;
        }
        EXPECT_EQ(reply.dwFrom, dwTo);
        return ReadStatusReply(reply.Payload(), nCode);
    }

    // Everything that arrives before the answer to a repair request sent to instrument A by its
    // name (which is left out). The simulator handles datagrams in order, so an answer to
    // anything sent before this probe would have arrived first.
    std::vector<SReceived> ReceiveBeforeProbe() {
        Send(INSTRUMENT_A, Named(MSG_REPAIR, "Alpha"));
        std::vector<SReceived> listBefore;
        while (auto received = m_client.Receive(REPLY_TIMEOUT)) {
            if (received->dwFrom == INSTRUMENT_A && ParseDatagram(received->datagram) &&
                ReadRepairReply(received->Payload())) {
                return listBefore;
            }
            listBefore.push_back(std::move(*received));
        }
        ADD_FAILURE() << "the probe was not answered";
        return listBefore;
    }

    const SSimulatedInstrument Instrument(std::size_t nIndex) const {
        return m_pSimulator->Instruments().at(nIndex);
    }

    std::vector<std::string> LogLines() {
        std::lock_guard lock(m_logMutex);
        return m_listLog;
    }

    CLoopbackClient m_client;
    std::mutex m_logMutex;
    std::vector<std::string> m_listLog;
    // Last, so that it stops before the log it writes to goes away.
    std::unique_ptr<CInstrumentSimulator> m_pSimulator;
};

std::vector<std::uint32_t> Senders(const std::vector<SReceived>& listReceived) {
    std::vector<std::uint32_t> listFrom;
    for (const SReceived& r : listReceived) {
        listFrom.push_back(r.dwFrom);
    }
    std::sort(listFrom.begin(), listFrom.end());
    return listFrom;
}

} // namespace

TEST_F(InstrumentSimulatorTest, BroadcastDiscoveryIsAnsweredByEveryInstrument) {
    StartLab();
    Send(LOOPBACK_BROADCAST, BuildDiscoveryRequest());
    std::vector<SReceived> listReplies;
    for (int i = 0; i < 3; ++i) {
        listReplies.push_back(ReceiveOne());
    }
    EXPECT_EQ(Senders(listReplies),
              (std::vector<std::uint32_t>{INSTRUMENT_A, INSTRUMENT_B, INSTRUMENT_C}));
    for (const SReceived& reply : listReplies) {
        ASSERT_TRUE(ParseDatagram(reply.datagram));
        EXPECT_EQ(reply.nFromPort, m_pSimulator->Port());
        EXPECT_EQ(reply.Header().dwDestination, LOOPBACK_CLIENT); // the request's header source
        EXPECT_EQ(reply.Header().dwSource, reply.dwFrom);
        const auto description = DiscoveryReplyDescription(reply.Payload());
        ASSERT_TRUE(description);
        EXPECT_EQ(ReadNetworkAddress(description->data() + InstrumentDescription::ADDRESS),
                  reply.dwFrom);
        if (reply.dwFrom == INSTRUMENT_C) {
            const std::uint8_t* pb = description->data();
            EXPECT_EQ(ReadTextField(pb + InstrumentDescription::HOST_NAME), "inst-c");
            EXPECT_EQ(ReadTextField(pb + InstrumentDescription::NAME), "Gamma");
            EXPECT_EQ(pb[InstrumentDescription::IN_USE], 1);
            EXPECT_EQ(pb[InstrumentDescription::CLAIMED], 1);
            EXPECT_EQ(ReadTextField(pb + InstrumentDescription::OWNER_HOST_NAME), "other-pc");
            EXPECT_EQ(ReadHeaderAddress(pb + InstrumentDescription::OWNER_ADDRESS), OTHER_CLIENT);
        }
    }
    EXPECT_TRUE(ReceiveBeforeProbe().empty()); // one reply each, no more

    const auto listRequests = m_pSimulator->Requests();
    ASSERT_GE(listRequests.size(), 1u);
    EXPECT_EQ(listRequests[0].nCode, MSG_DISCOVERY_REQUEST);
    EXPECT_EQ(listRequests[0].dwReceivedOn, LOOPBACK_BROADCAST);
    EXPECT_EQ(listRequests[0].dwHeaderDestination, LOOPBACK_BROADCAST);
    EXPECT_EQ(listRequests[0].dwHeaderSource, LOOPBACK_CLIENT);
    EXPECT_EQ(listRequests[0].dwSenderAddress, LOOPBACK_CLIENT);

    // The log has one line per datagram in and out.
    const auto listLog = LogLines();
    EXPECT_EQ(std::count_if(listLog.begin(), listLog.end(),
                            [](const std::string& s) { return s.rfind("in  discovery", 0) == 0; }),
              1);
    EXPECT_EQ(std::count_if(listLog.begin(), listLog.end(),
                            [](const std::string& s) { return s.rfind("out discovery", 0) == 0; }),
              3);
}

TEST_F(InstrumentSimulatorTest, DirectedRequestIsAnsweredByTheAddressedInstrumentOnly) {
    StartLab();
    Send(INSTRUMENT_B, BuildDiscoveryRequest());
    const SReceived reply = ReceiveOne();
    EXPECT_EQ(reply.dwFrom, INSTRUMENT_B);
    EXPECT_TRUE(ReceiveBeforeProbe().empty());

    Send(INSTRUMENT_C, Named(MSG_VERIFY, "Gamma"));
    EXPECT_EQ(ReceiveOne().dwFrom, INSTRUMENT_C);
    EXPECT_TRUE(ReceiveBeforeProbe().empty());
    EXPECT_EQ(m_pSimulator->Requests().at(2).dwReceivedOn, INSTRUMENT_C);
}

TEST_F(InstrumentSimulatorTest, ClaimIsGrantedToAFreeInstrumentAndItsOwnerOnly) {
    StartLab();
    EXPECT_EQ(StatusExchange(INSTRUMENT_B, MSG_CLAIM, "Bench-2"), STATUS_OK);
    SSimulatedInstrument b = Instrument(1);
    EXPECT_EQ(b.strName, "Bench-2");
    EXPECT_EQ(b.bClaimed, 1);
    EXPECT_EQ(b.strOwnerHostName, "lab-pc");
    EXPECT_EQ(b.dwOwnerAddress, LOOPBACK_CLIENT);

    // The same client again: granted; another client (another host name): refused.
    EXPECT_EQ(StatusExchange(INSTRUMENT_B, MSG_CLAIM, "Bench-3"), STATUS_OK);
    EXPECT_EQ(Instrument(1).strName, "Bench-3");
    EXPECT_EQ(StatusExchange(INSTRUMENT_B, MSG_CLAIM, "Mine", "intruder"), 1);
    EXPECT_EQ(Instrument(1).strName, "Bench-3");
    EXPECT_EQ(Instrument(1).strOwnerHostName, "lab-pc");

    // In use and claimed by another: refused. In use 2 does not block.
    EXPECT_EQ(StatusExchange(INSTRUMENT_C, MSG_CLAIM, "Mine"), 1);
    SSimulatedInstrument a = Instrument(0);
    a.bInUse = 2;
    m_pSimulator->SetInstrument(0, a);
    EXPECT_EQ(StatusExchange(INSTRUMENT_A, MSG_CLAIM, "Alpha"), STATUS_OK);
}

TEST_F(InstrumentSimulatorTest, ReleaseByTheOwnerUnclaimsOthersGetFiveOrSix) {
    StartLab();
    ASSERT_EQ(StatusExchange(INSTRUMENT_A, MSG_CLAIM, "Alpha"), STATUS_OK);
    EXPECT_EQ(StatusExchange(INSTRUMENT_A, MSG_RELEASE, "Alpha", "someone-else"),
              RELEASE_STATUS_OVERRIDABLE);
    EXPECT_EQ(Instrument(0).bClaimed, 1);
    EXPECT_EQ(StatusExchange(INSTRUMENT_A, MSG_RELEASE, "Alpha"), STATUS_OK);
    const SSimulatedInstrument a = Instrument(0);
    EXPECT_EQ(a.bClaimed, 0);
    EXPECT_EQ(a.strOwnerHostName, "");
    EXPECT_EQ(a.dwOwnerAddress, 0u);

    EXPECT_EQ(StatusExchange(INSTRUMENT_C, MSG_RELEASE, "Gamma"), RELEASE_STATUS_IN_USE);
    EXPECT_EQ(Instrument(2).bClaimed, 1);
}

TEST_F(InstrumentSimulatorTest, RenameAnInstrumentNotInUse) {
    StartLab();
    EXPECT_EQ(StatusExchange(INSTRUMENT_B, MSG_RENAME, "Renamed"), STATUS_OK);
    const SSimulatedInstrument b = Instrument(1);
    EXPECT_EQ(b.strName, "Renamed");
    EXPECT_EQ(b.bClaimed, 1);
    EXPECT_EQ(b.strOwnerHostName, "lab-pc");
    EXPECT_EQ(b.dwOwnerAddress, LOOPBACK_CLIENT);

    EXPECT_EQ(StatusExchange(INSTRUMENT_C, MSG_RENAME, "Renamed"), 1);
    EXPECT_EQ(Instrument(2).strName, "Gamma");
}

TEST_F(InstrumentSimulatorTest, VerifyTellsTheOwnerAndDescribesTheInstrument) {
    StartLab();
    Send(INSTRUMENT_C, Named(MSG_VERIFY, "Gamma"));
    SReceived reply = ReceiveOne();
    auto verify = ReadVerifyReply(reply.Payload());
    ASSERT_TRUE(verify);
    EXPECT_EQ(verify->nStatus, 1);
    EXPECT_EQ(verify->description[InstrumentDescription::CLAIMED], 1);
    EXPECT_EQ(ReadTextField(verify->description.data() + InstrumentDescription::OWNER_HOST_NAME),
              "other-pc");

    ASSERT_EQ(StatusExchange(INSTRUMENT_A, MSG_CLAIM, "Alpha"), STATUS_OK);
    Send(INSTRUMENT_A, Named(MSG_VERIFY, "Alpha"));
    reply = ReceiveOne();
    verify = ReadVerifyReply(reply.Payload());
    ASSERT_TRUE(verify);
    EXPECT_EQ(verify->nStatus, STATUS_OK);

    // The same host name from another header source address is not the owner.
    std::uint8_t abDatagram[MAX_DATAGRAM_SIZE];
    const auto payload = Named(MSG_VERIFY, "Alpha");
    const std::size_t nLength = FrameDatagram(INSTRUMENT_A, OTHER_CLIENT, payload, abDatagram);
    m_client.SendRaw(INSTRUMENT_A, m_pSimulator->Port(), std::span(abDatagram, nLength));
    reply = ReceiveOne();
    verify = ReadVerifyReply(reply.Payload());
    ASSERT_TRUE(verify);
    EXPECT_EQ(verify->nStatus, 1);
    EXPECT_EQ(reply.Header().dwDestination, OTHER_CLIENT);
}

TEST_F(InstrumentSimulatorTest, RepairIsAnsweredOnlyByTheInstrumentOfThatName) {
    StartLab();
    Send(LOOPBACK_BROADCAST, Named(MSG_REPAIR, "Gamma"));
    const SReceived reply = ReceiveOne();
    EXPECT_EQ(reply.dwFrom, INSTRUMENT_C);
    const auto repair = ReadRepairReply(reply.Payload());
    ASSERT_TRUE(repair);
    EXPECT_EQ(repair->nStatus, STATUS_OK);
    EXPECT_EQ(repair->dwAddress, INSTRUMENT_C);
    EXPECT_TRUE(ReceiveBeforeProbe().empty());

    // Names are compared exactly.
    Send(LOOPBACK_BROADCAST, Named(MSG_REPAIR, "gamma"));
    EXPECT_TRUE(ReceiveBeforeProbe().empty());
}

TEST_F(InstrumentSimulatorTest, MalformedDatagramsAreIgnoredAndNotRecorded) {
    StartLab();
    const std::uint16_t nPort = m_pSimulator->Port();
    std::uint8_t abDatagram[MAX_DATAGRAM_SIZE];

    const auto discovery = BuildDiscoveryRequest();
    std::size_t nLength = FrameDatagram(INSTRUMENT_A, LOOPBACK_CLIENT, discovery, abDatagram);
    abDatagram[0] = 'X'; // bad magic
    m_client.SendRaw(INSTRUMENT_A, nPort, std::span(abDatagram, nLength));
    abDatagram[0] = 'M';
    m_client.SendRaw(INSTRUMENT_A, nPort, std::span(abDatagram, 11)); // short

    std::vector<std::uint8_t> truncated(20, 0);
    WriteDatagramHeader(truncated.data(), DatagramHeader{INSTRUMENT_A, LOOPBACK_CLIENT, 100});
    m_client.SendRaw(INSTRUMENT_A, nPort, truncated);

    const std::vector<std::uint8_t> longDiscovery(NAMED_REQUEST_SIZE, MSG_DISCOVERY_REQUEST);
    Send(INSTRUMENT_A, longDiscovery);
    const std::vector<std::uint8_t> shortClaim{MSG_CLAIM};
    Send(INSTRUMENT_A, shortClaim);
    Send(INSTRUMENT_A, BuildDiscoveryReply({})); // a reply, not a request
    Send(INSTRUMENT_A, std::span<const std::uint8_t>());

    EXPECT_TRUE(ReceiveBeforeProbe().empty());
    EXPECT_EQ(m_pSimulator->Requests().size(), 1u); // the probe alone
    const auto listLog = LogLines();
    EXPECT_EQ(std::count_if(listLog.begin(), listLog.end(),
                            [](const std::string& s) { return s.rfind("in  ignored", 0) == 0; }),
              7);
}

TEST_F(InstrumentSimulatorTest, MuteAllRecordsButDoesNotAnswerOrAct) {
    SSimulatorOptions options;
    options.bMute = true;
    StartLab(Lab(), options);
    Send(INSTRUMENT_A, Named(MSG_CLAIM, "Muted"));
    ASSERT_TRUE(m_pSimulator->WaitForRequests(MSG_CLAIM, 1, REPLY_TIMEOUT));
    m_pSimulator->SetMute(false);
    EXPECT_TRUE(ReceiveBeforeProbe().empty());
    EXPECT_EQ(Instrument(0).bClaimed, 0);
    EXPECT_EQ(m_pSimulator->CountRequests(MSG_CLAIM), 1u);
}

TEST_F(InstrumentSimulatorTest, MutedCodesAndMutedInstrumentsStaySilent) {
    SSimulatorOptions options;
    options.setMuteCodes = {MSG_RELEASE, MSG_VERIFY};
    std::vector<SSimulatedInstrument> instruments = Lab();
    instruments[1].bMute = true;
    StartLab(instruments, options);

    Send(INSTRUMENT_A, Named(MSG_VERIFY, "Alpha"));
    Send(INSTRUMENT_A, Named(MSG_RELEASE, "Alpha"));
    Send(INSTRUMENT_B, Named(MSG_CLAIM, "B"));
    EXPECT_TRUE(ReceiveBeforeProbe().empty());
    EXPECT_EQ(Instrument(1).bClaimed, 0);

    Send(LOOPBACK_BROADCAST, BuildDiscoveryRequest());
    EXPECT_EQ(Senders(ReceiveBeforeProbe()),
              (std::vector<std::uint32_t>{INSTRUMENT_A, INSTRUMENT_C}));

    m_pSimulator->SetMuteCodes({});
    EXPECT_EQ(StatusExchange(INSTRUMENT_A, MSG_RELEASE, "Alpha"), RELEASE_STATUS_OVERRIDABLE);
}

TEST_F(InstrumentSimulatorTest, AnswerTwiceSendsEveryAnswerTwice) {
    SSimulatorOptions options;
    options.bAnswerTwice = true;
    StartLab(Lab(), options);
    Send(INSTRUMENT_A, Named(MSG_CLAIM, "Alpha"));
    const SReceived first = ReceiveOne();
    const SReceived second = ReceiveOne();
    EXPECT_EQ(first.datagram, second.datagram);
    EXPECT_EQ(ReadStatusReply(first.Payload(), MSG_CLAIM), STATUS_OK);
    m_pSimulator->SetAnswerTwice(false);
    EXPECT_TRUE(ReceiveBeforeProbe().empty());
}

TEST_F(InstrumentSimulatorTest, BurstSendsEveryAnswerAtOnceAndLogsItsRate) {
    constexpr std::uint32_t nInstruments = 100; // the client's socket holds them all
    std::vector<SSimulatedInstrument> listFarm(nInstruments);
    for (std::uint32_t i = 0; i < nInstruments; ++i) {
        listFarm[i].dwAddress = 0x7F000100 + i;
    }
    SSimulatorOptions options;
    options.bBurst = true;
    StartLab(listFarm, options);
    Send(LOOPBACK_BROADCAST, BuildDiscoveryRequest());
    const std::vector<SReceived> listReplies = m_client.ReceiveUntilQuiet(500ms);
    ASSERT_EQ(listReplies.size(), nInstruments);
    EXPECT_EQ(Senders(listReplies).back(), 0x7F000100 + nInstruments - 1);
    const auto listLog = LogLines();
    EXPECT_EQ(std::count_if(listLog.begin(), listLog.end(),
                            [](const std::string& s) {
                                return s.rfind("burst of 100 answers, sendmmsg, in ", 0) == 0 &&
                                       s.back() == ')';
                            }),
              1);
    EXPECT_EQ(std::count_if(listLog.begin(), listLog.end(),
                            [](const std::string& s) { return s.rfind("out ", 0) == 0; }),
              0);
}

TEST_F(InstrumentSimulatorTest, MalformedSwitchSendsABrokenDatagramBeforeEachAnswer) {
    SSimulatorOptions options;
    options.bMalformed = true;
    StartLab(Lab(), options);
    Send(INSTRUMENT_B, Named(MSG_CLAIM, "B"));
    const SReceived broken = ReceiveOne();
    EXPECT_EQ(broken.dwFrom, INSTRUMENT_B);
    EXPECT_TRUE(HasDatagramMagic(broken.datagram));
    EXPECT_FALSE(ParseDatagram(broken.datagram));
    const SReceived reply = ReceiveOne();
    ASSERT_TRUE(ParseDatagram(reply.datagram));
    EXPECT_EQ(ReadStatusReply(reply.Payload(), MSG_CLAIM), STATUS_OK);
}

TEST_F(InstrumentSimulatorTest, DelayedAnswersWaitWithoutHoldingBackOthers) {
    constexpr auto DELAY = 400ms;
    SSimulatorOptions options;
    options.delay = DELAY;
    StartLab(Lab(), options);

    const auto sent = std::chrono::steady_clock::now();
    Send(INSTRUMENT_A, Named(MSG_VERIFY, "Alpha"));
    ASSERT_TRUE(m_pSimulator->WaitForRequests(MSG_VERIFY, 1, REPLY_TIMEOUT));
    m_pSimulator->SetDelay(0ms);
    Send(INSTRUMENT_B, Named(MSG_CLAIM, "B"));

    const SReceived first = ReceiveOne();
    const SReceived second = ReceiveOne();
    EXPECT_EQ(first.dwFrom, INSTRUMENT_B); // the undelayed answer overtakes
    EXPECT_TRUE(ReadStatusReply(first.Payload(), MSG_CLAIM));
    EXPECT_EQ(second.dwFrom, INSTRUMENT_A);
    EXPECT_TRUE(ReadVerifyReply(second.Payload()));
    EXPECT_GE(second.when - sent, DELAY);
    EXPECT_LT(second.when - sent, DELAY + REPLY_TIMEOUT);
}

TEST_F(InstrumentSimulatorTest, StateCanBeChangedWhileRunning) {
    StartLab();
    SSimulatedInstrument d;
    d.dwAddress = 0x7F000005;
    d.strName = "Delta";
    m_pSimulator->AddInstrument(d);
    m_pSimulator->RemoveInstrument(0);
    m_pSimulator->RemoveInstrument(99); // ignored
    ASSERT_EQ(m_pSimulator->Instruments().size(), 3u);

    Send(LOOPBACK_BROADCAST, BuildDiscoveryRequest());
    const auto listReplies = m_client.ReceiveUntilQuiet(500ms);
    EXPECT_EQ(Senders(listReplies),
              (std::vector<std::uint32_t>{INSTRUMENT_B, INSTRUMENT_C, 0x7F000005}));

    m_pSimulator->ClearRequests();
    EXPECT_TRUE(m_pSimulator->Requests().empty());
    EXPECT_FALSE(m_pSimulator->WaitForRequests(MSG_CLAIM, 1, 50ms));
}

TEST(InstrumentSimulator, StartAndStopAreSafeToRepeatAndFailuresKeepErrno) {
    SSimulatorOptions options;
    options.nPort = 0;
    options.dwBindAddress = 0x7F000001;
    CInstrumentSimulator first({}, options);
    ASSERT_TRUE(first.Start());
    EXPECT_FALSE(first.Start()); // already running
    first.Stop();
    first.Stop();

    options.dwBindAddress = 0x01020304; // not an address of this machine; nothing is sent
    CInstrumentSimulator second({}, options);
    EXPECT_FALSE(second.Start());
    EXPECT_EQ(errno, EADDRNOTAVAIL);
}

// Without a socket: the request is recorded and acted upon, and the answers come back as bytes.
TEST(InstrumentSimulator, RespondDecidesAsTheSocketWouldWithoutSending) {
    CInstrumentSimulator simulator(Lab(), SSimulatorOptions{});
    std::vector<std::uint8_t> datagram(MAX_DATAGRAM_SIZE);
    const auto claim = Named(MSG_CLAIM, "Beta");
    datagram.resize(FrameDatagram(INSTRUMENT_B, OTHER_CLIENT, claim, datagram.data()));

    const std::vector<SSimulatorAnswer> listAnswers =
        simulator.Respond(datagram, OTHER_CLIENT, INSTRUMENT_B);
    ASSERT_EQ(listAnswers.size(), 1u);
    EXPECT_EQ(listAnswers[0].dwFrom, INSTRUMENT_B);
    EXPECT_EQ(listAnswers[0].dwTo, OTHER_CLIENT);
    const auto reply = ParseDatagram(listAnswers[0].datagram);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->header.dwDestination, OTHER_CLIENT);
    EXPECT_EQ(ReadStatusReply(reply->payload, MSG_CLAIM), STATUS_OK);
    EXPECT_EQ(simulator.Instruments()[1].strName, "Beta");
    EXPECT_EQ(simulator.CountRequests(MSG_CLAIM), 1u);

    // What is no request gets nothing and is not recorded.
    datagram.back() ^= 0xFF;
    datagram.pop_back();
    EXPECT_TRUE(simulator.Respond(datagram, OTHER_CLIENT, INSTRUMENT_B).empty());
    EXPECT_EQ(simulator.Requests().size(), 1u);
}
