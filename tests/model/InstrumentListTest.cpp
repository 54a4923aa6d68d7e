#include "model/InstrumentList.h"

#include "AllocationFailure.h"
#include "link/LinkLog.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace {

CMolvarInstrument Record(std::uint32_t dwAddress, const char* pszName = "",
                         std::uint8_t bInUse = 0) {
    CMolvarInstrument instrument;
    instrument.m_dwIPAddress = dwAddress;
    instrument.m_bInUse = bInUse;
    instrument.SetName(pszName);
    return instrument;
}

std::vector<std::uint32_t> Addresses(const CInstrumentList& list) {
    std::vector<std::uint32_t> addresses;
    for (const CMolvarInstrument& instrument : list) {
        addresses.push_back(instrument.m_dwIPAddress);
    }
    return addresses;
}

std::vector<const CMolvarInstrument*> Nodes(const CInstrumentList& list) {
    std::vector<const CMolvarInstrument*> nodes;
    for (const CMolvarInstrument& instrument : list) {
        nodes.push_back(&instrument);
    }
    return nodes;
}

constexpr std::uint32_t A_10_0_0_7 = 0x0A000007;
constexpr std::uint32_t A_192_168_1_2 = 0xC0A80102;
constexpr std::uint32_t A_192_168_1_10 = 0xC0A8010A;

} // namespace

TEST(InstrumentListMerge, SortsByAddressAsTheyArrive) {
    CInstrumentList list;
    list.MergeDiscovered(Record(A_192_168_1_10));
    EXPECT_EQ(list.GetCount(), 1u);
    list.MergeDiscovered(Record(A_192_168_1_2));
    list.MergeDiscovered(Record(A_10_0_0_7));
    EXPECT_EQ(Addresses(list),
              (std::vector<std::uint32_t>{A_10_0_0_7, A_192_168_1_2, A_192_168_1_10}));

    // Without sign: 200.1.1.1 after 10.1.1.1.
    CInstrumentList unsignedOrder;
    unsignedOrder.MergeDiscovered(Record(0xC8010101));
    unsignedOrder.MergeDiscovered(Record(0x0A010101));
    EXPECT_EQ(Addresses(unsignedOrder), (std::vector<std::uint32_t>{0x0A010101, 0xC8010101}));
}

TEST(InstrumentListMerge, IdenticalRecordLeavesListUntouched) {
    CInstrumentList list;
    list.MergeDiscovered(Record(A_192_168_1_10, "c"));
    list.MergeDiscovered(Record(A_10_0_0_7, "a"));
    list.MergeDiscovered(Record(A_192_168_1_2, "b"));
    const auto nodesBefore = Nodes(list);

    list.MergeDiscovered(Record(A_192_168_1_2, "b"));
    EXPECT_EQ(list.GetCount(), 3u);
    EXPECT_EQ(Nodes(list), nodesBefore); // not even relinked
}

TEST(InstrumentListMerge, ChangedRecordReplacesTheOneAtItsAddress) {
    CInstrumentList list;
    list.MergeDiscovered(Record(A_192_168_1_10, "c"));
    list.MergeDiscovered(Record(A_10_0_0_7, "a"));
    list.MergeDiscovered(Record(A_192_168_1_2, "b"));

    list.MergeDiscovered(Record(A_192_168_1_2, "renamed"));
    ASSERT_EQ(list.GetCount(), 3u);
    EXPECT_EQ(Addresses(list),
              (std::vector<std::uint32_t>{A_10_0_0_7, A_192_168_1_2, A_192_168_1_10}));
    EXPECT_STREQ(list.GetAt(1)->m_szName, "renamed");

    list.MergeDiscovered(Record(A_10_0_0_7, "a", 1));
    ASSERT_EQ(list.GetCount(), 3u);
    EXPECT_EQ(list.GetAt(0)->m_bInUse, 1);
    EXPECT_STREQ(list.GetAt(0)->m_szName, "a");
}

TEST(InstrumentListLookup, GetAtAndCount) {
    CInstrumentList list;
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(list.GetAt(0), nullptr);
    list.Clear(); // on an empty list: nothing happens
    EXPECT_EQ(list.GetCount(), 0u);

    list.MergeDiscovered(Record(A_192_168_1_2));
    list.MergeDiscovered(Record(A_10_0_0_7));
    ASSERT_NE(list.GetAt(1), nullptr);
    EXPECT_EQ(list.GetAt(1)->m_dwIPAddress, A_192_168_1_2);
    EXPECT_EQ(list.GetAt(2), nullptr); // equal to the count
    EXPECT_EQ(list.GetAt(0xFFFFFFFF), nullptr);

    list.Clear();
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(list.GetAt(0), nullptr);
}

TEST(InstrumentListCopy, CopiesInOrderAndLeavesTheSourceAlone) {
    CInstrumentList source;
    source.MergeDiscovered(Record(A_192_168_1_10, "c"));
    source.MergeDiscovered(Record(A_10_0_0_7, "a"));
    CInstrumentList target;
    target.MergeDiscovered(Record(A_192_168_1_2, "old"));

    target.CopyFrom(source);
    EXPECT_EQ(Addresses(target), Addresses(source));
    EXPECT_EQ(source.GetCount(), 2u);
    EXPECT_NE(target.GetAt(0), source.GetAt(0)); // copies, not shared nodes

    target.CopyFrom(CInstrumentList());
    EXPECT_EQ(target.GetCount(), 0u);
}

