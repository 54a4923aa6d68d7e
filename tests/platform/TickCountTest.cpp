#include "platform/TickCount.h"

#include "platform/HostName.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

TEST(TickCount, DistanceIsTheSameEitherWayRoundAndAcrossTheWrap) {
    EXPECT_EQ(TickDistance(1000, 2500), 1500u);
    EXPECT_EQ(TickDistance(2500, 1000), 1500u);
    EXPECT_EQ(TickDistance(0xFFFFFFF0u, 0x10u), 0x20u);
    EXPECT_EQ(TickDistance(0x10u, 0xFFFFFFF0u), 0x20u);
    EXPECT_EQ(TickDistance(7, 7), 0u);
}

TEST(TickCount, CountsMillisecondsOfASteadyClock) {
    const std::uint32_t dwStart = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const std::uint32_t dwDistance = TickDistance(dwStart, GetTickCount());
    EXPECT_GE(dwDistance, 59u);
    EXPECT_LT(dwDistance, 5000u);
}

TEST(HostName, TheComputersNameCutToTheRoomGiven) {
    char szExpected[HOST_NAME_MAX + 1] = {};
    ASSERT_EQ(gethostname(szExpected, sizeof(szExpected)), 0);
    char szName[64];
    std::memset(szName, 'x', sizeof(szName));
    ASSERT_TRUE(GetLocalHostName(szName, sizeof(szName)));
    EXPECT_EQ(std::string(szName), std::string(szExpected).substr(0, 63));

    char szShort[4];
    ASSERT_TRUE(GetLocalHostName(szShort, sizeof(szShort)));
    EXPECT_EQ(std::string(szShort), std::string(szExpected).substr(0, 3));
    EXPECT_FALSE(GetLocalHostName(nullptr, 64));
    EXPECT_FALSE(GetLocalHostName(szShort, 0));
}
