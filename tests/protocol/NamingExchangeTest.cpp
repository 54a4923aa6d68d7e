// The claim and the rename of one instrument driven as their windows drive them.
#include "protocol/NamingExchange.h"

#include "ProtocolTestSupport.h"
#include "protocol/OutcomeTexts.h"

#include <gtest/gtest.h>

namespace {

using Event = ENamingEvent;

Bytes StatusReply(EMessageCode nCode, std::uint8_t nStatus) {
    return ToBytes(BuildStatusReply(nCode, nStatus));
}

} // namespace

TEST(NamingExchange, UnansweredClaimGoesOutFourTimesThenGivesUp) {
    CNamingExchange exchange(CLAIM_NAMING_EXCHANGE, INSTRUMENT_ADDRESS, u"pc-7");
    const SNamingStep first = exchange.Send(u"Lab-1");
    ASSERT_EQ(first.nEvent, Event::Sent);
    EXPECT_EQ(first.request.dwDestination, INSTRUMENT_ADDRESS);
    EXPECT_EQ(first.request.payload, ToBytes(BuildNamedRequest(MSG_CLAIM, u"Lab-1", u"pc-7")));
    for (int nRetry = 0; nRetry < 3; ++nRetry) {
        const SNamingStep again = exchange.OnTimeout(u"Lab-1");
        ASSERT_EQ(again.nEvent, Event::Sent);
        EXPECT_EQ(again.request.payload, first.request.payload);
    }
    EXPECT_EQ(exchange.OnTimeout(u"Lab-1").nEvent, Event::NoResponse);
    EXPECT_EQ(exchange.GetTimeouts(), 4u);
    EXPECT_FALSE(exchange.IsWaitingForReply());
    EXPECT_EQ(exchange.OnTimeout(u"Lab-1").nEvent, Event::None); // no fifth time-out

    EXPECT_EQ(CLAIM_NAMING_EXCHANGE.nTimerId, 7u);
    EXPECT_EQ(CLAIM_NAMING_EXCHANGE.nTimerPeriodMs, 485u);
    EXPECT_EQ(CLAIM_NAMING_EXCHANGE.strNoResponseText, TEXT_CLAIM_NO_RESPONSE);
    EXPECT_EQ(RENAME_NAMING_EXCHANGE.nTimerId, 8u);
    EXPECT_EQ(RENAME_NAMING_EXCHANGE.nTimerPeriodMs, 535u);
    EXPECT_EQ(RENAME_NAMING_EXCHANGE.strNoResponseText, TEXT_RENAME_NO_RESPONSE);
}

TEST(NamingExchange, RepetitionCarriesTheNameAsItIsThen) {
    CNamingExchange exchange(RENAME_NAMING_EXCHANGE, INSTRUMENT_ADDRESS, u"pc-7");
    ASSERT_EQ(exchange.Send(u"Lab").request.payload[0], MSG_RENAME);
    const SNamingStep again = exchange.OnTimeout(u"Lab-2");
    EXPECT_EQ(again.request.payload, ToBytes(BuildNamedRequest(MSG_RENAME, u"Lab-2", u"pc-7")));
}

TEST(NamingExchange, NothingGoesOutWithoutANameOrWhileARequestWaits) {
    CNamingExchange exchange(CLAIM_NAMING_EXCHANGE, INSTRUMENT_ADDRESS, u"pc-7");
    EXPECT_EQ(exchange.Send(u"").nEvent, Event::NoName);
    EXPECT_FALSE(exchange.IsWaitingForReply());
    ASSERT_EQ(exchange.Send(u"Lab").nEvent, Event::Sent);
    EXPECT_EQ(exchange.Send(u"Lab").nEvent, Event::None);
}

TEST(NamingExchange, StatusZeroGrantsAnyOtherRefuses) {
    for (const SNamingKind* pKind : {&CLAIM_NAMING_EXCHANGE, &RENAME_NAMING_EXCHANGE}) {
        CNamingExchange granted(*pKind, INSTRUMENT_ADDRESS, u"pc-7");
        granted.Send(u"Lab");
        const SNamingStep yes = granted.OnReply(StatusReply(pKind->nCode, 0));
        EXPECT_EQ(yes.nEvent, Event::Granted);
        EXPECT_TRUE(yes.bStopTimer);

        CNamingExchange refused(*pKind, INSTRUMENT_ADDRESS, u"pc-7");
        refused.Send(u"Lab");
        const SNamingStep no = refused.OnReply(StatusReply(pKind->nCode, 3));
        EXPECT_EQ(no.nEvent, Event::Refused);
        EXPECT_EQ(no.nStatus, 3);
        EXPECT_TRUE(no.bStopTimer);
    }
}

TEST(NamingExchange, ReplyOfWrongLengthOrCodeIsAsIfItHadNotCome) {
    CNamingExchange exchange(CLAIM_NAMING_EXCHANGE, INSTRUMENT_ADDRESS, u"pc-7");
    exchange.Send(u"Lab");
    for (const Bytes& payload :
         {Lengthened(StatusReply(MSG_CLAIM, 0)), Bytes{MSG_CLAIM}, StatusReply(MSG_RENAME, 0)}) {
        const SNamingStep step = exchange.OnReply(payload);
        EXPECT_EQ(step.nEvent, Event::None);
        EXPECT_FALSE(step.bStopTimer);
    }
    EXPECT_TRUE(exchange.IsWaitingForReply());
    // The attempts go on, and a proper reply still decides.
    EXPECT_EQ(exchange.OnTimeout(u"Lab").nEvent, Event::Sent);
    EXPECT_EQ(exchange.OnReply(StatusReply(MSG_CLAIM, 0)).nEvent, Event::Granted);
}

TEST(NamingExchange, ReplyWhileNoRequestWaitsChangesNothing) {
    CNamingExchange exchange(RENAME_NAMING_EXCHANGE, INSTRUMENT_ADDRESS, u"pc-7");
    EXPECT_EQ(exchange.OnReply(StatusReply(MSG_RENAME, 0)).nEvent, Event::None);
    exchange.Send(u"Lab");
    ASSERT_EQ(exchange.OnReply(StatusReply(MSG_RENAME, 1)).nEvent, Event::Refused);
    const SNamingStep late = exchange.OnReply(StatusReply(MSG_RENAME, 0));
    EXPECT_EQ(late.nEvent, Event::None);
    EXPECT_FALSE(late.bStopTimer);
}
