// The adapter listing, read from this machine's own interfaces (nothing is sent): every
// interface but loopback, in index order, described as the adapter choice expects.
#include "platform/NetworkAdapters.h"

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <net/if.h>
#include <set>
#include <tuple>

namespace {

std::string InterfaceName(const SNetworkAdapter& adapter) {
    return adapter.strDescription.substr(0, adapter.strDescription.find_first_of(" ,"));
}

bool IsDottedQuad(const std::string& strText) {
    in_addr address{};
    return inet_pton(AF_INET, strText.c_str(), &address) == 1;
}

TEST(NetworkAdapters, ListsEveryInterfaceButLoopbackInIndexOrder) {
    const auto adapters = ListNetworkAdapters();
    ASSERT_TRUE(adapters.has_value());

    std::set<std::string> setExpected;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net")) {
        std::ifstream typeFile(entry.path() / "type");
        int nType = 0;
        typeFile >> nType;
        if (nType != 772) { // ARPHRD_LOOPBACK
            setExpected.insert(entry.path().filename().string());
        }
    }

    std::set<std::string> setListed;
    unsigned nPreviousIndex = 0;
    for (const SNetworkAdapter& adapter : *adapters) {
        const std::string strName = InterfaceName(adapter);
        SCOPED_TRACE(adapter.strDescription);
        EXPECT_TRUE(setListed.insert(strName).second);
        const unsigned nIndex = if_nametoindex(strName.c_str());
        EXPECT_GT(nIndex, nPreviousIndex);
        nPreviousIndex = nIndex;

        std::ifstream typeFile("/sys/class/net/" + strName + "/type");
        int nType = 0;
        typeFile >> nType;
        EXPECT_EQ(adapter.nType, nType == 1 ? ADAPTER_TYPE_ETHERNET : ADAPTER_TYPE_OTHER);

        EXPECT_TRUE(IsDottedQuad(adapter.strIpAddress));
        EXPECT_TRUE(IsDottedQuad(adapter.strIpMask));
        if (adapter.strIpAddress == "0.0.0.0") {
            EXPECT_EQ(adapter.strIpMask, "0.0.0.0");
        }

        const bool bWireless = std::filesystem::exists("/sys/class/net/" + strName + "/wireless") ||
                               std::filesystem::exists("/sys/class/net/" + strName + "/phy80211");
        const std::string strSuffix = ", wireless";
        const bool bSaysWireless =
            adapter.strDescription.size() > strSuffix.size() &&
            adapter.strDescription.compare(adapter.strDescription.size() - strSuffix.size(),
                                           strSuffix.size(), strSuffix) == 0;
        EXPECT_EQ(bSaysWireless, bWireless);
    }
    EXPECT_EQ(setListed, setExpected);
    EXPECT_EQ(setListed.count("lo"), 0u);
}

// A device with a driver behind it is described as "name (driver)".
TEST(NetworkAdapters, DevicesWithADriverNameIt) {
    const auto adapters = ListNetworkAdapters();
    ASSERT_TRUE(adapters.has_value());
    for (const SNetworkAdapter& adapter : *adapters) {
        const std::string strName = InterfaceName(adapter);
        std::error_code error;
        const auto driverLink =
            std::filesystem::read_symlink("/sys/class/net/" + strName + "/device/driver", error);
        if (error) {
            continue;
        }
        EXPECT_EQ(adapter.strDescription.rfind(strName + " (", 0), 0u) << adapter.strDescription;
        EXPECT_NE(adapter.strDescription.find(')'), std::string::npos);
    }
}

// An Ethernet-type interface that is down or has no carrier (an empty bridge) is listed without
// an address, so the adapter choice passes over it; other link types (tunnels) keep theirs.
TEST(NetworkAdapters, AnEthernetInterfaceThatIsNotRunningShowsNoAddress) {
    const std::tuple<int, int, bool> cases[] = {{1, IFF_UP | IFF_RUNNING, true}, {1, IFF_UP, false},
                                                {1, IFF_RUNNING, false},         {1, 0, false},
                                                {65534, IFF_UP, true},           {768, 0, true}};
    for (const auto& [nLinkType, nFlags, bListed] : cases) {
        const SNetworkAdapter adapter = DescribeAdapter(
            {"br0", nLinkType, unsigned(nFlags), "bridge", false, "10.77.1.1", "255.255.255.0"});
        EXPECT_EQ(adapter.strIpAddress, bListed ? "10.77.1.1" : "0.0.0.0") << nLinkType << nFlags;
        EXPECT_EQ(adapter.strIpMask, bListed ? "255.255.255.0" : "0.0.0.0");
    }
}

} // namespace
