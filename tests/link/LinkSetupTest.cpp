// Setting the link up and taking it down: the single instance, a port that stays taken, the
// status texts.
#include "LinkTestSupport.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Holds a port the way another program would, so the link cannot bind it.
struct SHeldPort {
    SHeldPort() {
        EXPECT_TRUE(socket.Open() && socket.Bind(0));
        nPort = socket.GetLocalPort();
    }
    CUDPSocket socket;
    std::uint16_t nPort = 0;
};

} // namespace

TEST(LinkSetup, TheSingleLinkKeepsTheAddressesOfItsFirstCall) {
    const std::uint16_t nPort = FreeUDPPort();
    CUDPInstrumentInterface* pFirst =
        GetInstrumentInterface(0x7F000001, 0x7FFFFFFF, nPort, FreeUDPPort());
    ASSERT_NE(pFirst, nullptr);
    CUDPInstrumentInterface* pSecond =
        GetInstrumentInterface(0x7F000002, 0x7F0000FF, FreeUDPPort(), FreeUDPPort());
    EXPECT_EQ(pSecond, pFirst);
    EXPECT_EQ(pFirst->m_dwLocalAddress, 0x7F000001u);
    EXPECT_EQ(pFirst->m_dwBroadcastAddress, 0x7FFFFFFFu);
    EXPECT_EQ(pFirst->GetLocalPort(), nPort);
    EXPECT_EQ(pFirst->Connect(), STATUS_NO_ERROR);
    pFirst->Disconnect();

    char szHostName[TEXT_FIELD_SIZE] = {};
    ASSERT_EQ(gethostname(szHostName, sizeof(szHostName) - 1), 0);
    EXPECT_STREQ(pFirst->m_szLocalHostName, szHostName);

    ReleaseInstrumentInterface();
    CUDPInstrumentInterface* pThird =
        GetInstrumentInterface(0x7F000003, 0x7FFFFFFF, FreeUDPPort(), FreeUDPPort());
    ASSERT_NE(pThird, nullptr);
    EXPECT_EQ(pThird->m_dwLocalAddress, 0x7F000003u);
    ReleaseInstrumentInterface();
    ReleaseInstrumentInterface(); // none left: nothing happens
}

TEST(LinkSetup, PortTakenForAllSevenAttemptsLeavesALinkThatCannotSend) {
    CLinkLogCapture log;
    SHeldPort held;
    CLoopbackPeer peer;
    const auto start = Clock::now();
    CUDPInstrumentInterface link(LOOPBACK_ADDRESS, LOOPBACK_BROADCAST, held.nPort, peer.Port());
    EXPECT_EQ(link.WaitForSetup(100), ELinkSetup::Pending); // still trying
    // Seven attempts with six waits of 500 ms between them, then one warning.
    ASSERT_TRUE(WaitUntil([&] { return !log.TimesOf(LINK_LOG_WARNING, "bound").empty(); }, 8000ms));
    EXPECT_GE(MsSince(start), 2900);
    // The owner learns that the link gave up, and why.
    EXPECT_EQ(link.WaitForSetup(1000), ELinkSetup::Failed);
    EXPECT_EQ(link.GetLastSocketError(), EADDRINUSE);
    const auto listAttempts = log.TimesOf(LINK_LOG_DEBUG, "Binding UDP port");
    ASSERT_EQ(listAttempts.size(), 7u);
    for (std::size_t i = 1; i < listAttempts.size(); ++i) {
        const auto gap = listAttempts[i] - listAttempts[i - 1];
        EXPECT_GE(gap, 480ms) << "wait " << i;
        EXPECT_LE(gap, 1500ms) << "wait " << i;
    }
    std::this_thread::sleep_for(600ms); // no eighth attempt comes
    EXPECT_EQ(log.TimesOf(LINK_LOG_DEBUG, "Binding UDP port").size(), 7u);
    const auto listWarnings = log.TimesOf(LINK_LOG_WARNING, "could not be bound after 7 attempts");
    ASSERT_EQ(listWarnings.size(), 1u);
    EXPECT_NE(log.Lines(LINK_LOG_WARNING).back().find(std::to_string(held.nPort)),
              std::string::npos);

    link.m_dwDestinationAddress = LOOPBACK_ADDRESS;
    const Bytes payload = MakePayload(MSG_VERIFY, NAMED_REQUEST_SIZE);
    for (int i = 0; i < 2; ++i) {
        const auto sendStart = Clock::now();
        EXPECT_EQ(link.Send(payload.data(), NAMED_REQUEST_SIZE), STATUS_CANNOT_SEND_MESSAGE);
        const long long nElapsed = MsSince(sendStart);
        EXPECT_GE(nElapsed, 950);
        EXPECT_LE(nElapsed, 3000);
    }
    EXPECT_FALSE(peer.ReceiveWithin(100).has_value());
}

