// A window's registration with the datagram router: replies reach the receiver only while it
// is registered, and nothing of it is left in the router once it has gone.
#include "ui/ReplyRegistration.h"

#include "link/Messages.h"
#include "protocol/DatagramRouter.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

constexpr std::uint32_t BROADCAST = 0x7FFFFFFF;
constexpr std::uint32_t LOCAL = 0x7F000001;
constexpr std::uint32_t INSTRUMENT = 0x7F000002;

class CCountingReceiver : public CReplyReceiver {
public:
    bool IsTakingReplies() const override { return true; }
    void TakeReply(const SDatagramView& /*datagram*/) override { ++m_nReplies; }
    int m_nReplies = 0;
};

std::vector<std::uint8_t> ReplyOfCode(std::uint8_t nCode) {
    const std::uint8_t abPayload[] = {nCode, STATUS_OK};
    std::vector<std::uint8_t> datagram(DATAGRAM_HEADER_SIZE + sizeof abPayload);
    datagram.resize(FrameDatagram(LOCAL, INSTRUMENT, abPayload, datagram.data()));
    return datagram;
}

ERouteResult RouteCode(CDatagramRouter& router, std::uint8_t nCode) {
    return router.Route(ReplyOfCode(nCode)).nResult;
}

TEST(ReplyRegistrationTest, RepliesReachTheReceiverOnlyWhileItIsRegistered) {
    CDatagramRouter router(BROADCAST, LOCAL);
    CCountingReceiver receiver;
    {
        CReplyRegistration registration(receiver);
        EXPECT_EQ(RouteCode(router, MSG_VERIFY), ERouteResult::NoReceiver);
        registration.Register(router, {MSG_RELEASE, MSG_VERIFY}, "main connection window");
        // Registering again (a window opened a second time) replaces, never doubles.
        registration.Register(router, {MSG_RELEASE, MSG_VERIFY}, "main connection window");
        const SRouteDecision decision = router.Route(ReplyOfCode(MSG_VERIFY));
        EXPECT_EQ(decision.nResult, ERouteResult::Delivered);
        EXPECT_EQ(decision.strReceiver, "main connection window");
        EXPECT_EQ(RouteCode(router, MSG_RELEASE), ERouteResult::Delivered);
        EXPECT_EQ(RouteCode(router, MSG_CLAIM), ERouteResult::NoReceiver);
        EXPECT_EQ(receiver.m_nReplies, 2);

        registration.Unregister(); // the window closes
        EXPECT_EQ(RouteCode(router, MSG_VERIFY), ERouteResult::NoReceiver);
        registration.Register(router, {MSG_VERIFY}, "main connection window"); // opens again
        EXPECT_EQ(RouteCode(router, MSG_VERIFY), ERouteResult::Delivered);
    }
    // A window that goes away without closing leaves nothing behind to deliver to.
    EXPECT_EQ(RouteCode(router, MSG_VERIFY), ERouteResult::NoReceiver);
    EXPECT_EQ(receiver.m_nReplies, 3);
}

} // namespace
