#include "link/Messages.h"

#include "platform/AnsiCodePage.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t ADDRESS_192_168_1_10 = 0xC0A8010A;
constexpr std::uint32_t ADDRESS_192_168_1_20 = 0xC0A80114;
constexpr std::uint32_t ADDRESS_192_168_1_255 = 0xC0A801FF;

Bytes Frame(std::uint32_t dwDestination, std::uint32_t dwSource,
            std::span<const std::uint8_t> payload) {
    Bytes datagram(MAX_DATAGRAM_SIZE);
    datagram.resize(FrameDatagram(dwDestination, dwSource, payload, datagram.data()));
    return datagram;
}

SInstrumentDescriptionFields SampleDescription() {
    SInstrumentDescriptionFields f;
    f.strHostName = "tavik-07";
    f.dwAddress = ADDRESS_192_168_1_20;
    f.bClaimed = 1;
    f.bInUse = 2;
    f.strName = "Bench A";
    f.strOwnerHostName = "lab-pc";
    f.dwOwnerAddress = ADDRESS_192_168_1_10;
    return f;
}

} // namespace

TEST(AddressForms, BothByteOrdersOfOneAddress) {
    std::uint8_t abHeader[4];
    WriteHeaderAddress(abHeader, ADDRESS_192_168_1_20);
    EXPECT_EQ(Bytes(abHeader, abHeader + 4), (Bytes{0x14, 0x01, 0xA8, 0xC0}));
    EXPECT_EQ(ReadHeaderAddress(abHeader), ADDRESS_192_168_1_20);

    std::uint8_t abNetwork[4];
    WriteNetworkAddress(abNetwork, ADDRESS_192_168_1_20);
    EXPECT_EQ(Bytes(abNetwork, abNetwork + 4), (Bytes{0xC0, 0xA8, 0x01, 0x14}));
    EXPECT_EQ(ReadNetworkAddress(abNetwork), ADDRESS_192_168_1_20);
}

TEST(DatagramFraming, DiscoveryRequestIsThirteenExactBytes) {
    const auto payload = BuildDiscoveryRequest();
    const Bytes datagram = Frame(ADDRESS_192_168_1_255, ADDRESS_192_168_1_10, payload);
    EXPECT_EQ(datagram, (Bytes{0x4D, 0x56, 0xFF, 0x01, 0xA8, 0xC0, 0x0A, 0x01, 0xA8, 0xC0, 0x01,
                               0x00, 0x01}));
}

TEST(DatagramFraming, GrantedClaimReplyIsFourteenBytes) {
    const auto payload = BuildStatusReply(MSG_CLAIM, STATUS_OK);
    const Bytes datagram = Frame(ADDRESS_192_168_1_10, ADDRESS_192_168_1_20, payload);
    ASSERT_EQ(datagram.size(), 14u);
    EXPECT_EQ(datagram[10], 0x02);
    EXPECT_EQ(datagram[11], 0x00);
    EXPECT_EQ(datagram[12], 0x00);
    EXPECT_EQ(datagram[13], 0x00);
    // 192.168.1.20 as a header destination and source.
    EXPECT_EQ(Bytes(datagram.begin() + 6, datagram.begin() + 10), (Bytes{0x14, 0x01, 0xA8, 0xC0}));
}

TEST(DatagramFraming, PayloadLengthIsLittleEndianAndBounded) {
    Bytes payload(MAX_PAYLOAD_SIZE, 0xAB);
    const Bytes datagram = Frame(1, 2, payload);
    ASSERT_EQ(datagram.size(), MAX_DATAGRAM_SIZE);
    EXPECT_EQ(datagram[10], 0x00);
    EXPECT_EQ(datagram[11], 0x02);
    EXPECT_EQ(ReadDatagramHeader(datagram.data()).wPayloadLength, 512);

    // One byte too many is refused rather than written past the room of a largest datagram.
    Bytes tooLong(MAX_PAYLOAD_SIZE + 1, 0);
    std::vector<std::uint8_t> out(MAX_DATAGRAM_SIZE + 16, 0xEE);
    EXPECT_EQ(FrameDatagram(1, 2, tooLong, out.data()), 0u);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::uint8_t b) { return b == 0xEE; }));
}

