// The link's two buffers driven directly, as the socket thread and the windows use them.
#include "LinkTestSupport.h"

#include <gtest/gtest.h>

namespace {

class LinkBuffers : public ::testing::Test {
protected:
    bool Append(const Bytes& bytes) {
        return m_link.AppendReceived(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }
    Bytes Concat(const Bytes& first, const Bytes& second) {
        Bytes bytes = first;
        bytes.insert(bytes.end(), second.begin(), second.end());
        return bytes;
    }

    CUDPInstrumentInterface m_link{LOOPBACK_ADDRESS, LOOPBACK_BROADCAST, FreeUDPPort(),
                                   FreeUDPPort()};
};

const Bytes FIRST = MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, MakePayload(MSG_CLAIM, 2));
const Bytes SECOND = MakeDatagram(LOOPBACK_ADDRESS, 0x7F000003, MakePayload(MSG_VERIFY, 204, 7));

} // namespace

TEST_F(LinkBuffers, WholeDatagramsAreTakenOneAtATimeOldestFirst) {
    ASSERT_TRUE(Append(Concat(FIRST, SECOND)));
    EXPECT_EQ(m_link.ReceiveSpace(),
              CUDPInstrumentInterface::BUFFER_SIZE - FIRST.size() - SECOND.size());

    Bytes buffer(MAX_DATAGRAM_SIZE);
    std::uint32_t dwLength = 0;
    ASSERT_TRUE(m_link.TakeDatagram(&dwLength, buffer.data()));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + dwLength), FIRST);
    // Without a buffer the datagram is still removed and its length reported.
    ASSERT_TRUE(m_link.TakeDatagram(&dwLength, nullptr));
    EXPECT_EQ(dwLength, SECOND.size());
    EXPECT_FALSE(m_link.TakeDatagram(&dwLength, buffer.data()));
    EXPECT_EQ(m_link.ReceiveSpace(), CUDPInstrumentInterface::BUFFER_SIZE);
    EXPECT_FALSE(m_link.TakeDatagram(nullptr, buffer.data()));
}

TEST_F(LinkBuffers, PartialDatagramWaitsForTheBytesThatCompleteIt) {
    // Twenty bytes announcing a payload of 100 stay; the next bytes count towards them.
    const Bytes whole =
        MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, MakePayload(MSG_DISCOVERY_REPLY, 100));
    ASSERT_TRUE(Append(Bytes(whole.begin(), whole.begin() + 20)));
    std::uint32_t dwLength = 0;
    EXPECT_FALSE(m_link.TakeDatagram(&dwLength, nullptr));
    EXPECT_EQ(m_link.ReceiveSpace(), CUDPInstrumentInterface::BUFFER_SIZE - 20);

    ASSERT_TRUE(Append(Concat(Bytes(whole.begin() + 20, whole.end()), FIRST)));
    const std::vector<Bytes> listTaken = TakeAll(m_link);
    ASSERT_EQ(listTaken.size(), 2u);
    EXPECT_EQ(listTaken[0], whole);
    EXPECT_EQ(listTaken[1], FIRST);
}

TEST_F(LinkBuffers, BytesWithoutTheMagicEmptyTheWholeBuffer) {
    Bytes bad = FIRST;
    bad[1] = 'X';
    ASSERT_TRUE(Append(Concat(bad, SECOND)));
    std::uint32_t dwLength = 0;
    EXPECT_FALSE(m_link.TakeDatagram(&dwLength, nullptr));
    EXPECT_EQ(m_link.ReceiveSpace(), CUDPInstrumentInterface::BUFFER_SIZE);

    // Fewer than 12 bytes are not looked at yet.
    ASSERT_TRUE(Append(Bytes{'X', 'Y', 'Z'}));
    EXPECT_FALSE(m_link.TakeDatagram(&dwLength, nullptr));
    EXPECT_EQ(m_link.ReceiveSpace(), CUDPInstrumentInterface::BUFFER_SIZE - 3);
}

TEST_F(LinkBuffers, AnnouncedPayloadAboveTheLargestEmptiesTheBufferInsteadOfOverrunningTheCaller) {
    // 512 payload bytes make the largest datagram, 524 bytes, which callers have room for.
    const Bytes largest = MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, MakePayload(MSG_VERIFY, 512));
    ASSERT_TRUE(Append(largest));
    Bytes buffer(MAX_DATAGRAM_SIZE);
    std::uint32_t dwLength = 0;
    ASSERT_TRUE(m_link.TakeDatagram(&dwLength, buffer.data()));
    EXPECT_EQ(dwLength, MAX_DATAGRAM_SIZE);
    EXPECT_EQ(buffer, largest);

    // 513 announced (and carried): taken, it would overrun the caller's 524 bytes.
    const Bytes oversized =
        MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, MakePayload(MSG_VERIFY, 513));
    ASSERT_TRUE(Append(Concat(oversized, FIRST)));
    Bytes guarded(MAX_DATAGRAM_SIZE + 64, 0xCC);
    EXPECT_FALSE(m_link.TakeDatagram(&dwLength, guarded.data()));
    EXPECT_EQ(dwLength, 0u);
    EXPECT_EQ(guarded, Bytes(MAX_DATAGRAM_SIZE + 64, 0xCC));
    EXPECT_EQ(m_link.ReceiveSpace(), CUDPInstrumentInterface::BUFFER_SIZE);
}

