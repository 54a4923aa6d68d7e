// The link over loopback against a raw peer: what goes out, what comes in, and when.
#include "LinkTestSupport.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class LinkOnLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        m_pLink = StartLoopbackLink(m_peer);
        ASSERT_NE(m_pLink, nullptr);
        m_pLink->m_dwDestinationAddress = LOOPBACK_ADDRESS;
        m_pLink->m_dwSourceAddress = LOOPBACK_ADDRESS;
        m_nLinkPort = m_pLink->GetLocalPort();
    }
    // Sends to the link and waits until the socket thread has announced it.
    void Deliver(const Bytes& datagram, int nAnnouncedBefore) {
        ASSERT_TRUE(m_peer.SendTo(m_nLinkPort, datagram));
        ASSERT_TRUE(WaitUntil([&] { return m_target.Count() > nAnnouncedBefore; }, 3000ms));
    }

    CLoopbackPeer m_peer;
    // Before the link, so that it outlives the socket thread that announces to it.
    CCountingNotifyTarget m_target;
    std::unique_ptr<CUDPInstrumentInterface> m_pLink;
    std::uint16_t m_nLinkPort = 0;
};

} // namespace

TEST_F(LinkOnLoopback, SendFramesThePayloadAndWaitsUntilItWentOut) {
    CLinkLogCapture log;
    m_pLink->m_dwDestinationAddress = 0x7F000001;
    m_pLink->m_dwSourceAddress = 0x7F000009;
    const Bytes payload = MakePayload(MSG_CLAIM, NAMED_REQUEST_SIZE);
    ASSERT_EQ(m_pLink->Send(payload.data(), static_cast<std::uint32_t>(payload.size())),
              STATUS_NO_ERROR);
    const auto sent = m_peer.ReceiveWithin(2000);
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(*sent, MakeDatagram(0x7F000001, 0x7F000009, payload));

    const std::vector<std::string> listDebug = log.Lines(LINK_LOG_DEBUG);
    ASSERT_EQ(listDebug.size(), 1u);
    EXPECT_NE(listDebug[0].find("127.0.0.9"), std::string::npos) << listDebug[0];
    EXPECT_NE(listDebug[0].find("141 bytes"), std::string::npos) << listDebug[0];

    // The largest payload makes a 524-byte datagram; one byte more is refused unsent.
    const Bytes largest = MakePayload(MSG_VERIFY, MAX_PAYLOAD_SIZE);
    ASSERT_EQ(m_pLink->Send(largest.data(), MAX_PAYLOAD_SIZE), STATUS_NO_ERROR);
    const auto sentLargest = m_peer.ReceiveWithin(2000);
    ASSERT_TRUE(sentLargest.has_value());
    EXPECT_EQ(sentLargest->size(), MAX_DATAGRAM_SIZE);

    const Bytes tooLong = MakePayload(MSG_VERIFY, MAX_PAYLOAD_SIZE + 1);
    EXPECT_EQ(m_pLink->Send(tooLong.data(), MAX_PAYLOAD_SIZE + 1), STATUS_OUT_MESSAGE_SIZE);
    EXPECT_EQ(m_pLink->Send(nullptr, 1), STATUS_CANNOT_SEND_MESSAGE);
    EXPECT_FALSE(m_peer.ReceiveWithin(200).has_value());
}

TEST_F(LinkOnLoopback, SendReachesTheBroadcastAddress) {
    m_pLink->m_dwDestinationAddress = LOOPBACK_BROADCAST;
    const auto request = BuildDiscoveryRequest();
    const Bytes payload(request.begin(), request.end());
    ASSERT_EQ(m_pLink->Send(payload.data(), 1), STATUS_NO_ERROR);
    const auto sent = m_peer.ReceiveWithin(2000);
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(*sent, MakeDatagram(LOOPBACK_BROADCAST, LOOPBACK_ADDRESS, payload));
}