// A link whose socket thread cannot bind plays no part: the test takes and confirms the
// datagrams itself, as the socket thread would.
TEST(LinkSetup, AFreePortIsBoundAtTheFirstAttemptAndTheWaitEndsThen) {
    CUDPInstrumentInterface link(LOOPBACK_ADDRESS, LOOPBACK_BROADCAST, FreeUDPPort(),
                                 FreeUDPPort());
    const auto start = Clock::now();
    EXPECT_EQ(link.WaitForSetup(CUDPInstrumentInterface::SETUP_TIMEOUT_MS), ELinkSetup::Bound);
    EXPECT_LT(MsSince(start), 400); // not the retry period, let alone the whole bound
}

TEST(LinkSend, ADatagramToAddressZeroIsRefusedAtOnceAndNeverWaitsToGoOut) {
    SHeldPort held;
    CUDPInstrumentInterface link(LOOPBACK_ADDRESS, LOOPBACK_BROADCAST, held.nPort, FreeUDPPort());
    link.m_dwDestinationAddress = 0;
    link.m_dwSourceAddress = LOOPBACK_ADDRESS;
    const Bytes payload = MakePayload(MSG_VERIFY, NAMED_REQUEST_SIZE);
    const auto start = Clock::now();
    EXPECT_EQ(link.Send(payload.data(), NAMED_REQUEST_SIZE), STATUS_CANNOT_SEND_MESSAGE);
    EXPECT_LT(MsSince(start), 500);
    std::uint32_t dwCount = 99;
    ASSERT_TRUE(link.TakeSendDatagram(nullptr, &dwCount));
    EXPECT_EQ(dwCount, 0u);
}

TEST(LinkSend, AConfirmationOfADatagramGivenUpOnDoesNotEndTheNextSend) {
    SHeldPort held;
    CUDPInstrumentInterface link(LOOPBACK_ADDRESS, LOOPBACK_BROADCAST, held.nPort, FreeUDPPort());
    link.m_dwDestinationAddress = LOOPBACK_ADDRESS;
    const Bytes first = MakePayload(MSG_VERIFY, NAMED_REQUEST_SIZE, 1);
    const Bytes second = MakePayload(MSG_RELEASE, NAMED_REQUEST_SIZE, 2);
    ASSERT_EQ(link.Send(first.data(), NAMED_REQUEST_SIZE), STATUS_CANNOT_SEND_MESSAGE);
    Bytes taken(CUDPInstrumentInterface::BUFFER_SIZE);
    std::uint32_t dwCount = 0;
    std::uint32_t dwFirst = 0;
    ASSERT_TRUE(link.TakeSendDatagram(taken.data(), &dwCount, &dwFirst));
    ASSERT_EQ(dwCount, DATAGRAM_HEADER_SIZE + NAMED_REQUEST_SIZE);

    // The first datagram goes out late, once the second Send waits; then the second goes out.
    Bytes sentSecond;
    std::thread late([&] {
        std::this_thread::sleep_for(100ms);
        link.ConfirmSent(dwFirst);
        std::this_thread::sleep_for(300ms);
        std::uint32_t dwSecondCount = 0;
        std::uint32_t dwSecond = 0;
        if (link.TakeSendDatagram(taken.data(), &dwSecondCount, &dwSecond) && dwSecondCount > 0) {
            sentSecond.assign(taken.begin(), taken.begin() + dwSecondCount);
            link.ConfirmSent(dwSecond);
        }
    });
    const auto start = Clock::now();
    const int nStatus = link.Send(second.data(), NAMED_REQUEST_SIZE);
    const long long nElapsed = MsSince(start);
    late.join();
    EXPECT_EQ(nStatus, STATUS_NO_ERROR);
    EXPECT_GE(nElapsed, 350) << "ended by the first datagram's confirmation";
    EXPECT_EQ(sentSecond, MakeDatagram(LOOPBACK_ADDRESS, 0, second));
}

