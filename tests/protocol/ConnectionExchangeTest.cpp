// Verification, release and repair driven as the main connection window drives them: a start,
// then time-outs and routed replies, with no window and no timer.
#include "protocol/ConnectionExchange.h"

#include "ProtocolTestSupport.h"
#include "protocol/OutcomeTexts.h"

#include <gtest/gtest.h>

namespace {

using Event = EConnectionEvent;

class ConnectionExchange : public ::testing::Test {
protected:
    SConnectionTarget Target() const {
        SConnectionTarget target;
        target.strInstrumentName = u"Lab-1";
        target.strLocalHostName = u"pc-7";
        target.dwInstrumentAddress = INSTRUMENT_ADDRESS;
        target.dwBroadcastAddress = BROADCAST_ADDRESS;
        return target;
    }
    SConnectionStep Timeout() { return m_exchange.OnTimeout(Target()); }
    SConnectionStep Reply(const Bytes& payload) { return m_exchange.OnReply(payload); }

    static Bytes VerifyReply(std::uint8_t nStatus, std::uint8_t bClaimed) {
        SInstrumentDescriptionFields description;
        description.strHostName = "inst7";
        description.dwAddress = INSTRUMENT_ADDRESS;
        description.bClaimed = bClaimed;
        description.strName = "Lab-1";
        description.strOwnerHostName = "pc-12";
        description.dwOwnerAddress = 0x0A000009; // 10.0.0.9
        return ToBytes(BuildVerifyReply(nStatus, description));
    }
    static Bytes ReleaseReply(std::uint8_t nStatus) {
        return ToBytes(BuildStatusReply(MSG_RELEASE, nStatus));
    }

    CConnectionExchange m_exchange;
};

} // namespace

TEST_F(ConnectionExchange, UnansweredVerificationSendsTwiceThenFails) {
    const SConnectionStep first = m_exchange.StartVerification(Target(), EAttemptCount::FromZero);
    ASSERT_EQ(first.nEvent, Event::Sent);
    EXPECT_EQ(first.nTimerId, CConnectionExchange::ID_VERIFY_RESPONSE_TIMER_EVENT);
    EXPECT_EQ(first.request.dwDestination, INSTRUMENT_ADDRESS);
    EXPECT_EQ(first.request.payload, ToBytes(BuildNamedRequest(MSG_VERIFY, u"Lab-1", u"pc-7")));
    EXPECT_TRUE(m_exchange.IsWaitingForReply());

    const SConnectionStep second = Timeout();
    ASSERT_EQ(second.nEvent, Event::Sent);
    EXPECT_EQ(second.request.payload, first.request.payload);
    EXPECT_EQ(m_exchange.GetVerifyAttempts(), 3u);

    EXPECT_EQ(Timeout().nEvent, Event::VerificationFailed);
    EXPECT_FALSE(m_exchange.IsWaitingForReply());
    EXPECT_EQ(m_exchange.GetVerifyAttempts(), 0u);
    EXPECT_EQ(m_exchange.GetPendingRequest(), CConnectionExchange::NO_PENDING_REQUEST);
    EXPECT_EQ(Timeout().nEvent, Event::None);
    EXPECT_EQ(CConnectionExchange::RESPONSE_TIMER_PERIOD_MS, 515u);
}

TEST_F(ConnectionExchange, UnansweredRepairBroadcastsTwiceThenFails) {
    const SConnectionStep first = m_exchange.StartRepair(Target(), EAttemptCount::FromZero);
    ASSERT_EQ(first.nEvent, Event::Sent);
    EXPECT_EQ(first.nTimerId, CConnectionExchange::ID_REPAIR_RESPONSE_TIMER_EVENT);
    EXPECT_EQ(first.request.dwDestination, BROADCAST_ADDRESS);
    EXPECT_EQ(first.request.payload[0], MSG_REPAIR);
    EXPECT_EQ(Timeout().nEvent, Event::Sent);
    EXPECT_EQ(Timeout().nEvent, Event::RepairFailed);
    EXPECT_EQ(m_exchange.GetRepairAttempts(), 0u);
}