// A reply that arrived as a request went out still reaches its window; only a Transact, which
// waits for the reply to its own request, passes over what waited before it.
TEST_F(LinkOnLoopback, ASendKeepsTheDatagramsNotYetTakenAndATransactDropsThem) {
    m_pLink->m_hNotifyWnd.store(&m_target);
    const Bytes claimReply = MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, MakePayload(MSG_CLAIM, 2));
    Deliver(claimReply, 0);
    Deliver(MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, MakePayload(MSG_RENAME, 2)), 1);
    const Bytes payload = MakePayload(MSG_VERIFY, NAMED_REQUEST_SIZE);
    ASSERT_EQ(m_pLink->Send(payload.data(), NAMED_REQUEST_SIZE), STATUS_NO_ERROR);
    Bytes buffer(MAX_DATAGRAM_SIZE);
    std::uint32_t dwLength = 0;
    ASSERT_TRUE(m_pLink->TakeDatagram(&dwLength, buffer.data()));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + dwLength), claimReply);

    ASSERT_TRUE(m_peer.ReceiveWithin(2000).has_value());
    EXPECT_EQ(m_pLink->Transact(payload.data(), NAMED_REQUEST_SIZE, buffer.data(), &dwLength,
                                MAX_DATAGRAM_SIZE),
              STATUS_CANNOT_READ_RESPONSE); // the rename reply was stale, and nothing came
}

TEST_F(LinkOnLoopback, ReceiveSkipsBroadcastDatagramsAndReturnsTheNextPayload) {
    m_pLink->m_hNotifyWnd.store(&m_target);
    // The client's own broadcast request, heard back, and another client's.
    Deliver(
        MakeDatagram(LOOPBACK_BROADCAST, LOOPBACK_ADDRESS, MakePayload(MSG_DISCOVERY_REQUEST, 1)),
        0);
    Deliver(MakeDatagram(LOOPBACK_BROADCAST, 0x7F000005, MakePayload(MSG_REPAIR, 129)), 1);
    const Bytes reply = MakePayload(MSG_VERIFY, VERIFY_REPLY_SIZE, 9);
    Deliver(MakeDatagram(LOOPBACK_ADDRESS, 0x7F000007, reply), 2);

    Bytes buffer(VERIFY_REPLY_SIZE);
    std::uint32_t dwLength = 0;
    ASSERT_EQ(m_pLink->Receive(buffer.data(), &dwLength, VERIFY_REPLY_SIZE), STATUS_NO_ERROR);
    EXPECT_EQ(dwLength, VERIFY_REPLY_SIZE);
    EXPECT_EQ(buffer, reply);
    EXPECT_EQ(m_pLink->m_dwLastSourceAddress, 0x7F000007u);
    EXPECT_EQ(m_pLink->Receive(buffer.data(), nullptr, VERIFY_REPLY_SIZE),
              STATUS_CANNOT_READ_RESPONSE);
}

TEST_F(LinkOnLoopback, ReceiveGivesUpAfterAboutOneSecondWhenOnlyBroadcastsCome) {
    m_pLink->m_hNotifyWnd.store(&m_target);
    Deliver(
        MakeDatagram(LOOPBACK_BROADCAST, LOOPBACK_ADDRESS, MakePayload(MSG_DISCOVERY_REQUEST, 1)),
        0);
    Bytes buffer(MAX_PAYLOAD_SIZE);
    std::uint32_t dwLength = 99;
    const auto start = Clock::now();
    EXPECT_EQ(m_pLink->Receive(buffer.data(), &dwLength, MAX_PAYLOAD_SIZE),
              STATUS_CANNOT_READ_RESPONSE);
    const long long nElapsed = MsSince(start);
    EXPECT_EQ(dwLength, 0u);
    EXPECT_GE(nElapsed, 950);
    EXPECT_LE(nElapsed, 3000);
}

