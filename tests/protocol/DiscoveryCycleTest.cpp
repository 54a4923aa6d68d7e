// The discovery cycle driven as a selection window drives it, timer event by timer event.
#include "protocol/DiscoveryCycle.h"

#include "ProtocolTestSupport.h"
#include "protocol/OutcomeTexts.h"

#include <gtest/gtest.h>

namespace {

constexpr unsigned COLLECTION = CDiscoveryCycle::ID_INSTRUMENT_DISCOVERY_COLLECTION_TIMER_EVENT;
constexpr unsigned DWELL = CDiscoveryCycle::ID_INSTRUMENT_DISCOVERY_DWELL_TIMER_EVENT;
constexpr unsigned REQUEST = CDiscoveryCycle::ID_INSTRUMENT_DISCOVERY_REQUEST_TIMER_EVENT;

// The timers of a step as (id, started) pairs, in order.
std::vector<std::pair<unsigned, bool>> Timers(const SDiscoveryStep& step) {
    std::vector<std::pair<unsigned, bool>> listTimers;
    for (const STimerAction& action : step.listTimers) {
        listTimers.emplace_back(action.nTimerId, action.bStart);
    }
    return listTimers;
}

Bytes DiscoveryReply(std::uint32_t dwAddress, std::uint8_t bInUse = 0) {
    SInstrumentDescriptionFields description;
    description.strHostName = "inst";
    description.dwAddress = dwAddress;
    description.bInUse = bInUse;
    return ToBytes(BuildDiscoveryReply(description));
}

// Request timer events until the collection's end, as a cycle's timeline has them (about 185,
// 370, 555, 740 and 925 ms); answers the requests sent.
std::vector<SRequest> RunRequestTimer(CDiscoveryCycle& cycle) {
    std::vector<SRequest> listSent;
    for (int nEvent = 0; nEvent < 5; ++nEvent) {
        if (auto request = cycle.OnTimer(REQUEST).request) {
            listSent.push_back(*request);
        }
    }
    return listSent;
}

} // namespace

TEST(DiscoveryCycle, CycleWithNoAnswerSendsThreeBroadcastsThenShowsNothing) {
    CDiscoveryCycle cycle(BROADCAST_ADDRESS);
    const SDiscoveryStep open = cycle.Open();
    EXPECT_EQ(Timers(open), (std::vector<std::pair<unsigned, bool>>{
                                {COLLECTION, true}, {DWELL, true}, {REQUEST, true}}));
    EXPECT_EQ(open.listTimers[0].nPeriodMs, 1015u);
    EXPECT_EQ(open.listTimers[1].nPeriodMs, 5015u);
    EXPECT_EQ(open.listTimers[2].nPeriodMs, 185u);
    EXPECT_TRUE(cycle.IsCollecting());

    const std::vector<SRequest> listSent = RunRequestTimer(cycle);
    ASSERT_EQ(listSent.size(), 3u);
    for (const SRequest& request : listSent) {
        EXPECT_EQ(request.dwDestination, BROADCAST_ADDRESS);
        EXPECT_EQ(request.payload, Bytes{MSG_DISCOVERY_REQUEST});
    }
    EXPECT_EQ(cycle.GetRequestCount(), 5u);

    const SDiscoveryStep end = cycle.OnTimer(COLLECTION);
    EXPECT_EQ(Timers(end),
              (std::vector<std::pair<unsigned, bool>>{{COLLECTION, false}, {REQUEST, false}}));
    EXPECT_TRUE(end.bDisplayedChanged);
    EXPECT_FALSE(cycle.IsCollecting());
    EXPECT_EQ(cycle.GetDisplayed().GetCount(), 0u);
    EXPECT_FALSE(cycle.HasInstrumentNotInUse());
}

TEST(DiscoveryCycle, RepliesShowOnlyAtTheEndOfTheirCollection) {
    CDiscoveryCycle cycle(BROADCAST_ADDRESS);
    cycle.Open();
    EXPECT_TRUE(cycle.OnReply(DiscoveryReply(0xC0A80115)));
    EXPECT_TRUE(cycle.OnReply(DiscoveryReply(0xC0A80114)));
    EXPECT_EQ(cycle.GetDisplayed().GetCount(), 0u);
    cycle.OnTimer(COLLECTION);
    ASSERT_EQ(cycle.GetDisplayed().GetCount(), 2u);
    EXPECT_EQ(cycle.GetDisplayed().GetAt(0)->m_dwIPAddress, 0xC0A80114u);

    // A reply in the dwell phase is emptied by the next cycle's start and never shown.
    cycle.OnReply(DiscoveryReply(0xC0A80116));
    EXPECT_EQ(Timers(cycle.OnTimer(DWELL)),
              (std::vector<std::pair<unsigned, bool>>{{COLLECTION, true}, {REQUEST, true}}));
    EXPECT_EQ(cycle.GetCollected().GetCount(), 0u);
    cycle.OnReply(DiscoveryReply(0xC0A80114));
    cycle.OnTimer(COLLECTION);
    ASSERT_EQ(cycle.GetDisplayed().GetCount(), 1u);
    EXPECT_EQ(cycle.GetDisplayed().GetAt(0)->m_dwIPAddress, 0xC0A80114u);
}

