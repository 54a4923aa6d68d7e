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

// A name whose 8-bit form holds a NUL (cut short on the wire) or a control character, or that the
// settings file cannot hold, is refused like "Unnamed"; the refusal shows controls as pictures.
TEST(InstrumentName, NameThatCannotTravelIsRefused) {
    for (const char16_t* pszName :
         {u"Lab\u0100", u"\u0200", u"Lab\n7", u"Lab\u007F", u"\u001F", u"\u011F", u"\u017F",
          u"Lab\U0001F600" /* low surrogate DE00 */, u"\xD83DLab", u"Lab\xDE0A", u"\xFEFFLab"}) {
        EXPECT_EQ(CheckInstrumentName(pszName), ENameCheck::Reserved);
    }
    // 0x80-0x9F in 8-bit form are printable characters (Windows-1252), not controls.
    for (const char16_t* pszName :
         {u"\u20AC\u201A\u0192\u0178", u"\u0081\u009D", u"\u0120\u00FF", u"\U0001F52C"}) {
        EXPECT_EQ(CheckInstrumentName(pszName), ENameCheck::Valid);
    }
    EXPECT_EQ(ReservedNameText(u"\u0100\n\u001B\u007F"),
              u"\"\u0100\u240A\u241B\u2421\" is not a valid instrument name.");
}
