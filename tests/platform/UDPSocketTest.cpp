#include "platform/UDPSocket.h"

#include "platform/WakeSignal.h"

#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint32_t LOOPBACK_ADDRESS = 0x7F000001;

using Bytes = std::vector<std::uint8_t>;

class UDPSocketOnLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_receiver.Open());
        ASSERT_TRUE(m_receiver.SetNonBlocking());
        ASSERT_TRUE(m_receiver.Bind(0, LOOPBACK_ADDRESS));
        ASSERT_TRUE(m_sender.Open());
        ASSERT_TRUE(m_sender.Bind(0, LOOPBACK_ADDRESS));
    }
    void SendToReceiver(const Bytes& datagram) {
        ASSERT_TRUE(m_sender.SendTo(LOOPBACK_ADDRESS, m_receiver.GetLocalPort(), datagram.data(),
                                    datagram.size()));
        ASSERT_TRUE(m_receiver.WaitReadable(3000));
    }

    CUDPSocket m_receiver;
    CUDPSocket m_sender;
};

} // namespace

TEST_F(UDPSocketOnLoopback, NothingWaitingIsNoDataAndNoError) {
    Bytes buffer(64);
    std::size_t nLength = 99;
    EXPECT_EQ(m_receiver.Receive(buffer.data(), buffer.size(), &nLength),
              CUDPSocket::RECEIVE_NO_DATA);
    EXPECT_EQ(nLength, 0u);
    EXPECT_EQ(m_receiver.GetLastError(), 0);
    EXPECT_FALSE(m_receiver.WaitReadable(0));
}

TEST_F(UDPSocketOnLoopback, DatagramArrivesWithItsSender) {
    const Bytes datagram{'M', 'V', 1, 2, 3};
    SendToReceiver(datagram);
    Bytes buffer(64);
    std::size_t nLength = 0;
    std::uint32_t dwSender = 0;
    std::uint16_t nSenderPort = 0;
    ASSERT_EQ(m_receiver.Receive(buffer.data(), buffer.size(), &nLength, &dwSender, &nSenderPort),
              CUDPSocket::RECEIVE_DATAGRAM);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + nLength), datagram);
    EXPECT_EQ(dwSender, LOOPBACK_ADDRESS);
    EXPECT_EQ(nSenderPort, m_sender.GetLocalPort());
}

TEST_F(UDPSocketOnLoopback, DatagramLongerThanTheRoomIsDroppedWholeAndReported) {
    SendToReceiver(Bytes(100, 'a'));
    ASSERT_TRUE(
        m_sender.SendTo(LOOPBACK_ADDRESS, m_receiver.GetLocalPort(), Bytes(50, 'b').data(), 50));
    Bytes buffer(60, 0);
    std::size_t nLength = 0;
    EXPECT_EQ(m_receiver.Receive(buffer.data(), 50, &nLength), CUDPSocket::RECEIVE_TOO_LONG);
    EXPECT_EQ(nLength, 0u);
    EXPECT_EQ(m_receiver.GetLastError(), EMSGSIZE);
    // The next read gets the next datagram, nothing of the long one; exactly the room fits.
    ASSERT_TRUE(m_receiver.WaitReadable(3000));
    EXPECT_EQ(m_receiver.Receive(buffer.data(), 50, &nLength), CUDPSocket::RECEIVE_DATAGRAM);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + nLength), Bytes(50, 'b'));
}

TEST_F(UDPSocketOnLoopback, PortHeldByAnotherSocketCannotBeBound) {
    CUDPSocket other;
    ASSERT_TRUE(other.Open());
    EXPECT_FALSE(other.Bind(m_receiver.GetLocalPort()));
    EXPECT_EQ(other.GetLastError(), EADDRINUSE);
}

TEST(UDPSocket, ReceiveBufferHoldsABurstOfRepliesWhereThePlatformAllows) {
    CUDPSocket socket;
    ASSERT_TRUE(socket.Open());
    ASSERT_TRUE(socket.AllowBroadcast());
    constexpr int nRequested = 1 << 20;
    ASSERT_TRUE(socket.RequestReceiveBuffer(nRequested));
    int nLimit = 0;
    std::ifstream("/proc/sys/net/core/rmem_max") >> nLimit;
    if (geteuid() != 0 && nLimit < nRequested) {
        GTEST_SKIP() << "net.core.rmem_max caps the buffer at " << nLimit;
    }
    EXPECT_GE(socket.GetReceiveBufferSize(), nRequested);
}

TEST(UDPSocket, OperationsOnAClosedSocketFailWithTheirError) {
    CUDPSocket socket;
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_FALSE(socket.Bind(0));
    EXPECT_EQ(socket.GetLastError(), EBADF);
    ASSERT_TRUE(socket.Open());
    EXPECT_TRUE(socket.IsOpen());
    socket.Close();
    EXPECT_FALSE(socket.SendTo(LOOPBACK_ADDRESS, 9, reinterpret_cast<const std::uint8_t*>("x"), 1));
    EXPECT_EQ(socket.GetLastError(), EBADF);
}

TEST_F(UDPSocketOnLoopback, AWaitEndsOnTheWakeSignalOrADatagramAndOnlyWatchesDataWhenAsked) {
    CWakeSignal wake;
    EXPECT_EQ(m_receiver.WaitReadableOrWoken(wake.Handle(), true, 20), CUDPSocket::WAIT_TIMEOUT);
    // A signal raised twice is cleared once, and then no longer ends a wait.
    wake.Wake();
    wake.Wake();
    EXPECT_EQ(m_receiver.WaitReadableOrWoken(wake.Handle(), true, 1000), CUDPSocket::WAIT_WOKEN);
    wake.Clear();
    EXPECT_EQ(m_receiver.WaitReadableOrWoken(wake.Handle(), false, 20), CUDPSocket::WAIT_TIMEOUT);

    const Bytes datagram{'M', 'V'};
    ASSERT_TRUE(m_sender.SendTo(LOOPBACK_ADDRESS, m_receiver.GetLocalPort(), datagram.data(),
                                datagram.size()));
    EXPECT_EQ(m_receiver.WaitReadableOrWoken(wake.Handle(), true, 3000), CUDPSocket::WAIT_READABLE);
    // Not asked to watch for data: the waiting datagram does not end the wait.
    EXPECT_EQ(m_receiver.WaitReadableOrWoken(wake.Handle(), false, 20), CUDPSocket::WAIT_TIMEOUT);
    // Both ready: the signal wins.
    wake.Wake();
    EXPECT_EQ(m_receiver.WaitReadableOrWoken(wake.Handle(), true, 1000), CUDPSocket::WAIT_WOKEN);
}
