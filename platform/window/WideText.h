// The program's wide text is QString (UTF-16); the protocol core takes char16_t views.
#pragma once

#include <QString>
#include <string>
#include <string_view>

inline std::u16string_view ToWideView(const QString& str) {
    return {reinterpret_cast<const char16_t*>(str.utf16()), static_cast<std::size_t>(str.size())};
}

inline QString FromWide(std::u16string_view str) {
    return QString::fromUtf16(str.data(), static_cast<qsizetype>(str.size()));
}
