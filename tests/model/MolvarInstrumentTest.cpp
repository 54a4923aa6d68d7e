#include "model/MolvarInstrument.h"

#include "model/AddressText.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t ADDRESS_192_168_1_20 = 0xC0A80114;

std::array<std::uint8_t, DISCOVERY_REPLY_SIZE> SampleReply() {
    SInstrumentDescriptionFields f;
    f.strHostName = "tavik-07";
    f.dwAddress = ADDRESS_192_168_1_20;
    f.bClaimed = 1;
    f.bInUse = 1;
    f.strName = "Bench A";
    f.strOwnerHostName = "lab-pc";
    f.dwOwnerAddress = ADDRESS_192_168_1_20;
    return BuildDiscoveryReply(f);
}

CMolvarInstrument Decode(const std::array<std::uint8_t, DISCOVERY_REPLY_SIZE>& reply) {
    const auto description = DiscoveryReplyDescription(reply);
    EXPECT_TRUE(description);
    return CMolvarInstrument::FromDescription(*description);
}

CMolvarInstrument Record(std::uint32_t dwAddress, const char* pszName = "") {
    CMolvarInstrument instrument;
    instrument.m_dwIPAddress = dwAddress;
    instrument.SetName(pszName);
    instrument.SetHostName("host");
    return instrument;
}

} // namespace

TEST(AddressText, FourDecimalBytesMostSignificantFirst) {
    EXPECT_EQ(FormatAddress(ADDRESS_192_168_1_20), u"192.168.1.20");
    EXPECT_EQ(FormatAddress(0), u"0.0.0.0");
    EXPECT_EQ(FormatAddress(0xFFFFFFFF), u"255.255.255.255");
    EXPECT_EQ(FormatHostAndAddress(u"tavik-07", 0x0A000002), u"tavik-07 [10.0.0.2]");
    EXPECT_EQ(FormatHostAndAddress(u"", 0x0A000002), u" [10.0.0.2]");
}

TEST(MolvarInstrument, DecodesEveryFieldOfADiscoveryReply) {
    const CMolvarInstrument instrument = Decode(SampleReply());
    EXPECT_STREQ(instrument.m_szHostName, "tavik-07");
    EXPECT_STREQ(instrument.m_szName, "Bench A");
    EXPECT_STREQ(instrument.m_szOwnerHostName, "lab-pc");
    EXPECT_EQ(instrument.m_bClaimed, 1);
    EXPECT_EQ(instrument.m_bInUse, 1);
    // C0 A8 01 14 (network order) and 14 01 A8 C0 (header form) are the same address.
    EXPECT_EQ(instrument.m_dwIPAddress, ADDRESS_192_168_1_20);
    EXPECT_EQ(instrument.m_dwOwnerIPAddress, ADDRESS_192_168_1_20);
    EXPECT_EQ(instrument.DisplayAddress(), u"tavik-07 [192.168.1.20]");
    EXPECT_EQ(instrument.DisplayOwner(), u"lab-pc [192.168.1.20]");
    EXPECT_EQ(instrument.DisplayName(), u"Bench A");
    EXPECT_EQ(instrument.DisplayInUse(), u"Yes");
}

TEST(MolvarInstrument, TextFieldWithoutNulIsStoredEmpty) {
    auto reply = SampleReply();
    std::fill_n(reply.begin() + 1 + InstrumentDescription::NAME, TEXT_FIELD_SIZE, 'N');
    std::fill_n(reply.begin() + 1 + InstrumentDescription::HOST_NAME, TEXT_FIELD_SIZE, 'H');
    const CMolvarInstrument instrument = Decode(reply);
    EXPECT_STREQ(instrument.m_szName, "");
    EXPECT_EQ(instrument.DisplayName(), u"Unnamed");
    EXPECT_STREQ(instrument.m_szHostName, "");
    // The other fields are still taken.
    EXPECT_STREQ(instrument.m_szOwnerHostName, "lab-pc");
    EXPECT_EQ(instrument.m_dwIPAddress, ADDRESS_192_168_1_20);
    EXPECT_EQ(instrument.m_bInUse, 1);
}

TEST(MolvarInstrument, FlagsAreTakenAsTheyCome) {
    auto reply = SampleReply();
    reply[1 + InstrumentDescription::CLAIMED] = 7;
    reply[1 + InstrumentDescription::IN_USE] = 2;
    const CMolvarInstrument instrument = Decode(reply);
    EXPECT_EQ(instrument.m_bClaimed, 7);
    EXPECT_EQ(instrument.m_bInUse, 2);
    EXPECT_EQ(instrument.DisplayInUse(), u"Yes");
    EXPECT_EQ(instrument.DisplayOwner(), u"lab-pc [192.168.1.20]");
}