TEST_F(ConnectionExchange, UnansweredReleaseForgetsTheConfigurationAfterTwoRequests) {
    const SConnectionStep first = m_exchange.StartRelease(Target(), EAttemptCount::FromZero);
    ASSERT_EQ(first.nEvent, Event::Sent);
    EXPECT_EQ(first.nTimerId, CConnectionExchange::ID_RELEASE_RESPONSE_TIMER_EVENT);
    EXPECT_EQ(first.request.dwDestination, INSTRUMENT_ADDRESS);
    EXPECT_EQ(Timeout().nEvent, Event::Sent);
    EXPECT_EQ(Timeout().nEvent, Event::ReleaseUnanswered);
    EXPECT_EQ(m_exchange.GetReleaseAttempts(), 0u);
}

TEST_F(ConnectionExchange, ReleaseAskedForBySelectionWindowKeepsTheLastCount) {
    // Answered after its first request, a release leaves 1: the next kept-count release sends
    // twice.
    m_exchange.StartRelease(Target(), EAttemptCount::FromZero);
    ASSERT_EQ(Reply(ReleaseReply(0)).nEvent, Event::Released);
    EXPECT_EQ(m_exchange.GetReleaseAttempts(), 1u);
    ASSERT_EQ(m_exchange.StartRelease(Target(), EAttemptCount::Kept).nEvent, Event::Sent);
    EXPECT_EQ(Timeout().nEvent, Event::Sent);
    EXPECT_EQ(Timeout().nEvent, Event::ReleaseUnanswered);

    // Answered after its second request it leaves 3: the next one sends only once.
    m_exchange.StartRelease(Target(), EAttemptCount::FromZero);
    EXPECT_EQ(Timeout().nEvent, Event::Sent);
    ASSERT_EQ(Reply(ReleaseReply(0)).nEvent, Event::Released);
    EXPECT_EQ(m_exchange.GetReleaseAttempts(), 3u);
    ASSERT_EQ(m_exchange.StartRelease(Target(), EAttemptCount::Kept).nEvent, Event::Sent);
    EXPECT_EQ(Timeout().nEvent, Event::ReleaseUnanswered);
}

TEST_F(ConnectionExchange, ReleaseReplyOfEveryStatusReleases) {
    for (const std::uint8_t nStatus : {0, 1, 5, 6, 255}) {
        m_exchange.StartRelease(Target(), EAttemptCount::FromZero);
        const SConnectionStep step = Reply(ReleaseReply(nStatus));
        EXPECT_EQ(step.nEvent, Event::Released);
        EXPECT_TRUE(step.bStopTimer);
        EXPECT_EQ(step.nStatus, nStatus);
    }
    EXPECT_EQ(ReleaseStatusText(5), TEXT_RELEASE_IN_USE);
    EXPECT_EQ(ReleaseStatusText(6), TEXT_RELEASE_OVERRIDABLE);
    EXPECT_FALSE(ReleaseStatusText(0));
    EXPECT_FALSE(ReleaseStatusText(7));
}

TEST_F(ConnectionExchange, RepairReplyStatusZeroCarriesTheNewAddressOtherEndsTheWait) {
    m_exchange.StartRepair(Target(), EAttemptCount::FromZero);
    const SConnectionStep repaired = Reply({MSG_REPAIR, 0, 0xC0, 0xA8, 0x01, 0x4D});
    EXPECT_EQ(repaired.nEvent, Event::Repaired);
    EXPECT_TRUE(repaired.bStopTimer);
    EXPECT_EQ(repaired.dwAddress, 0xC0A8014Du); // 192.168.1.77

    m_exchange.StartRepair(Target(), EAttemptCount::FromZero);
    const SConnectionStep refused = Reply(ToBytes(BuildRepairReply(1, INSTRUMENT_ADDRESS)));
    EXPECT_EQ(refused.nEvent, Event::RepairRefused);
    EXPECT_TRUE(refused.bStopTimer);
    EXPECT_FALSE(m_exchange.IsWaitingForReply());
    EXPECT_EQ(Timeout().nEvent, Event::None); // no second request
}

