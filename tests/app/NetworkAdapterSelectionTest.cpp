// The adapter choice at start-up and the lenient dotted-quad reading it relies on.
#include "app/NetworkAdapterSelection.h"

#include "tests/support/MessageBoxRecorder.h"

#include <gtest/gtest.h>

namespace {

using Listing = std::optional<std::vector<SNetworkAdapter>>;

SNetworkAdapter Ethernet(const char* pszDescription, const char* pszAddress,
                         const char* pszMask = "255.255.255.0") {
    return {ADAPTER_TYPE_ETHERNET, pszDescription, pszAddress, pszMask};
}

const QString QUESTION_START =
    QStringLiteral("Multiple Ethernet adapters have been detected ...\nDo you want to use ");

TEST(DottedQuadValue, ReadsPlainAddresses) {
    EXPECT_EQ(DottedQuadValue("192.168.1.10"), 0xC0A8010Au);
    EXPECT_EQ(DottedQuadValue("255.255.255.0"), 0xFFFFFF00u);
    EXPECT_EQ(DottedQuadValue("0.0.0.0"), 0u);
    EXPECT_EQ(DottedQuadValue("10.0.0.5"), 0x0A000005u);
}

TEST(DottedQuadValue, ReadsLikeATokenizerAndStrtol) {
    EXPECT_EQ(DottedQuadValue("1..2.3.4"), 0x01020304u); // empty pieces skipped
    EXPECT_EQ(DottedQuadValue(".1.2.3.4."), 0x01020304u);
    EXPECT_EQ(DottedQuadValue("-1.0.0.0"), 0xFF000000u);  // 32-bit wrap-around
    EXPECT_EQ(DottedQuadValue("300.0.0.1"), 0x2C000001u); // pieces not cut to a byte
    EXPECT_EQ(DottedQuadValue("1.2.3.256"), 0x01020400u);
    EXPECT_EQ(DottedQuadValue(" 10.0.0.1x"), 0x0A000001u); // white space, trailing junk
    EXPECT_EQ(DottedQuadValue("10.\t+0.0.1"), 0x0A000001u);
    EXPECT_EQ(DottedQuadValue("a.b.c.d"), 0u);
    EXPECT_EQ(DottedQuadValue("10.0"), 0x0A000000u); // missing pieces are 0
    EXPECT_EQ(DottedQuadValue(""), 0u);
    EXPECT_EQ(DottedQuadValue("1.2.3.4.5"), 0x01020304u); // only four pieces
    EXPECT_EQ(DottedQuadValue(std::string_view("1.2.3.4\0 9", 9)), 0x01020304u);
    // Saturation at the 32-bit long: 2147483647 and -2147483648.
    EXPECT_EQ(DottedQuadValue("0.0.0.99999999999"), 0x7FFFFFFFu);
    EXPECT_EQ(DottedQuadValue("0.0.0.-99999999999"), 0x80000000u);
}

TEST(AdapterChoice, NoListingOrAnEmptyOneGivesAnyAddressAndTheLimitedBroadcast) {
    CMessageBoxRecorder boxes;
    for (const auto& listing : {Listing{}, Listing(std::in_place)}) {
        const SAdapterChoice choice = ChooseNetworkAdapter(listing);
        EXPECT_EQ(choice.dwLocalIPAddress, 0u);
        EXPECT_EQ(choice.dwBroadcastIPAddress, 0xFFFFFFFFu);
    }
    EXPECT_EQ(boxes.Count(), 0);
}

TEST(AdapterChoice, OneEthernetAdapterIsUsedWithoutAQuestion) {
    CMessageBoxRecorder boxes;
    const SAdapterChoice choice =
        ChooseNetworkAdapter(Listing{{Ethernet("enp3s0 (e1000e)", "192.168.1.10")}});
    EXPECT_EQ(choice.dwLocalIPAddress, 0xC0A8010Au);
    EXPECT_EQ(choice.dwBroadcastIPAddress, 0xC0A801FFu);
    EXPECT_EQ(boxes.Count(), 0);
}

TEST(AdapterChoice, BroadcastsGoToTheSubnetUnlessItIsPointToPoint) {
    CMessageBoxRecorder boxes;
    struct SCase {
        const char* pszAddress;
        const char* pszMask;
        std::uint32_t dwBroadcast;
    };
    const SCase aCases[] = {
        {"10.1.2.3", "255.0.0.0", 0x0AFFFFFFu},
        {"192.168.1.10", "255.255.255.0", 0xC0A801FFu},
        {"192.168.1.9", "255.255.255.252", 0xC0A8010Bu},
        // /31: one end's directed address is its own, the other's is its peer's.
        {"192.168.1.8", "255.255.255.254", 0xFFFFFFFFu},
        {"192.168.1.9", "255.255.255.254", 0xFFFFFFFFu},
        {"192.168.1.10", "255.255.255.255", 0xFFFFFFFFu},
        // An adapter without an address, taken as the last one.
        {"0.0.0.0", "0.0.0.0", 0xFFFFFFFFu},
    };
    for (const SCase& c : aCases) {
        SCOPED_TRACE(std::string(c.pszAddress) + "/" + c.pszMask);
        const SAdapterChoice choice =
            ChooseNetworkAdapter(Listing{{Ethernet("eth0 (veth)", c.pszAddress, c.pszMask)}});
        EXPECT_EQ(choice.dwLocalIPAddress, DottedQuadValue(c.pszAddress));
        EXPECT_EQ(choice.dwBroadcastIPAddress, c.dwBroadcast);
    }
    EXPECT_EQ(boxes.Count(), 0);
}

TEST(AdapterChoice, TwoQualifyingAdaptersAskAboutTheFirstOnly) {
    const Listing listing{{Ethernet("enp3s0 (e1000e)", "192.168.1.10"),
                           Ethernet("enp4s0 (igb)", "10.1.2.3", "255.0.0.0")}};
    {
        CMessageBoxRecorder boxes;
        boxes.QueueAnswers({IDYES});
        const SAdapterChoice choice = ChooseNetworkAdapter(listing);
        EXPECT_EQ(choice.dwLocalIPAddress, 0xC0A8010Au);
        EXPECT_EQ(choice.dwBroadcastIPAddress, 0xC0A801FFu);
        ASSERT_EQ(boxes.Count(), 1);
        const SMessageBox box = boxes.Last();
        EXPECT_EQ(box.pOwner, nullptr);
        EXPECT_EQ(box.strCaption, "Select Adapter");
        EXPECT_EQ(box.strText, QUESTION_START + "enp3s0 (e1000e)?\n");
        EXPECT_EQ(box.nIcon, EMessageIcon::Question);
        EXPECT_EQ(box.nButtons, EMessageButtons::YesNo);
    }
    {
        CMessageBoxRecorder boxes;
        boxes.QueueAnswers({IDNO});
        const SAdapterChoice choice = ChooseNetworkAdapter(listing);
        EXPECT_EQ(choice.dwLocalIPAddress, 0x0A010203u);
        EXPECT_EQ(choice.dwBroadcastIPAddress, 0x0AFFFFFFu);
        EXPECT_EQ(boxes.Count(), 1); // the last one is taken without a question
    }
}

TEST(AdapterChoice, NoToEthernetFallsBackToTheWirelessAdapterThatFollows) {
    CMessageBoxRecorder boxes;
    boxes.QueueAnswers({IDNO});
    const SAdapterChoice choice = ChooseNetworkAdapter(
        Listing{{Ethernet("enp3s0 (e1000e)", "192.168.1.10"),
                 Ethernet("wlp2s0 (iwlwifi), wireless", "172.16.0.7", "255.255.0.0")}});
    EXPECT_EQ(boxes.Count(), 1);
    EXPECT_EQ(choice.dwLocalIPAddress, 0xAC100007u);
    EXPECT_EQ(choice.dwBroadcastIPAddress, 0xAC10FFFFu);
}

TEST(AdapterChoice, AnOnlyWirelessAdapterIsUsedWithoutAQuestion) {
    CMessageBoxRecorder boxes;
    const SAdapterChoice choice = ChooseNetworkAdapter(
        Listing{{Ethernet("wlp2s0 (iwlwifi), wireless", "172.16.0.7", "255.255.0.0")}});
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_EQ(choice.dwLocalIPAddress, 0xAC100007u);
    EXPECT_EQ(choice.dwBroadcastIPAddress, 0xAC10FFFFu);
}

TEST(AdapterChoice, WirelessInAnyLetterCaseDoesNotQualifyButIsShownAsGiven) {
    CMessageBoxRecorder boxes;
    boxes.QueueAnswers({IDNO, IDNO});
    const SAdapterChoice choice = ChooseNetworkAdapter(Listing{{
        Ethernet("Fast WiReLeSs adapter", "10.0.0.1"), // passed over, not asked about
        Ethernet("Intel(R) PRO/1000", "10.0.0.2"),
        Ethernet("Marvell Yukon", "10.0.0.3"),
        Ethernet("Broadcom WIRELESS", "10.0.0.4"),
    }});
    ASSERT_EQ(boxes.Count(), 2);
    EXPECT_EQ(boxes.Texts()[0], QUESTION_START + "Intel(R) PRO/1000?\n");
    EXPECT_EQ(boxes.Texts()[1], QUESTION_START + "Marvell Yukon?\n");
    EXPECT_EQ(choice.dwLocalIPAddress, 0x0A000004u); // nothing chosen: the last adapter
}

TEST(AdapterChoice, AdaptersWithoutAnAddressOrNotEthernetArePassedOver) {
    CMessageBoxRecorder boxes;
    const SAdapterChoice choice = ChooseNetworkAdapter(Listing{{
        Ethernet("enp3s0 (e1000e)", "0.0.0.0", "0.0.0.0"),
        {ADAPTER_TYPE_OTHER, "tun0 (tun)", "10.8.0.2", "255.255.255.0"},
        Ethernet("enp4s0 (igb)", "192.168.1.10"),
    }});
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_EQ(choice.dwLocalIPAddress, 0xC0A8010Au);
}

TEST(AdapterChoice, WithoutAChoiceTheLastAdapterIsUsedWhateverItIs) {
    CMessageBoxRecorder boxes;
    boxes.QueueAnswers({IDNO});
    const SAdapterChoice choice = ChooseNetworkAdapter(Listing{{
        Ethernet("enp3s0 (e1000e)", "192.168.1.10"),
        {ADAPTER_TYPE_OTHER, "ppp0", "0.0.0.0", "0.0.0.0"},
    }});
    EXPECT_EQ(boxes.Count(), 1);
    EXPECT_EQ(choice.dwLocalIPAddress, 0u);
    EXPECT_EQ(choice.dwBroadcastIPAddress, 0xFFFFFFFFu);
}

TEST(AdapterChoice, TheQuestionDecodesTheDescriptionAsWindows1252) {
    CMessageBoxRecorder boxes;
    boxes.QueueAnswers({IDYES});
    ChooseNetworkAdapter(
        Listing{{Ethernet("Caf\xE9 \x80 NIC", "10.0.0.1"), Ethernet("other", "10.0.0.2")}});
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Last().strText, QUESTION_START + QString::fromUtf8("Café € NIC?\n"));
}

} // namespace