TEST_F(LinkBuffers, AppendEmptiesTheBufferFirstWhenTheBytesWouldNotFit) {
    const Bytes largest = MakeDatagram(LOOPBACK_ADDRESS, 0x7F000002, MakePayload(MSG_VERIFY, 512));
    for (int i = 0; i < 7; ++i) {
        ASSERT_TRUE(Append(largest)); // 7 x 524 = 3668 bytes
    }
    ASSERT_TRUE(Append(FIRST));   // 3682: still fits
    ASSERT_TRUE(Append(largest)); // 4206 would not: only this one is kept
    const std::vector<Bytes> listTaken = TakeAll(m_link);
    ASSERT_EQ(listTaken.size(), 1u);
    EXPECT_EQ(listTaken[0], largest);

    // Exactly the whole buffer fits.
    EXPECT_TRUE(Append(Bytes(CUDPInstrumentInterface::BUFFER_SIZE, 'M')));
    EXPECT_EQ(m_link.ReceiveSpace(), 0u);
}

TEST_F(LinkBuffers, AppendRefusesMissingBytesAndMoreThanTheBufferHolds) {
    ASSERT_TRUE(Append(FIRST));
    EXPECT_FALSE(m_link.AppendReceived(nullptr, 4));
    const Bytes tooMany(CUDPInstrumentInterface::BUFFER_SIZE + 1, 'M');
    EXPECT_FALSE(Append(tooMany));
    // What was held is untouched.
    const std::vector<Bytes> listTaken = TakeAll(m_link);
    ASSERT_EQ(listTaken.size(), 1u);
    EXPECT_EQ(listTaken[0], FIRST);
}

TEST_F(LinkBuffers, AppendAnnouncesEachChunkOnceWhenATargetIsSet) {
    CCountingNotifyTarget target;
    ASSERT_TRUE(Append(FIRST)); // before the target is set: stored, not announced
    m_link.m_hNotifyWnd.store(&target);
    ASSERT_TRUE(Append(SECOND));
    ASSERT_TRUE(Append(Concat(FIRST, SECOND)));
    EXPECT_FALSE(m_link.AppendReceived(nullptr, 2));
    EXPECT_EQ(target.Count(), 2);
    EXPECT_EQ(TakeAll(m_link).size(), 4u);
    m_link.m_hNotifyWnd.store(nullptr);
}

TEST_F(LinkBuffers, RegisteringATargetAnnouncesEachWholeDatagramAlreadyWaiting) {
    CCountingNotifyTarget target;
    const Bytes partial(SECOND.begin(), SECOND.begin() + 20);
    ASSERT_TRUE(Append(Concat(Concat(FIRST, SECOND), partial)));
    m_link.SetNotifyTarget(&target);
    EXPECT_EQ(m_link.m_hNotifyWnd.load(), &target);
    EXPECT_EQ(target.Count(), 2); // the partial datagram is announced when it is completed
    ASSERT_TRUE(Append(Bytes(SECOND.begin() + 20, SECOND.end())));
    EXPECT_EQ(target.Count(), 3);
    EXPECT_EQ(TakeAll(m_link).size(), 3u);
    m_link.SetNotifyTarget(nullptr);
    ASSERT_TRUE(Append(FIRST));
    EXPECT_EQ(target.Count(), 3);
}

TEST_F(LinkBuffers, SendBufferKeepsTheLatestDatagramAndTakingItLeavesWhatWasReceived) {
    const Bytes one = MakeDatagram(LOOPBACK_ADDRESS, LOOPBACK_ADDRESS, MakePayload(MSG_CLAIM, 129));
    const Bytes two =
        MakeDatagram(LOOPBACK_ADDRESS, LOOPBACK_ADDRESS, MakePayload(MSG_RENAME, 129, 3));
    EXPECT_FALSE(m_link.PutSendDatagram(nullptr, 12));
    const Bytes tooMany(CUDPInstrumentInterface::BUFFER_SIZE + 1, 'M');
    EXPECT_FALSE(
        m_link.PutSendDatagram(tooMany.data(), static_cast<std::uint32_t>(tooMany.size())));
    ASSERT_TRUE(m_link.PutSendDatagram(one.data(), static_cast<std::uint32_t>(one.size())));
    ASSERT_TRUE(m_link.PutSendDatagram(two.data(), static_cast<std::uint32_t>(two.size())));
    EXPECT_TRUE(m_link.PutSendDatagram(one.data(), 0)); // no change

    ASSERT_TRUE(Append(FIRST));
    Bytes buffer(CUDPInstrumentInterface::BUFFER_SIZE);
    std::uint32_t dwCount = 0;
    EXPECT_FALSE(m_link.TakeSendDatagram(buffer.data(), nullptr));
    // Without a buffer the count is reported and the datagram stays.
    ASSERT_TRUE(m_link.TakeSendDatagram(nullptr, &dwCount));
    EXPECT_EQ(dwCount, two.size());

    ASSERT_TRUE(m_link.TakeSendDatagram(buffer.data(), &dwCount));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + dwCount), two);
    EXPECT_EQ(m_link.ReceiveSpace(), CUDPInstrumentInterface::BUFFER_SIZE - FIRST.size());
    ASSERT_TRUE(m_link.TakeSendDatagram(buffer.data(), &dwCount));
    EXPECT_EQ(dwCount, 0u);
}
