// The router's rules: what it drops, whom it hands a reply to, and that it takes every datagram
// waiting.
#include "protocol/DatagramRouter.h"

#include "ProtocolTestSupport.h"
#include "link/UDPInstrumentInterface.h"

#include <cstring>
#include <deque>
#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t OTHER_CLIENT = 0xC0A8010B;

class DatagramRouter : public ::testing::Test {
protected:
    Bytes Reply(std::uint8_t nCode) const {
        const Bytes payload = ToBytes(BuildStatusReply(static_cast<EMessageCode>(nCode), 0));
        return Frame(LOCAL_ADDRESS, INSTRUMENT_ADDRESS, payload);
    }

    CDatagramRouter m_router{BROADCAST_ADDRESS, LOCAL_ADDRESS};
    CRecordingReceiver m_first;
    CRecordingReceiver m_second;
};

} // namespace

TEST_F(DatagramRouter, DropsBroadcastOwnAndEmptyDatagramsAndNonDatagrams) {
    m_router.Register(MSG_DISCOVERY_REPLY, m_first, "selection");
    m_router.Register(MSG_VERIFY, m_first, "main");
    const Bytes discovery = ToBytes(BuildDiscoveryReply({}));
    const Bytes verify = ToBytes(BuildVerifyReply(0, {}));
    Bytes noMagic = Frame(LOCAL_ADDRESS, INSTRUMENT_ADDRESS, verify);
    noMagic[0] = 'X';

    EXPECT_EQ(m_router.Route(Frame(BROADCAST_ADDRESS, OTHER_CLIENT, discovery)).nResult,
              ERouteResult::ToBroadcast);
    // This computer's own request, come back from 0.0.0.0.
    EXPECT_EQ(
        m_router.Route(Frame(0, LOCAL_ADDRESS, ToBytes(BuildNamedRequest(MSG_VERIFY, u"", u""))))
            .nResult,
        ERouteResult::OwnDatagram);
    EXPECT_EQ(m_router.Route(Frame(LOCAL_ADDRESS, INSTRUMENT_ADDRESS, Bytes{})).nResult,
              ERouteResult::NoPayload);
    EXPECT_EQ(m_router.Route(noMagic).nResult, ERouteResult::NotADatagram);
    EXPECT_EQ(m_router.Route(Shortened(Frame(LOCAL_ADDRESS, INSTRUMENT_ADDRESS, verify))).nResult,
              ERouteResult::NotADatagram);
    EXPECT_TRUE(m_first.m_listPayloads.empty());

    const SRouteDecision delivered =
        m_router.Route(Frame(LOCAL_ADDRESS, INSTRUMENT_ADDRESS, discovery));
    EXPECT_EQ(delivered.nResult, ERouteResult::Delivered);
    EXPECT_EQ(delivered.header.dwSource, INSTRUMENT_ADDRESS);
    EXPECT_EQ(m_first.m_listPayloads, std::vector<Bytes>{discovery});
}

TEST_F(DatagramRouter, FirstRegisteredReceiverTakingRepliesGetsTheDatagram) {
    m_router.Register(MSG_DISCOVERY_REPLY, m_first, "claim selection window");
    m_router.Register(MSG_DISCOVERY_REPLY, m_second, "rename selection window");
    const Bytes datagram =
        Frame(LOCAL_ADDRESS, INSTRUMENT_ADDRESS, ToBytes(BuildDiscoveryReply({})));

    EXPECT_EQ(m_router.Route(datagram).strReceiver, "claim selection window");
    m_first.m_bTaking = false;
    const SRouteDecision second = m_router.Route(datagram);
    EXPECT_EQ(second.strReceiver, "rename selection window");
    EXPECT_EQ(second.nCode, MSG_DISCOVERY_REPLY);
    m_second.m_bTaking = false;
    EXPECT_EQ(m_router.Route(datagram).nResult, ERouteResult::NoReceiver);
    EXPECT_EQ(m_first.m_listPayloads.size(), 1u);
    EXPECT_EQ(m_second.m_listPayloads.size(), 1u);

    // Codes nobody registered for (1, 7 and above) reach nobody; an unregistered receiver no
    // longer gets its code.
    m_first.m_bTaking = true;
    m_router.Register(MSG_CLAIM, m_first, "claim window");
    EXPECT_EQ(m_router.Route(Reply(MSG_DISCOVERY_REQUEST)).nResult, ERouteResult::NoReceiver);
    EXPECT_EQ(m_router.Route(Reply(7)).nResult, ERouteResult::NoReceiver);
    m_router.Unregister(m_first);
    EXPECT_EQ(m_router.Route(Reply(MSG_CLAIM)).nResult, ERouteResult::NoReceiver);
    EXPECT_EQ(m_first.m_listPayloads.size(), 1u);
}