TEST_F(LinkOnLoopback, ReplyLongerThanTheCapacityIsConsumedEitherWay) {
    m_pLink->m_hNotifyWnd.store(&m_target);
    const Bytes reply = MakePayload(MSG_DISCOVERY_REPLY, DISCOVERY_REPLY_SIZE);
    Deliver(MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, reply), 0);
    Deliver(MakeDatagram(LOOPBACK_ADDRESS, 0x7F000003, reply), 1);

    Bytes buffer(10, 0xCC);
    std::uint32_t dwLength = 0;
    EXPECT_EQ(m_pLink->Receive(buffer.data(), &dwLength, 10), STATUS_CANNOT_READ_RESPONSE);
    EXPECT_EQ(buffer, Bytes(10, 0xCC));
    EXPECT_EQ(m_pLink->Receive(nullptr, &dwLength, 10), STATUS_NO_ERROR);
    EXPECT_EQ(dwLength, DISCOVERY_REPLY_SIZE);
    EXPECT_EQ(m_pLink->m_dwLastSourceAddress, 0x7F000003u);
    std::uint32_t dwWhole = 0;
    EXPECT_FALSE(m_pLink->TakeDatagram(&dwWhole, nullptr));
}

TEST_F(LinkOnLoopback, TransactSendsThenReceivesTheReply) {
    std::uint32_t dwLength = 7;
    const Bytes request = MakePayload(MSG_CLAIM, NAMED_REQUEST_SIZE);
    Bytes reply(STATUS_REPLY_SIZE);
    EXPECT_EQ(m_pLink->Transact(nullptr, 1, reply.data(), &dwLength, 2),
              STATUS_CANNOT_SEND_MESSAGE);
    EXPECT_EQ(m_pLink->Transact(request.data(), NAMED_REQUEST_SIZE, reply.data(), nullptr, 2),
              STATUS_CANNOT_SEND_MESSAGE);
    EXPECT_EQ(m_pLink->Transact(request.data(), MAX_PAYLOAD_SIZE + 1, reply.data(), &dwLength, 2),
              STATUS_OUT_MESSAGE_SIZE);
    EXPECT_EQ(dwLength, 0u);

    // The instrument answers once the request has arrived.
    std::thread instrument([this] {
        if (m_peer.ReceiveWithin(3000)) {
            m_peer.SendTo(m_nLinkPort,
                          MakeDatagram(LOOPBACK_ADDRESS, 0x7F000004, Bytes{MSG_CLAIM, STATUS_OK}));
        }
    });
    const int nStatus =
        m_pLink->Transact(request.data(), NAMED_REQUEST_SIZE, reply.data(), &dwLength, 2);
    instrument.join();
    EXPECT_EQ(nStatus, STATUS_NO_ERROR);
    EXPECT_EQ(dwLength, STATUS_REPLY_SIZE);
    EXPECT_EQ(reply, (Bytes{MSG_CLAIM, STATUS_OK}));
}

TEST_F(LinkOnLoopback, ArrivingDatagramsAreAnnouncedFromTheSocketThreadOncePerChunk) {
    m_pLink->m_hNotifyWnd.store(&m_target);
    constexpr int nDatagrams = 5;
    for (int i = 0; i < nDatagrams; ++i) {
        ASSERT_TRUE(m_peer.SendTo(
            m_nLinkPort, MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, MakePayload(MSG_CLAIM, 2, i))));
    }
    // Datagrams that arrive together are appended, and announced, as one chunk.
    std::this_thread::sleep_for(200ms);
    EXPECT_GE(m_target.Count(), 1);
    EXPECT_LE(m_target.Count(), nDatagrams);
    const auto setThreads = m_target.Threads();
    ASSERT_EQ(setThreads.size(), 1u);
    EXPECT_NE(*setThreads.begin(), std::this_thread::get_id());
    EXPECT_EQ(TakeAll(*m_pLink).size(), static_cast<std::size_t>(nDatagrams));
}

