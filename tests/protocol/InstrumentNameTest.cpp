// The name rule of the claim and rename windows.
#include "protocol/InstrumentName.h"

#include <gtest/gtest.h>

TEST(InstrumentName, LengthIsOneToSixtyThreeCodeUnits) {
    EXPECT_EQ(CheckInstrumentName(u""), ENameCheck::Empty);
    EXPECT_EQ(CheckInstrumentName(u"L"), ENameCheck::Valid);
    EXPECT_EQ(CheckInstrumentName(std::u16string(63, u'n')), ENameCheck::Valid);
    EXPECT_EQ(CheckInstrumentName(std::u16string(64, u'n')), ENameCheck::TooLong);
    // A character outside the basic plane counts two.
    EXPECT_EQ(CheckInstrumentName(std::u16string(62, u'n') + u"\U0001F600"), ENameCheck::TooLong);
    EXPECT_EQ(NameTooLongText(), u"An instrument name must be less than 64 characters long.");
}

TEST(InstrumentName, UnnamedIsReservedInAnyCaseOfAToZOnly) {
    for (const char16_t* pszName : {u"Unnamed", u"unnamed", u"UNNAMED", u"uNnAmEd"}) {
        EXPECT_EQ(CheckInstrumentName(pszName), ENameCheck::Reserved);
    }
    for (const char16_t* pszName : {u"Unnamed1", u" Unnamed", u"Unname", u"\uFF35nnamed"}) {
        EXPECT_EQ(CheckInstrumentName(pszName), ENameCheck::Valid);
    }
    EXPECT_EQ(ReservedNameText(u"UNNAMED"), u"\"UNNAMED\" is not a valid instrument name.");
}