TEST(InstrumentListCopy, CopyOntoItselfKeepsTheRecords) {
    CInstrumentList list;
    list.MergeDiscovered(Record(A_192_168_1_10, "c"));
    list.MergeDiscovered(Record(A_10_0_0_7, "a"));
    list.CopyFrom(list);
    EXPECT_EQ(Addresses(list), (std::vector<std::uint32_t>{A_10_0_0_7, A_192_168_1_10}));
}

TEST(InstrumentListCopy, FailurePartWayLeavesTargetEmptyAndPropagates) {
    CInstrumentList source;
    for (std::uint32_t i = 1; i <= 5; ++i) {
        source.MergeDiscovered(Record(i));
    }
    CInstrumentList target;
    target.MergeDiscovered(Record(100));

    {
        CAllocationFailure failure(3); // the fourth node fails
        EXPECT_THROW(target.CopyFrom(source), std::bad_alloc);
    }
    EXPECT_EQ(target.GetCount(), 0u);
    EXPECT_EQ(source.GetCount(), 5u);

    // Still usable afterwards.
    target.CopyFrom(source);
    EXPECT_EQ(target.GetCount(), 5u);
}

TEST(InstrumentListMerge, AllocationFailureLeavesTheListAsItWas) {
    CInstrumentList list;
    list.MergeDiscovered(Record(A_10_0_0_7, "a"));
    list.MergeDiscovered(Record(A_192_168_1_2, "b"));

    {
        CAllocationFailure failure(0);
        EXPECT_THROW(list.MergeDiscovered(Record(A_192_168_1_10, "c")), std::bad_alloc);
    }
    EXPECT_EQ(Addresses(list), (std::vector<std::uint32_t>{A_10_0_0_7, A_192_168_1_2}));

    // A replacement that cannot be stored keeps the record it would have replaced.
    {
        CAllocationFailure failure(0);
        EXPECT_THROW(list.MergeDiscovered(Record(A_192_168_1_2, "renamed")), std::bad_alloc);
    }
    ASSERT_EQ(list.GetCount(), 2u);
    EXPECT_STREQ(list.GetAt(1)->m_szName, "b");
}

TEST(InstrumentListMerge, AnyArrivalOrderEndsSortedWithTheLatestRecordOfEachAddress) {
    // Replies of a large segment in a scrambled order, each address answering several times
    // with changing names; the list must match a plain model of the rule.
    std::map<std::uint32_t, std::string> mapExpected;
    CInstrumentList list;
    std::uint32_t dwState = 12345;
    const auto next = [&dwState] {
        dwState = dwState * 1103515245u + 12345u;
        return dwState >> 8;
    };
    for (int i = 0; i < 6000; ++i) {
        const std::uint32_t dwAddress = 0x0A4D0800 + next() % 2000;
        const std::string strName = "n" + std::to_string(next() % 3);
        list.MergeDiscovered(Record(dwAddress, strName.c_str()));
        mapExpected[dwAddress] = strName;
    }
    ASSERT_EQ(list.GetCount(), mapExpected.size());
    auto itExpected = mapExpected.begin();
    for (const CMolvarInstrument& instrument : list) {
        ASSERT_EQ(instrument.m_dwIPAddress, itExpected->first);
        ASSERT_STREQ(instrument.m_szName, itExpected->second.c_str());
        ++itExpected;
    }
    CInstrumentList copy;
    copy.CopyFrom(list);
    copy.MergeDiscovered(Record(0x0A4D0800 + 2000, "last"));
    EXPECT_EQ(copy.GetAt(copy.GetCount() - 1)->m_dwIPAddress, 0x0A4D0800u + 2000);
    EXPECT_EQ(copy.GetCount(), list.GetCount() + 1);
}

TEST(InstrumentListMerge, AFullListDropsNewAddressesCountsThemAndSaysSoOnce) {
    static int s_nWarnings = 0;
    SetLinkLogHandler(
        [](ELinkLogLevel nLevel, const char*) { s_nWarnings += nLevel == LINK_LOG_WARNING; });
    CInstrumentList list;
    const std::uint32_t nFull = CInstrumentList::MAX_INSTRUMENTS;
    for (std::uint32_t i = 0; i < nFull + 3; ++i) {
        list.MergeDiscovered(Record(0x0A000000 + 2 * i)); // the last three dropped
    }
    list.MergeDiscovered(Record(0x0A000001));            // a new address among the listed ones
    list.MergeDiscovered(Record(0x0A000000, "renamed")); // a listed one still changes
    SetLinkLogHandler(nullptr);
    EXPECT_EQ(list.GetCount(), nFull);
    EXPECT_EQ(list.GetDroppedCount(), 4u);
    EXPECT_EQ(s_nWarnings, 1);
    EXPECT_STREQ(list.GetAt(0)->m_szName, "renamed");
    EXPECT_EQ(list.GetAt(nFull - 1)->m_dwIPAddress, 0x0A000000 + 2 * (nFull - 1));
}