TEST(DatagramParsing, SplitsHeaderAndPayload) {
    const auto payload = BuildStatusReply(MSG_RENAME, 1);
    const Bytes datagram = Frame(ADDRESS_192_168_1_10, ADDRESS_192_168_1_20, payload);
    const auto view = ParseDatagram(datagram);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->header.dwDestination, ADDRESS_192_168_1_10);
    EXPECT_EQ(view->header.dwSource, ADDRESS_192_168_1_20);
    EXPECT_EQ(view->header.wPayloadLength, 2);
    EXPECT_EQ(Bytes(view->payload.begin(), view->payload.end()), (Bytes{MSG_RENAME, 1}));

    // An empty payload is a whole datagram too.
    const Bytes empty = Frame(1, 2, {});
    ASSERT_TRUE(ParseDatagram(empty));
    EXPECT_TRUE(ParseDatagram(empty)->payload.empty());
}

TEST(DatagramParsing, RefusesShortWrongMagicAndWrongLength) {
    const auto payload = BuildStatusReply(MSG_CLAIM, 0);
    Bytes datagram = Frame(1, 2, payload);

    EXPECT_FALSE(ParseDatagram(std::span(datagram).first(11)));
    EXPECT_FALSE(ParseDatagram({}));
    EXPECT_FALSE(ParseDatagram(std::span(datagram).first(13))); // announced 2, has 1

    Bytes longer = datagram;
    longer.push_back(0);
    EXPECT_FALSE(ParseDatagram(longer)); // announced 2, has 3

    Bytes badMagic = datagram;
    badMagic[1] = 'W';
    EXPECT_FALSE(ParseDatagram(badMagic));
    EXPECT_FALSE(HasDatagramMagic(badMagic));
    EXPECT_FALSE(HasDatagramMagic(std::span(datagram).first(1)));
    EXPECT_TRUE(HasDatagramMagic(std::span(datagram).first(2)));

    // A header that announces more than the protocol's largest payload, with that many bytes.
    Bytes oversize(DATAGRAM_HEADER_SIZE + 600, 0);
    WriteDatagramHeader(oversize.data(), DatagramHeader{1, 2, 600});
    EXPECT_FALSE(ParseDatagram(oversize));

    // A 20-byte datagram announcing 100 payload bytes.
    Bytes truncated(20, 0);
    WriteDatagramHeader(truncated.data(), DatagramHeader{1, 2, 100});
    EXPECT_FALSE(ParseDatagram(truncated));
}

TEST(TextFields, LongNameGoesOutAsSixtyThreeCharactersAndNul) {
    const std::u16string strName(70, u'x');
    std::uint8_t abField[TEXT_FIELD_SIZE];
    std::fill(std::begin(abField), std::end(abField), 0xEE);
    WriteTextField(abField, strName);
    for (std::size_t i = 0; i < 63; ++i) {
        ASSERT_EQ(abField[i], 'x') << i;
    }
    EXPECT_EQ(abField[63], 0);
    EXPECT_EQ(ReadTextField(abField), std::string(63, 'x'));
}

