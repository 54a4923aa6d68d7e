// Whether this computer may release a discovered instrument.
#include "protocol/ReleaseCheck.h"

#include "ProtocolTestSupport.h"
#include "protocol/OutcomeTexts.h"

#include <gtest/gtest.h>

namespace {

// Held by this computer under the configured name, at the configured address, not in use.
CMolvarInstrument OwnedInstrument() {
    CMolvarInstrument instrument;
    instrument.SetHostName("inst7");
    instrument.SetName("Lab-1");
    instrument.SetOwnerHostName("pc-7");
    instrument.m_dwIPAddress = INSTRUMENT_ADDRESS;
    instrument.m_dwOwnerIPAddress = LOCAL_ADDRESS;
    instrument.m_bClaimed = 1;
    return instrument;
}

SReleaseContext Context() {
    return {LOCAL_ADDRESS, u"pc-7", u"Lab-1", INSTRUMENT_ADDRESS};
}

} // namespace

TEST(ReleaseCheck, ClaimedThenOwnedThenInUseInThatOrder) {
    EXPECT_EQ(CheckRelease(OwnedInstrument(), Context()), EReleaseCheck::Allowed);

    CMolvarInstrument instrument = OwnedInstrument();
    instrument.m_bInUse = 1;
    EXPECT_EQ(CheckRelease(instrument, Context()), EReleaseCheck::InUse);
    instrument.m_dwOwnerIPAddress = 0x0A000009;
    EXPECT_EQ(CheckRelease(instrument, Context()), EReleaseCheck::OwnedElsewhere);
    instrument.m_bClaimed = 0;
    EXPECT_EQ(CheckRelease(instrument, Context()), EReleaseCheck::NotClaimed);

    // Only an in-use flag of exactly 1 refuses.
    instrument = OwnedInstrument();
    instrument.m_bInUse = 2;
    EXPECT_EQ(CheckRelease(instrument, Context()), EReleaseCheck::Allowed);
}

TEST(ReleaseCheck, EachOfTheFourOwnershipTestsRefusesAlone) {
    CMolvarInstrument otherOwnerAddress = OwnedInstrument();
    otherOwnerAddress.m_dwOwnerIPAddress = 0xC0A8010B;
    CMolvarInstrument otherOwnerHost = OwnedInstrument();
    otherOwnerHost.SetOwnerHostName("pc-8");
    CMolvarInstrument otherNameCase = OwnedInstrument();
    otherNameCase.SetName("lab-1");
    // Another instrument of the configured name, also held here: releasing the configured one
    // would not release it.
    CMolvarInstrument otherAddress = OwnedInstrument();
    otherAddress.m_dwIPAddress = 0xC0A80115;
    for (const CMolvarInstrument* pInstrument :
         {&otherOwnerAddress, &otherOwnerHost, &otherNameCase, &otherAddress}) {
        EXPECT_FALSE(IsOwnedHere(*pInstrument, Context()));
        EXPECT_EQ(CheckRelease(*pInstrument, Context()), EReleaseCheck::OwnedElsewhere);
    }
    // With nothing configured (address 0) an unnamed instrument held here is not released.
    CMolvarInstrument unnamed = OwnedInstrument();
    unnamed.SetName("");
    EXPECT_FALSE(IsOwnedHere(unnamed, {LOCAL_ADDRESS, u"pc-7", u"", 0}));
    EXPECT_EQ(TEXT_RELEASE_OWNED_ELSEWHERE,
              u"The selected instrument is owned by another client, and can only be released by "
              u"its owner.");
}

TEST(ReleaseCheck, NamesAreComparedAsTheInstrumentHoldsThem) {
    // This computer named it "LabŁ": the instrument holds the low byte, "LabA".
    CMolvarInstrument instrument = OwnedInstrument();
    instrument.SetName("LabA");
    EXPECT_TRUE(
        IsOwnedHere(instrument, {LOCAL_ADDRESS, u"pc-7", u"Lab\u0141", INSTRUMENT_ADDRESS}));
    // A configured name longer than a field was sent as its first 63 characters.
    instrument.SetName(std::string(63, 'n').c_str());
    EXPECT_TRUE(IsOwnedHere(
        instrument, {LOCAL_ADDRESS, u"pc-7", std::u16string(70, u'n'), INSTRUMENT_ADDRESS}));
}
