#include "platform/AnsiCodePage.h"

#include <iterator>

namespace {

// 0x80 to 0x9F; the bytes the code page leaves unassigned map to themselves.
constexpr char16_t WINDOWS_1252_HIGH_CONTROLS[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

} // namespace

std::u16string AnsiToWide(std::string_view strAnsi) {
    std::u16string strWide;
    strWide.reserve(strAnsi.size());
    for (const char c : strAnsi) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 && b <= 0x9F) {
            strWide.push_back(WINDOWS_1252_HIGH_CONTROLS[b - 0x80]);
        } else {
            strWide.push_back(static_cast<char16_t>(b));
        }
    }
    return strWide;
}

std::uint8_t WideToAnsiUnit(char16_t ch) {
    if (ch >= 0x0100 || (ch >= 0x80 && ch <= 0x9F)) {
        for (std::size_t i = 0; i < std::size(WINDOWS_1252_HIGH_CONTROLS); ++i) {
            if (WINDOWS_1252_HIGH_CONTROLS[i] == ch) {
                return static_cast<std::uint8_t>(0x80 + i);
            }
        }
    }
    return static_cast<std::uint8_t>(ch & 0xFF);
}
