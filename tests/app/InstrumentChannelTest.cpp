// The one send path of both programs: what waits in the link is routed before a request goes
// out, so a reply that came just before it reaches its window first.
#include "app/InstrumentChannel.h"

#include "tests/support/WindowTestSupport.h"
#include "ui/claim/ClaimInstrumentDialog.h"

TEST(InstrumentChannel, AReplyThatArrivedJustBeforeAnotherWindowSendsReachesItsWindow) {
    CMessageBoxRecorder boxes;
    CRoutedApplication lab({LoopbackInstrument(0, "Lab-1", "inst0")}, {MSG_CLAIM});
    CClaimInstrumentDialog claim(lab.App(), "inst0", "Lab-1", CRoutedApplication::Address(0));
    lab.App().m_pClaimInstrumentDialog = &claim;
    claim.Create();
    Button(claim, "Claim")->click();
    ASSERT_TRUE(claim.IsWaitingForReply());

    // The grant is in the link, its announcement not yet handled, when the main window sends.
    const std::uint8_t abGranted[] = {MSG_CLAIM, STATUS_OK};
    const auto datagram = Framed(LOOPBACK_ADDRESS, CRoutedApplication::Address(0), abGranted);
    ASSERT_TRUE(lab.Link().AppendReceived(datagram.data(), datagram.size()));
    lab.Main().StartRepair();

    ProcessEventsFor(100ms);
    EXPECT_EQ(boxes.Texts(), QStringList{"You have claimed the instrument."});
    EXPECT_EQ(lab.App().m_strInstrumentName, "Lab-1");
    claim.DestroyWindow();
    lab.App().m_pClaimInstrumentDialog = nullptr;
}