TEST(MolvarInstrument, DisplayTexts) {
    CMolvarInstrument instrument;
    EXPECT_EQ(instrument.DisplayName(), u"Unnamed");
    EXPECT_EQ(instrument.DisplayInUse(), u"No");
    EXPECT_EQ(instrument.DisplayOwner(), u"{none}");

    // Not claimed: "{none}" whatever the owner fields hold.
    instrument.SetOwnerHostName("lab-pc");
    instrument.m_dwOwnerIPAddress = ADDRESS_192_168_1_20;
    EXPECT_EQ(instrument.DisplayOwner(), u"{none}");
    instrument.m_bClaimed = 1;
    EXPECT_EQ(instrument.DisplayOwner(), u"lab-pc [192.168.1.20]");

    // 8-bit texts read through the code page.
    instrument.SetName("Caf\xE9 \x80");
    EXPECT_EQ(instrument.DisplayName(), u"Caf\u00E9 \u20AC");
    EXPECT_EQ(instrument.NameText(), u"Caf\u00E9 \u20AC");
}

TEST(MolvarInstrument, SettersAcceptSixtyThreeBytesAndRefuseSixtyFour) {
    CMolvarInstrument instrument;
    const std::string str63(63, 'a');
    const std::string str64(64, 'b');
    EXPECT_EQ(instrument.SetName(str63.c_str()), 1);
    EXPECT_EQ(std::string(instrument.m_szName), str63);

    EXPECT_EQ(instrument.SetName(str64.c_str()), 0);
    EXPECT_EQ(std::string(instrument.m_szName), str63);
    EXPECT_EQ(instrument.SetHostName(std::string(200, 'c').c_str()), 0);
    EXPECT_STREQ(instrument.m_szHostName, "");
    EXPECT_EQ(instrument.SetOwnerHostName(nullptr), 0);

    EXPECT_EQ(instrument.SetOwnerHostName("x"), 1);
    EXPECT_EQ(instrument.SetOwnerHostName(""), 1);
    EXPECT_STREQ(instrument.m_szOwnerHostName, "");
}

TEST(MolvarInstrument, SettersNeverReadPastSixtyFourBytes) {
    // 64 bytes with no NUL and nothing after them: the setter must stop at the field's size.
    std::unique_ptr<char[]> pszUnterminated(new char[TEXT_FIELD_SIZE]);
    std::fill_n(pszUnterminated.get(), TEXT_FIELD_SIZE, 'z');
    CMolvarInstrument instrument;
    EXPECT_EQ(instrument.SetName(pszUnterminated.get()), 0);
}

TEST(MolvarInstrument, EqualityComparesAllSevenFields) {
    const CMolvarInstrument a = Decode(SampleReply());
    CMolvarInstrument b = a;
    EXPECT_EQ(CMolvarInstrument::IsEqual(a, b), 1);

    b.SetOwnerHostName("Lab-pc"); // case differs
    EXPECT_EQ(CMolvarInstrument::IsEqual(a, b), 0);

    b = a;
    b.m_bInUse = 0;
    EXPECT_EQ(CMolvarInstrument::IsEqual(a, b), 0);
    b = a;
    b.m_bClaimed = 2;
    EXPECT_EQ(CMolvarInstrument::IsEqual(a, b), 0);
    b = a;
    b.m_dwOwnerIPAddress++;
    EXPECT_EQ(CMolvarInstrument::IsEqual(a, b), 0);
    b = a;
    b.m_dwIPAddress++;
    EXPECT_EQ(CMolvarInstrument::IsEqual(a, b), 0);
    b = a;
    b.SetName("Bench B");
    EXPECT_EQ(CMolvarInstrument::IsEqual(a, b), 0);
    b = a;
    b.SetHostName("tavik-7");
    EXPECT_EQ(CMolvarInstrument::IsEqual(a, b), 0);

    // Bytes after the NUL are not part of the text.
    b = a;
    b.m_szName[60] = 'x';
    EXPECT_EQ(CMolvarInstrument::IsEqual(a, b), 1);
}

TEST(MolvarInstrument, CopiesAreWholeAndIndependent) {
    CMolvarInstrument a = Decode(SampleReply());
    a.m_szName[50] = 'q'; // beyond the NUL, still part of the 64-byte field
    const CMolvarInstrument b(a);
    EXPECT_EQ(std::memcmp(&a.m_szName, &b.m_szName, TEXT_FIELD_SIZE), 0);
    a.SetName("changed");
    EXPECT_STREQ(b.m_szName, "Bench A");

    CMolvarInstrument c;
    c = b;
    EXPECT_EQ(CMolvarInstrument::IsEqual(b, c), 1);
}

TEST(MolvarInstrument, OrderedByAddressAsUnsignedNumbers) {
    EXPECT_TRUE(Record(0x0A000002) < Record(0x0A00000A)); // 10.0.0.2 < 10.0.0.10
    EXPECT_TRUE(Record(0x0A00000A) < Record(0xC0A80105)); // 10.0.0.10 < 192.168.1.5
    EXPECT_TRUE(Record(0x0A010101) < Record(0xC8010101)); // 10.1.1.1 < 200.1.1.1
    EXPECT_FALSE(Record(0xC8010101) < Record(0x0A010101));
    EXPECT_FALSE(Record(0x0A000002, "b") < Record(0x0A000002, "a")); // names take no part
    EXPECT_FALSE(Record(0x0A000002, "a") < Record(0x0A000002, "b"));
}