TEST_F(DatagramRouter, EveryWaitingDatagramIsTakenAtOnce) {
    m_router.Register(MSG_CLAIM, m_first, "claim window");
    std::deque<Bytes> listWaiting{Reply(MSG_CLAIM), Reply(MSG_RENAME), Reply(MSG_CLAIM)};
    const auto fnTake = [&](std::uint32_t* pdwLength, std::uint8_t* pbBuffer) {
        if (listWaiting.empty()) {
            return false;
        }
        *pdwLength = static_cast<std::uint32_t>(listWaiting.front().size());
        std::memcpy(pbBuffer, listWaiting.front().data(), listWaiting.front().size());
        listWaiting.pop_front();
        return true;
    };
    const std::vector<SRouteDecision> listDecisions = m_router.RouteWaiting(fnTake);
    ASSERT_EQ(listDecisions.size(), 3u);
    EXPECT_EQ(listDecisions[1].nResult, ERouteResult::NoReceiver);
    EXPECT_EQ(m_first.m_listPayloads.size(), 2u);
    EXPECT_TRUE(m_router.RouteWaiting(fnTake).empty());
}

TEST_F(DatagramRouter, DatagramsThatKeepComingAreRoutedAReceiveBufferAtATime) {
    // A flood: every take finds another datagram.
    const Bytes reply = Reply(MSG_CLAIM);
    const auto fnTake = [&](std::uint32_t* pdwLength, std::uint8_t* pbBuffer) {
        *pdwLength = static_cast<std::uint32_t>(reply.size());
        std::memcpy(pbBuffer, reply.data(), reply.size());
        return true;
    };
    const std::size_t nBatch =
        (CUDPInstrumentInterface::BUFFER_SIZE + reply.size() - 1) / reply.size();
    EXPECT_EQ(m_router.RouteWaiting(fnTake).size(), nBatch);
    EXPECT_EQ(m_router.RouteWaiting(fnTake).size(), nBatch);
}

TEST_F(DatagramRouter, ReceiverMayUnregisterWhileTakingAReply) {
    // A window that closes on its reply unregisters inside the delivery.
    class CClosingReceiver final : public CReplyReceiver {
    public:
        explicit CClosingReceiver(CDatagramRouter& router) : m_router(router) {}
        bool IsTakingReplies() const override { return true; }
        void TakeReply(const SDatagramView&) override {
            ++m_nTaken;
            m_router.Unregister(*this);
        }
        CDatagramRouter& m_router;
        int m_nTaken = 0;
    } closing(m_router);
    m_router.Register(MSG_CLAIM, closing, "claim window");
    m_router.Register(MSG_CLAIM, m_second, "after it");
    EXPECT_EQ(m_router.Route(Reply(MSG_CLAIM)).strReceiver, "claim window");
    EXPECT_EQ(m_router.Route(Reply(MSG_CLAIM)).strReceiver, "after it");
    EXPECT_EQ(closing.m_nTaken, 1);
}