TEST_F(LinkOnLoopback, OnlyWellFormedDatagramsAreStoredAndOnlyTheAnnouncedBytes) {
    m_pLink->m_hNotifyWnd.store(&m_target);
    const Bytes good = MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, MakePayload(MSG_CLAIM, 2));
    Bytes noMagic = good;
    noMagic[0] = 'N';
    Bytes shortHeader(good.begin(), good.begin() + 11);
    Bytes tooLarge = MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, MakePayload(MSG_VERIFY, 513));
    Bytes missingBytes = MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, MakePayload(MSG_VERIFY, 204));
    missingBytes.pop_back();
    for (const Bytes& bad : {noMagic, shortHeader, tooLarge, missingBytes, Bytes{}}) {
        ASSERT_TRUE(m_peer.SendTo(m_nLinkPort, bad));
    }
    // Trailing bytes behind the announced payload are dropped.
    Bytes trailing = good;
    trailing.insert(trailing.end(), {'M', 'V', 1, 2, 3});
    Deliver(trailing, 0);
    Deliver(good, 1);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(m_target.Count(), 2);
    const std::vector<Bytes> listTaken = TakeAll(*m_pLink);
    ASSERT_EQ(listTaken.size(), 2u);
    EXPECT_EQ(listTaken[0], good);
    EXPECT_EQ(listTaken[1], good);
    EXPECT_EQ(m_pLink->ReceiveSpace(), CUDPInstrumentInterface::BUFFER_SIZE);
}

TEST_F(LinkOnLoopback, DatagramWaitsInTheSocketUntilTheLargestFitsBehindWhatIsHeld) {
    m_pLink->m_hNotifyWnd.store(&m_target);
    // Leave 520 bytes free: fewer than a 524-byte datagram needs.
    const Bytes largest = MakeDatagram(LOOPBACK_ADDRESS, 0x7F000003, MakePayload(MSG_VERIFY, 512));
    Bytes filler;
    for (int i = 0; i < 6; ++i) {
        filler.insert(filler.end(), largest.begin(), largest.end());
    }
    const Bytes last = MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, MakePayload(MSG_CLAIM, 420));
    filler.insert(filler.end(), last.begin(), last.end());
    ASSERT_TRUE(m_pLink->AppendReceived(filler.data(), static_cast<std::uint32_t>(filler.size())));
    ASSERT_EQ(m_pLink->ReceiveSpace(), 520u);
    const Bytes arriving =
        MakeDatagram(LOOPBACK_ADDRESS, 0x7F000004, MakePayload(MSG_VERIFY, 512, 5));
    ASSERT_TRUE(m_peer.SendTo(m_nLinkPort, arriving));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(m_target.Count(), 1); // the filler's announcement only
    EXPECT_EQ(m_pLink->ReceiveSpace(), 520u);

    // Taking one datagram makes room and wakes the socket thread, well before its wait's bound;
    // the waiting one comes in whole, behind the rest.
    std::uint32_t dwLength = 0;
    const auto taken = Clock::now();
    ASSERT_TRUE(m_pLink->TakeDatagram(&dwLength, nullptr));
    ASSERT_TRUE(WaitUntil([&] { return m_target.Count() == 2; }, 3000ms));
    EXPECT_LT(MsSince(taken), 500);
    const std::vector<Bytes> listTaken = TakeAll(*m_pLink);
    ASSERT_EQ(listTaken.size(), 7u);
    EXPECT_EQ(listTaken[5], last);
    EXPECT_EQ(listTaken[6], arriving);
    EXPECT_EQ(m_pLink->GetLastSocketError(), 0);
}

