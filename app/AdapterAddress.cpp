#include "app/AdapterAddress.h"

#include <limits>

namespace {

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One piece as strtol reads it with the 32-bit long of the platform the values come from:
// white space, a sign, digits, saturating at the limits of that long.
std::int32_t ReadDecimal(std::string_view strPiece) {
    std::size_t i = 0;
    while (i < strPiece.size() && IsCSpace(strPiece[i])) {
        ++i;
    }
    bool bNegative = false;
    if (i < strPiece.size() && (strPiece[i] == '+' || strPiece[i] == '-')) {
        bNegative = strPiece[i] == '-';
        ++i;
    }
    std::int64_t nValue = 0;
    for (; i < strPiece.size() && strPiece[i] >= '0' && strPiece[i] <= '9'; ++i) {
        nValue = nValue * 10 + (strPiece[i] - '0');
        if (nValue > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
            nValue = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1; // saturated
        }
    }
    if (bNegative) {
        nValue = -nValue;
    } else if (nValue > std::numeric_limits<std::int32_t>::max()) {
        nValue = std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(nValue);
}

// The text up to its first NUL, as the fixed fields of the adapter listing hold it.
std::string_view UpToNul(std::string_view strText) {
    return strText.substr(0, strText.find('\0'));
}

} // namespace

std::uint32_t DottedQuadValue(std::string_view strText) {
    strText = UpToNul(strText);
    std::uint32_t adwPieces[4] = {0, 0, 0, 0};
    std::size_t nPieces = 0;
    std::size_t nStart = 0;
    while (nPieces < 4 && nStart <= strText.size()) {
        std::size_t nEnd = strText.find('.', nStart);
        if (nEnd == std::string_view::npos) {
            nEnd = strText.size();
        }
        if (nEnd > nStart) {
            adwPieces[nPieces++] =
                static_cast<std::uint32_t>(ReadDecimal(strText.substr(nStart, nEnd - nStart)));
        }
        nStart = nEnd + 1;
    }
    return ((adwPieces[0] * 256u + adwPieces[1]) * 256u + adwPieces[2]) * 256u + adwPieces[3];
}

std::uint32_t BroadcastAddressOf(std::uint32_t dwAddress, std::uint32_t dwMask) {
    constexpr std::uint32_t LIMITED_BROADCAST = 0xFFFFFFFF;
    const std::uint32_t dwDirected = dwAddress | ~dwMask;
    // On a point-to-point link (/31, /32) the directed address is an interface's own: replies
    // to this computer would read as broadcasts and be dropped, and requests would reach one
    // peer at most.
    if (dwMask >= 0xFFFFFFFE || dwDirected == dwAddress) {
        return LIMITED_BROADCAST;
    }
    return dwDirected;
}