TEST(LinkSetup, PortFreedBeforeTheLastAttemptIsBoundAfterAll) {
    CLoopbackPeer peer;
    auto pHeld = std::make_unique<SHeldPort>();
    const std::uint16_t nPort = pHeld->nPort;
    CUDPInstrumentInterface link(LOOPBACK_ADDRESS, LOOPBACK_BROADCAST, nPort, peer.Port());
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(link.WaitForSetup(0), ELinkSetup::Pending);
    pHeld.reset();
    EXPECT_EQ(link.WaitForSetup(CUDPInstrumentInterface::SETUP_TIMEOUT_MS), ELinkSetup::Bound);
    const Bytes probe = MakeDatagram(LOOPBACK_ADDRESS, LOOPBACK_ADDRESS, {0xEE});
    EXPECT_TRUE(WaitUntil(
        [&] {
            peer.SendTo(nPort, probe);
            std::this_thread::sleep_for(20ms);
            std::uint32_t dwLength = 0;
            return link.TakeDatagram(&dwLength, nullptr);
        },
        4000ms));
}

TEST(LinkSetup, DestructionDoesNotWaitForTheBindingAttemptsToRunOut) {
    SHeldPort held;
    auto pLink = std::make_unique<CUDPInstrumentInterface>(LOOPBACK_ADDRESS, LOOPBACK_BROADCAST,
                                                           held.nPort, FreeUDPPort());
    std::this_thread::sleep_for(100ms);
    const auto start = Clock::now();
    pLink.reset();
    EXPECT_LT(MsSince(start), 1000);
}

TEST(LinkStatus, OneTableOfTextsIndexedByTheNegatedCode) {
    EXPECT_STREQ(GetStatusText(STATUS_NO_ERROR), "No Error");
    EXPECT_STREQ(GetStatusText(-1), "Device Not Connected");
    EXPECT_STREQ(GetStatusText(STATUS_CANNOT_SEND_MESSAGE), "Cannot Send Message");
    EXPECT_STREQ(GetStatusText(STATUS_OUT_MESSAGE_SIZE), "Out Message Size");
    EXPECT_STREQ(GetStatusText(STATUS_CANNOT_READ_RESPONSE), "Cannot Read Response");
    EXPECT_STREQ(GetStatusText(-12), "Can't Get Pipe Info");
    EXPECT_STREQ(GetStatusText(-17), "Cannot Send Big Payload");
    EXPECT_EQ(GetStatusText(-18), nullptr);
    EXPECT_EQ(GetStatusText(1), nullptr);
}

TEST(LinkStatus, EveryConstructionFailureHasItsOwnPlainWords) {
    const InterfaceException aExceptions[] = {
        SOCKET_LIBRARY_NOT_STARTED, SOCKET_LIBRARY_WRONG_VERSION, HOST_NAME_UNREADABLE,
        SOCKET_THREAD_NOT_STARTED, SYNCHRONISATION_NOT_CREATED};
    std::set<std::string> setTexts;
    for (const InterfaceException nException : aExceptions) {
        const char* szText = DescribeInterfaceException(nException);
        ASSERT_NE(szText, nullptr);
        EXPECT_GT(std::strlen(szText), 10u);
        setTexts.insert(szText);
    }
    EXPECT_EQ(setTexts.size(), std::size(aExceptions));
    EXPECT_NE(DescribeInterfaceException(static_cast<InterfaceException>(-3)), nullptr);
}
