// Which discovered instruments an INSTRUMENT argument names.
#include "cli/InstrumentMatch.h"

#include <gtest/gtest.h>

namespace {

CInstrumentList Lab() {
    CInstrumentList list;
    for (const auto& [pszHost, dwAddress, pszName] :
         {std::tuple{"tavik-a101", 0x0A4D010Bu, ""}, std::tuple{"tavik-b202", 0x0A4D010Cu, "Bench"},
          std::tuple{"tavik-c303", 0x0A4D010Du, "Bench"},
          std::tuple{"Bench", 0x0A4D010Eu, "Other"}}) {
        CMolvarInstrument instrument;
        instrument.SetHostName(pszHost);
        instrument.SetName(pszName);
        instrument.m_dwIPAddress = dwAddress;
        list.MergeDiscovered(instrument);
    }
    return list;
}

std::vector<std::uint32_t> Addresses(const QString& strInstrument) {
    std::vector<std::uint32_t> listAddresses;
    const CInstrumentList list = Lab();
    for (const CMolvarInstrument* pInstrument : CInstrumentMatch(strInstrument).Find(list)) {
        listAddresses.push_back(pInstrument->m_dwIPAddress);
    }
    return listAddresses;
}

} // namespace

TEST(InstrumentMatch, AnAddressNamesTheInstrumentThereAndCanBeAskedDirectly) {
    EXPECT_EQ(Addresses(QStringLiteral("10.77.1.12")), std::vector<std::uint32_t>{0x0A4D010C});
    EXPECT_TRUE(Addresses(QStringLiteral("10.77.1.99")).empty());
    EXPECT_EQ(CInstrumentMatch(QStringLiteral("10.77.1.12")).Address(), 0x0A4D010Cu);
    EXPECT_FALSE(CInstrumentMatch(QStringLiteral("tavik-a101")).Address().has_value());
}

TEST(InstrumentMatch, AHostNameInAnyCaseOrAnInstrumentNameExactly) {
    EXPECT_EQ(Addresses(QStringLiteral("TAVIK-A101")), std::vector<std::uint32_t>{0x0A4D010B});
    EXPECT_EQ(Addresses(QStringLiteral("Other")), std::vector<std::uint32_t>{0x0A4D010E});
    EXPECT_TRUE(Addresses(QStringLiteral("other")).empty()); // names keep their case
    // Every instrument the text names, by either: here three.
    EXPECT_EQ(Addresses(QStringLiteral("Bench")),
              (std::vector<std::uint32_t>{0x0A4D010C, 0x0A4D010D, 0x0A4D010E}));
    EXPECT_TRUE(Addresses(QStringLiteral("Unnamed")).empty()); // the lists' word is no name
}
