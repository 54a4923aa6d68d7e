// The adapter choice without questions: the one qualifying adapter, or the one named.
#include "cli/AdapterChoice.h"

#include <gtest/gtest.h>

namespace {

SNetworkAdapter Adapter(const char* pszDescription, const char* pszAddress,
                        std::uint32_t nType = ADAPTER_TYPE_ETHERNET,
                        const char* pszMask = "255.255.255.0") {
    return {nType, pszDescription, pszAddress, pszMask};
}

} // namespace

TEST(AdapterChoice, TheOneQualifyingAdapterIsUsedWhateverElseIsListed) {
    const std::vector<SNetworkAdapter> listAdapters = {
        Adapter("ifb0 (ifb)", "0.0.0.0"),                      // no address
        Adapter("wlp2s0 (iwlwifi), wireless", "192.168.7.20"), // wireless
        Adapter("tun0", "10.8.0.2", ADAPTER_TYPE_OTHER),       // not Ethernet
        Adapter("enp3s0 (e1000e)", "10.77.1.1"), Adapter("wwan0 (qmi) Wireless WAN", "10.9.0.2")};
    const SCliAdapterChoice result = CAdapterChoice::Choose(listAdapters, QString());
    ASSERT_EQ(result.nResult, SCliAdapterChoice::Chosen);
    EXPECT_EQ(result.nIndex, 3u);
    EXPECT_EQ(result.choice.dwLocalIPAddress, 0x0A4D0101u);
    EXPECT_EQ(result.choice.dwBroadcastIPAddress, 0x0A4D01FFu);
}

TEST(AdapterChoice, SeveralQualifyingAdaptersNeedANameOrAnAddress) {
    const std::vector<SNetworkAdapter> listAdapters = {
        Adapter("eth0 (veth)", "10.77.1.1"), Adapter("eth1 (veth)", "10.78.1.1", 6, "255.255.0.0"),
        Adapter("ppp0", "10.9.0.2", ADAPTER_TYPE_OTHER, "255.255.255.255")};
    EXPECT_EQ(CAdapterChoice::Choose(listAdapters, QString()).nResult, SCliAdapterChoice::Several);

    SCliAdapterChoice result = CAdapterChoice::Choose(listAdapters, QStringLiteral("eth1"));
    ASSERT_EQ(result.nResult, SCliAdapterChoice::Chosen);
    EXPECT_EQ(result.nIndex, 1u);
    EXPECT_EQ(result.choice.dwBroadcastIPAddress, 0x0A4EFFFFu);

    result = CAdapterChoice::Choose(listAdapters, QStringLiteral("10.77.1.1"));
    ASSERT_EQ(result.nResult, SCliAdapterChoice::Chosen);
    EXPECT_EQ(result.nIndex, 0u);

    // Named, an adapter is used whatever its type; a point-to-point one broadcasts to all.
    result = CAdapterChoice::Choose(listAdapters, QStringLiteral("ppp0"));
    ASSERT_EQ(result.nResult, SCliAdapterChoice::Chosen);
    EXPECT_EQ(result.choice.dwBroadcastIPAddress, 0xFFFFFFFFu);

    EXPECT_EQ(CAdapterChoice::Choose(listAdapters, QStringLiteral("eth")).nResult,
              SCliAdapterChoice::NotFound);
    EXPECT_EQ(CAdapterChoice::Choose(listAdapters, QStringLiteral("10.77.1.2")).nResult,
              SCliAdapterChoice::NotFound);
}

TEST(AdapterChoice, WithoutAQualifyingAdapterTheDesktopProgramsFallbacksHold) {
    // None qualifies: the last adapter, as the desktop program takes it.
    const SCliAdapterChoice last = CAdapterChoice::Choose(
        std::vector<SNetworkAdapter>{Adapter("eth0 (veth)", "0.0.0.0"),
                                     Adapter("wlan0 (ath9k), wireless", "192.168.7.20")},
        QString());
    ASSERT_EQ(last.nResult, SCliAdapterChoice::Chosen);
    EXPECT_EQ(last.nIndex, 1u);
    EXPECT_EQ(last.choice.dwLocalIPAddress, 0xC0A80714u);

    // None listed, or no listing: any local address and the limited broadcast.
    for (const auto& adapters :
         {std::optional<std::vector<SNetworkAdapter>>{},
          std::optional<std::vector<SNetworkAdapter>>{std::vector<SNetworkAdapter>{}}}) {
        const SCliAdapterChoice none = CAdapterChoice::Choose(adapters, QString());
        ASSERT_EQ(none.nResult, SCliAdapterChoice::Chosen);
        EXPECT_FALSE(none.nIndex.has_value());
        EXPECT_EQ(none.choice.dwLocalIPAddress, 0u);
        EXPECT_EQ(none.choice.dwBroadcastIPAddress, 0xFFFFFFFFu);
    }
}

TEST(AdapterChoice, TheInterfaceNameIsWhereTheDescriptionBegins) {
    EXPECT_EQ(CAdapterChoice::InterfaceName(Adapter("enp3s0 (e1000e)", "")),
              QStringLiteral("enp3s0"));
    EXPECT_EQ(CAdapterChoice::InterfaceName(Adapter("wlan0, wireless", "")),
              QStringLiteral("wlan0"));
    EXPECT_EQ(CAdapterChoice::InterfaceName(Adapter("tun0", "")), QStringLiteral("tun0"));
}