TEST_F(LinkOnLoopback, ABurstIsReadFasterThanOneDatagramPerPass) {
    m_pLink->m_hNotifyWnd.store(&m_target);
    // At one datagram per 20 ms pass, 300 datagrams would take at least 6 seconds.
    constexpr int nDatagrams = 300;
    const auto start = Clock::now();
    for (int i = 0; i < nDatagrams; ++i) {
        ASSERT_TRUE(
            m_peer.SendTo(m_nLinkPort, MakeDatagram(LOOPBACK_ADDRESS, 0x7F000000 + i,
                                                    MakePayload(MSG_DISCOVERY_REPLY, 203, i))));
    }
    std::vector<Bytes> listTaken;
    WaitUntil(
        [&] {
            for (Bytes& datagram : TakeAll(*m_pLink)) {
                listTaken.push_back(std::move(datagram));
            }
            return listTaken.size() >= static_cast<std::size_t>(nDatagrams);
        },
        6000ms);
    ASSERT_EQ(listTaken.size(), static_cast<std::size_t>(nDatagrams));
    EXPECT_LT(MsSince(start), 3000);
    for (int i = 0; i < nDatagrams; ++i) {
        ASSERT_EQ(ReadDatagramHeader(listTaken[i].data()).dwSource, 0x7F000000u + i);
    }
    EXPECT_LE(m_target.Count(), nDatagrams); // a chunk at a time
}

// Discovery replies, each from its own instrument, paced so that a socket thread that reads on
// keeps up with them.
void SendBurst(CLoopbackPeer& peer, std::uint16_t nPort, int nDatagrams, int nPerMs) {
    for (int i = 0; i < nDatagrams; ++i) {
        ASSERT_TRUE(peer.SendTo(nPort, MakeDatagram(LOOPBACK_ADDRESS, 0x0A000000 + i,
                                                    MakePayload(MSG_DISCOVERY_REPLY, 203, i))));
        if (i % nPerMs == nPerMs - 1) {
            std::this_thread::sleep_for(1ms);
        }
    }
}

// Whatever it takes until none has come for a while, checked oldest first.
std::size_t TakeInOrder(CUDPInstrumentInterface& link) {
    std::vector<Bytes> listTaken;
    for (auto last = Clock::now(); Clock::now() - last < 500ms;) {
        for (Bytes& datagram : TakeAll(link)) {
            listTaken.push_back(std::move(datagram));
            last = Clock::now();
        }
        std::this_thread::sleep_for(1ms);
    }
    for (std::size_t i = 1; i < listTaken.size(); ++i) {
        EXPECT_LT(ReadDatagramHeader(listTaken[i - 1].data()).dwSource,
                  ReadDatagramHeader(listTaken[i].data()).dwSource);
    }
    return listTaken.size();
}

TEST(LinkStaging, ABurstLeavesTheSocketWhileNothingIsTakenAndComesOutWholeOldestFirst) {
    // The kernel holds a few hundred of them; the burst is more than that and the receive buffer.
    CLoopbackPeer peer;
    CUDPInstrumentInterface link(LOOPBACK_ADDRESS, LOOPBACK_BROADCAST, FreeUDPPort(), peer.Port(),
                                 256 << 10);
    ASSERT_EQ(link.WaitForSetup(3000), ELinkSetup::Bound);
    SendBurst(peer, link.GetLocalPort(), 2000, 10);
    std::this_thread::sleep_for(200ms); // the window thread is busy elsewhere
    EXPECT_EQ(TakeInOrder(link), 2000u);
    EXPECT_EQ(link.GetDroppedDatagrams(), 0u);
}