TEST(TextFields, KeepsTheLowByteOfEachCodeUnitAndZeroesTheRest) {
    std::uint8_t abField[TEXT_FIELD_SIZE];
    std::fill(std::begin(abField), std::end(abField), 0xEE);
    WriteTextField(abField, u"\u0141\u00E9b");
    EXPECT_EQ(abField[0], 0x41);
    EXPECT_EQ(abField[1], 0xE9);
    EXPECT_EQ(abField[2], 'b');
    EXPECT_TRUE(
        std::all_of(abField + 3, abField + TEXT_FIELD_SIZE, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(ReadTextField(abField), "A\xE9"
                                      "b");
}

TEST(TextFields, EveryByteReadFromAnInstrumentGoesBackUnchanged) {
    std::string strAll;
    for (int b = 1; b < 64; ++b) {
        strAll.push_back(static_cast<char>(0x7F + b)); // 0x80 to 0xBE: the table's range
    }
    std::uint8_t abField[TEXT_FIELD_SIZE];
    WriteTextField(abField, AnsiToWide(strAll));
    EXPECT_EQ(ReadTextField(abField), strAll);
    // "…" is 0x85, not its low byte 0x26 "&"; a character the table cannot write keeps its low
    // byte.
    WriteTextField(abField, u"Lab\u2026\u20AC\u0141");
    EXPECT_EQ(ReadTextField(abField), "Lab\x85\x80\x41");
}

TEST(TextFields, ReadStopsAtNulAndNeverPassesSixtyFourBytes) {
    // The field sits inside a larger buffer whose following bytes must not be read.
    std::uint8_t abBuffer[TEXT_FIELD_SIZE + 8];
    std::fill(std::begin(abBuffer), std::end(abBuffer), 'z');
    std::fill(abBuffer, abBuffer + TEXT_FIELD_SIZE, 'a');
    EXPECT_FALSE(TextFieldHasNul(abBuffer));
    EXPECT_EQ(ReadTextField(abBuffer), std::string(64, 'a'));

    abBuffer[5] = 0;
    EXPECT_TRUE(TextFieldHasNul(abBuffer));
    EXPECT_EQ(ReadTextField(abBuffer), "aaaaa");

    abBuffer[0] = 0;
    EXPECT_EQ(ReadTextField(abBuffer), "");
}

TEST(NamedRequests, LayoutAndRoundTrip) {
    const auto payload = BuildNamedRequest(MSG_VERIFY, u"Bench A", u"lab-pc");
    ASSERT_EQ(payload.size(), 129u);
    EXPECT_EQ(payload[0], MSG_VERIFY);
    EXPECT_EQ(payload[1], 'B');
    EXPECT_EQ(payload[8], 0);
    EXPECT_EQ(payload[65], 'l');
    EXPECT_EQ(payload[71], 0);

    const auto request = ParseNamedRequest(payload);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->nCode, MSG_VERIFY);
    EXPECT_EQ(request->strInstrumentName, "Bench A");
    EXPECT_EQ(request->strClientHostName, "lab-pc");
}

TEST(NamedRequests, ParseRefusesWrongLengthOrCode) {
    auto payload = BuildNamedRequest(MSG_CLAIM, u"n", u"h");
    EXPECT_FALSE(ParseNamedRequest(std::span(payload).first(128)));
    for (std::uint8_t nCode : {1, 2, 7}) {
        payload[0] = nCode;
        EXPECT_FALSE(ParseNamedRequest(payload)) << int(nCode);
    }
    for (std::uint8_t nCode : {MSG_CLAIM, MSG_RELEASE, MSG_REPAIR, MSG_VERIFY, MSG_RENAME}) {
        payload[0] = nCode;
        EXPECT_TRUE(ParseNamedRequest(payload)) << int(nCode);
    }
}

TEST(Replies, StatusRepliesNeedTheirCodeAndTwoBytes) {
    for (EMessageCode nCode : {MSG_CLAIM, MSG_RELEASE, MSG_RENAME}) {
        const auto payload = BuildStatusReply(nCode, 6);
        ASSERT_EQ(ReadStatusReply(payload, nCode), std::optional<std::uint8_t>(6));
    }
    const auto claim = BuildStatusReply(MSG_CLAIM, 0);
    EXPECT_FALSE(ReadStatusReply(claim, MSG_RELEASE));
    EXPECT_FALSE(ReadStatusReply(std::span(claim).first(1), MSG_CLAIM));
    const Bytes three{MSG_CLAIM, 0, 0};
    EXPECT_FALSE(ReadStatusReply(three, MSG_CLAIM));
    EXPECT_FALSE(ReadStatusReply({}, MSG_CLAIM));
}

TEST(Replies, RepairReplyCarriesTheAddressInNetworkOrder) {
    const auto payload = BuildRepairReply(0, ADDRESS_192_168_1_20);
    EXPECT_EQ(Bytes(payload.begin(), payload.end()),
              (Bytes{MSG_REPAIR, 0x00, 0xC0, 0xA8, 0x01, 0x14}));
    const auto reply = ReadRepairReply(payload);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->nStatus, 0);
    EXPECT_EQ(reply->dwAddress, ADDRESS_192_168_1_20);

    Bytes seven(payload.begin(), payload.end());
    seven.push_back(0);
    EXPECT_FALSE(ReadRepairReply(seven));
    EXPECT_FALSE(ReadRepairReply(std::span(payload).first(5)));
}