TEST(DiscoveryCycle, ReplyOfWrongLengthOrCodeIsIgnored) {
    CDiscoveryCycle cycle(BROADCAST_ADDRESS);
    cycle.Open();
    Bytes verify = DiscoveryReply(1);
    verify[0] = MSG_VERIFY;
    for (const Bytes& payload :
         {Shortened(DiscoveryReply(1)), Lengthened(DiscoveryReply(1)), verify, Bytes{}}) {
        EXPECT_FALSE(cycle.OnReply(payload));
    }
    EXPECT_EQ(cycle.GetCollected().GetCount(), 0u);
}

TEST(DiscoveryCycle, RefreshStartsACycleOnlyInTheDwellPhase) {
    CDiscoveryCycle cycle(BROADCAST_ADDRESS);
    cycle.Open();
    cycle.OnReply(DiscoveryReply(1));
    const SDiscoveryStep during = cycle.Refresh();
    EXPECT_TRUE(during.listTimers.empty());
    EXPECT_EQ(cycle.GetCollected().GetCount(), 1u);

    cycle.OnTimer(COLLECTION);
    // The dwell timer keeps its phase: only the collection and request timers start.
    EXPECT_EQ(Timers(cycle.Refresh()),
              (std::vector<std::pair<unsigned, bool>>{{COLLECTION, true}, {REQUEST, true}}));
    EXPECT_TRUE(cycle.IsCollecting());
    EXPECT_EQ(RunRequestTimer(cycle).size(), 3u);
}

TEST(DiscoveryCycle, DwellEventInsideACollectionBeginsItAfresh) {
    CDiscoveryCycle cycle(BROADCAST_ADDRESS);
    cycle.Open();
    cycle.OnTimer(COLLECTION);
    cycle.Refresh();
    cycle.OnTimer(REQUEST);
    cycle.OnReply(DiscoveryReply(1));
    cycle.OnTimer(DWELL);
    EXPECT_EQ(cycle.GetCollected().GetCount(), 0u);
    EXPECT_EQ(cycle.GetRequestCount(), 0u);
    EXPECT_EQ(RunRequestTimer(cycle).size(), 3u);
}

TEST(DiscoveryCycle, CloseStopsTheRunningTimersOnly) {
    CDiscoveryCycle cycle(BROADCAST_ADDRESS);
    cycle.Open();
    EXPECT_EQ(Timers(cycle.Close()), (std::vector<std::pair<unsigned, bool>>{
                                         {COLLECTION, false}, {DWELL, false}, {REQUEST, false}}));

    CDiscoveryCycle dwelling(BROADCAST_ADDRESS);
    dwelling.Open();
    dwelling.OnTimer(COLLECTION);
    EXPECT_EQ(Timers(dwelling.Close()), (std::vector<std::pair<unsigned, bool>>{{DWELL, false}}));
    EXPECT_TRUE(dwelling.OnTimer(99).listTimers.empty());
}

TEST(DiscoveryCycle, OnlyAnInUseFlagOfExactlyOneCountsAsInUse) {
    CDiscoveryCycle cycle(BROADCAST_ADDRESS);
    cycle.Open();
    cycle.OnReply(DiscoveryReply(1, 1));
    cycle.OnReply(DiscoveryReply(2, 1));
    cycle.OnTimer(COLLECTION);
    EXPECT_FALSE(cycle.HasInstrumentNotInUse());
    cycle.OnTimer(DWELL);
    cycle.OnReply(DiscoveryReply(1, 1));
    cycle.OnReply(DiscoveryReply(2, 2));
    cycle.OnTimer(COLLECTION);
    EXPECT_TRUE(cycle.HasInstrumentNotInUse());
}

TEST(DiscoveryCycle, StatusLineTexts) {
    EXPECT_EQ(DiscoveryStatusText(0, true), u"Checking network...");
    EXPECT_EQ(DiscoveryStatusText(0, false), u"No instruments found");
    EXPECT_EQ(DiscoveryStatusText(1, false), u"One instrument found");
    EXPECT_EQ(DiscoveryStatusText(12, false), u"12 instruments found");
}