TEST(LinkStaging, AFloodBeyondTheStagingAreaIsDroppedCountedAndLoggedOnce) {
    CLinkLogCapture log;
    CLoopbackPeer peer;
    CUDPInstrumentInterface link(LOOPBACK_ADDRESS, LOOPBACK_BROADCAST, FreeUDPPort(), peer.Port());
    ASSERT_EQ(link.WaitForSetup(3000), ELinkSetup::Bound);
    constexpr int nSent = CUDPInstrumentInterface::STAGED_DATAGRAMS + 3000;
    SendBurst(peer, link.GetLocalPort(), nSent, 64);
    ASSERT_TRUE(WaitUntil([&] { return link.GetDroppedDatagrams() > 0; }, 3000ms));
    const std::size_t nHeld =
        CUDPInstrumentInterface::STAGED_DATAGRAMS + CUDPInstrumentInterface::BUFFER_SIZE / 215;
    EXPECT_EQ(TakeInOrder(link), nHeld);
    EXPECT_LE(link.GetDroppedDatagrams(), nSent - nHeld);
    EXPECT_EQ(log.TimesOf(LINK_LOG_WARNING, "further datagrams are dropped").size(), 1u);
}

TEST_F(LinkOnLoopback, AnIdleLinkEndsAtOnceWhenDestroyed) {
    std::this_thread::sleep_for(50ms);
    const auto start = Clock::now();
    m_pLink.reset();
    EXPECT_LT(MsSince(start), 500); // the bound of the thread's wait is 1000 ms
}

TEST(LinkSocketBuffer, IsWarnedOfOnceWhenTheKernelGrantsLessThanAsked) {
    // Asked for more than an unprivileged process may have on most machines; the kernel reports
    // twice what it grants.
    constexpr int nAsked = 64 << 20;
    CLinkLogCapture log;
    CUDPInstrumentInterface link(LOOPBACK_ADDRESS, LOOPBACK_BROADCAST, FreeUDPPort(), FreeUDPPort(),
                                 nAsked);
    ASSERT_TRUE(WaitUntil([&] { return link.GetSocketReceiveBufferBytes() > 0; }, 2000ms));
    CUDPSocket probe;
    ASSERT_TRUE(probe.Open());
    probe.RequestReceiveBuffer(nAsked);
    EXPECT_EQ(link.GetSocketReceiveBufferBytes(), probe.GetReceiveBufferSize());
    const bool bShort = probe.GetReceiveBufferSize() / 2 < nAsked;
    const auto listWarnings = log.Lines(LINK_LOG_WARNING);
    ASSERT_EQ(listWarnings.size(), bShort ? 1u : 0u);
    if (bShort) {
        EXPECT_NE(listWarnings[0].find("net.core.rmem_max=67108864"), std::string::npos)
            << listWarnings[0];
    }
}

TEST(LinkSendError, ASendTheSocketRefusesFailsAtOnceAndKeepsTheError) {
    CLinkLogCapture log;
    CLoopbackPeer peer;
    // Peer port 0: loopback refuses to send there (EINVAL), and nothing leaves the machine.
    std::unique_ptr<CUDPInstrumentInterface> pLink = StartLoopbackLink(peer, 0);
    ASSERT_NE(pLink, nullptr);
    EXPECT_EQ(pLink->GetLastSocketError(), 0);
    pLink->m_dwDestinationAddress = LOOPBACK_ADDRESS;
    const Bytes payload = MakePayload(MSG_VERIFY, NAMED_REQUEST_SIZE);
    const auto start = Clock::now();
    EXPECT_EQ(pLink->Send(payload.data(), NAMED_REQUEST_SIZE), STATUS_CANNOT_SEND_MESSAGE);
    EXPECT_LT(MsSince(start), 500); // the window thread is not held for the whole bound
    EXPECT_EQ(pLink->GetLastSocketError(), EINVAL);
    EXPECT_EQ(log.TimesOf(LINK_LOG_WARNING, "could not be sent").size(), 1u);
    // A datagram that arrives later does not clear the error.
    ASSERT_TRUE(peer.SendTo(pLink->GetLocalPort(),
                            MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, MakePayload(MSG_CLAIM, 2))));
    ASSERT_TRUE(WaitUntil([&] { return !TakeAll(*pLink).empty(); }, 3000ms));
    EXPECT_EQ(pLink->GetLastSocketError(), EINVAL);
}