TEST(Replies, DiscoveryReplyLayoutAndExactLength) {
    const auto payload = BuildDiscoveryReply(SampleDescription());
    EXPECT_EQ(payload[0], MSG_DISCOVERY_REPLY);
    EXPECT_EQ(payload[1], 't'); // host name
    EXPECT_EQ(Bytes(payload.begin() + 65, payload.begin() + 69),
              (Bytes{0xC0, 0xA8, 0x01, 0x14})); // address, network order
    EXPECT_EQ(payload[69], 1);                  // claimed
    EXPECT_EQ(payload[70], 2);                  // in use
    EXPECT_EQ(payload[71], 'B');                // name
    EXPECT_EQ(payload[135], 'l');               // owner host name
    EXPECT_EQ(Bytes(payload.begin() + 199, payload.begin() + 203),
              (Bytes{0x0A, 0x01, 0xA8, 0xC0})); // owner address, header form

    const auto description = DiscoveryReplyDescription(payload);
    ASSERT_TRUE(description);
    EXPECT_EQ(description->data(), payload.data() + 1);

    Bytes bytes(payload.begin(), payload.end());
    EXPECT_FALSE(DiscoveryReplyDescription(std::span(bytes).first(202)));
    bytes.push_back(0);
    EXPECT_FALSE(DiscoveryReplyDescription(bytes)); // 204
    bytes.pop_back();
    bytes[0] = MSG_VERIFY;
    EXPECT_FALSE(DiscoveryReplyDescription(bytes));
}

TEST(Replies, VerifyReplyLayoutAndExactLength) {
    const auto payload = BuildVerifyReply(1, SampleDescription());
    EXPECT_EQ(payload[0], MSG_VERIFY);
    EXPECT_EQ(payload[1], 1);
    EXPECT_EQ(payload[2], 't');
    EXPECT_EQ(Bytes(payload.begin() + 66, payload.begin() + 70), (Bytes{0xC0, 0xA8, 0x01, 0x14}));
    EXPECT_EQ(payload[70], 1);
    EXPECT_EQ(payload[71], 2);
    EXPECT_EQ(payload[72], 'B');
    EXPECT_EQ(payload[136], 'l');
    EXPECT_EQ(Bytes(payload.begin() + 200, payload.begin() + 204), (Bytes{0x0A, 0x01, 0xA8, 0xC0}));

    const auto reply = ReadVerifyReply(payload);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->nStatus, 1);
    EXPECT_EQ(reply->description.data(), payload.data() + 2);
    EXPECT_EQ(ReadTextField(reply->description.data() + InstrumentDescription::OWNER_HOST_NAME),
              "lab-pc");

    EXPECT_FALSE(ReadVerifyReply(std::span(payload).first(203)));
    Bytes longer(payload.begin(), payload.end());
    longer.push_back(0);
    EXPECT_FALSE(ReadVerifyReply(longer));
}

TEST(Replies, DescriptionTextsAreCutToSixtyThreeBytes) {
    SInstrumentDescriptionFields f = SampleDescription();
    f.strName = std::string(80, 'n');
    const auto payload = BuildDiscoveryReply(f);
    const std::uint8_t* pbName = payload.data() + 1 + InstrumentDescription::NAME;
    EXPECT_TRUE(TextFieldHasNul(pbName));
    EXPECT_EQ(ReadTextField(pbName), std::string(63, 'n'));
    // The owner host name that follows is untouched by the long name.
    EXPECT_EQ(ReadTextField(payload.data() + 1 + InstrumentDescription::OWNER_HOST_NAME), "lab-pc");
}

TEST(Replies, DescriptionReaderGivesBackEveryFieldTheWriterWrote) {
    const SInstrumentDescriptionFields written = SampleDescription();
    const auto payload = BuildVerifyReply(1, written);
    const auto reply = ReadVerifyReply(payload);
    ASSERT_TRUE(reply);
    const SInstrumentDescriptionFields read = ReadInstrumentDescription(reply->description);
    EXPECT_EQ(read.strHostName, written.strHostName);
    EXPECT_EQ(read.dwAddress, written.dwAddress);
    EXPECT_EQ(read.bClaimed, written.bClaimed);
    EXPECT_EQ(read.bInUse, written.bInUse);
    EXPECT_EQ(read.strName, written.strName);
    EXPECT_EQ(read.strOwnerHostName, written.strOwnerHostName);
    EXPECT_EQ(read.dwOwnerAddress, written.dwOwnerAddress);

    // A text without its NUL stops at the end of its own field, not in the next one.
    Bytes bytes(payload.begin(), payload.end());
    std::fill_n(bytes.begin() + 2 + InstrumentDescription::OWNER_HOST_NAME, TEXT_FIELD_SIZE, 'o');
    const auto unterminated = ReadVerifyReply(bytes);
    ASSERT_TRUE(unterminated);
    const SInstrumentDescriptionFields cut = ReadInstrumentDescription(unterminated->description);
    EXPECT_EQ(cut.strOwnerHostName, std::string(TEXT_FIELD_SIZE, 'o'));
    EXPECT_EQ(cut.dwOwnerAddress, written.dwOwnerAddress);
}