TEST_F(ConnectionExchange, VerifyReplyReadsOwnershipAndTheReportedOwner) {
    m_exchange.StartVerification(Target(), EAttemptCount::FromZero);
    EXPECT_EQ(Reply(VerifyReply(0, 1)).nEvent, Event::Ready);

    m_exchange.StartVerification(Target(), EAttemptCount::FromZero);
    const SConnectionStep owned = Reply(VerifyReply(1, 1));
    EXPECT_EQ(owned.nEvent, Event::NotClaimed);
    EXPECT_TRUE(owned.bOwnerReported);
    EXPECT_EQ(owned.strOwnerHostName, "pc-12");
    EXPECT_EQ(owned.dwAddress, 0x0A000009u);
    EXPECT_EQ(ClaimOwnerText(u"pc-12", owned.dwAddress), u"Claimed by pc-12 [10.0.0.9]");

    // Only a claimed flag of exactly 1 reports an owner.
    m_exchange.StartVerification(Target(), EAttemptCount::FromZero);
    const SConnectionStep unclaimed = Reply(VerifyReply(1, 2));
    EXPECT_EQ(unclaimed.nEvent, Event::NotClaimed);
    EXPECT_FALSE(unclaimed.bOwnerReported);
    EXPECT_EQ(unclaimed.dwAddress, 0u);
    EXPECT_EQ(ClaimOwnerText(u"pc-12", unclaimed.dwAddress), TEXT_NOT_CLAIMED);
}

TEST_F(ConnectionExchange, ReplyOfWrongLengthIsAsIfItHadNotCome) {
    m_exchange.StartVerification(Target(), EAttemptCount::FromZero);
    for (const Bytes& payload :
         {Shortened(VerifyReply(0, 0)), Lengthened(VerifyReply(0, 0)), Lengthened(ReleaseReply(0)),
          Shortened(ToBytes(BuildRepairReply(0, 1))), Bytes{}}) {
        const SConnectionStep step = Reply(payload);
        EXPECT_EQ(step.nEvent, Event::None);
        EXPECT_FALSE(step.bStopTimer);
    }
    EXPECT_TRUE(m_exchange.IsWaitingForReply());
    // The attempts go on as without those datagrams.
    EXPECT_EQ(Timeout().nEvent, Event::Sent);
    EXPECT_EQ(Timeout().nEvent, Event::VerificationFailed);
}

TEST_F(ConnectionExchange, ReplyWhileNothingWaitsChangesNothing) {
    EXPECT_EQ(Reply(VerifyReply(0, 0)).nEvent, Event::None);
    m_exchange.StartVerification(Target(), EAttemptCount::FromZero);
    ASSERT_EQ(Reply(VerifyReply(0, 0)).nEvent, Event::Ready);
    // A second reply to the same request: the first decided.
    const SConnectionStep late = Reply(VerifyReply(1, 1));
    EXPECT_EQ(late.nEvent, Event::None);
    EXPECT_FALSE(late.bStopTimer);
    EXPECT_EQ(m_exchange.GetVerifyAttempts(), 1u);
}

TEST_F(ConnectionExchange, OnlyTheWaitedForCodeEndsTheWaitAndOneExchangeRunsAtATime) {
    m_exchange.StartVerification(Target(), EAttemptCount::FromZero);
    // A release started while a reply is awaited sends nothing, but its count starts afresh.
    EXPECT_EQ(m_exchange.StartRelease(Target(), EAttemptCount::FromZero).nEvent, Event::None);
    EXPECT_EQ(m_exchange.GetPendingRequest(), MSG_VERIFY);
    // A release or repair reply from anyone on the segment leaves the verification waiting.
    EXPECT_EQ(Reply(ReleaseReply(0)).nEvent, Event::None);
    EXPECT_EQ(Reply(ToBytes(BuildRepairReply(STATUS_OK, 0x0A000001))).nEvent, Event::None);
    EXPECT_TRUE(m_exchange.IsWaitingForReply());
    EXPECT_EQ(m_exchange.GetPendingRequest(), MSG_VERIFY);
}

TEST_F(ConnectionExchange, VerificationOfNothingConfiguredSendsNothing) {
    SConnectionTarget target = Target();
    target.bConfigured = false;
    EXPECT_EQ(m_exchange.StartVerification(target, EAttemptCount::FromZero).nEvent, Event::None);
    EXPECT_FALSE(m_exchange.IsWaitingForReply());
}
