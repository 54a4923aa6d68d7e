#include "app/NetworkAdapterSelection.h"

#include "app/Logging.h"
#include "platform/AnsiCodePage.h"
#include "platform/window/MessageBox.h"
#include "platform/window/WideText.h"

#include <cstdint>
#include <string>

namespace {

// The text up to its first NUL, as the fixed fields of the adapter listing hold it.
std::string_view UpToNul(std::string_view strText) {
    return strText.substr(0, strText.find('\0'));
}

std::string AsciiLower(std::string_view strText) {
    std::string strLower(strText);
    for (char& c : strLower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return strLower;
}

} // namespace

SAdapterChoice ChooseNetworkAdapter(const std::optional<std::vector<SNetworkAdapter>>& adapters) {
    SAdapterChoice choice;
    if (!adapters || adapters->empty()) {
        qCDebug(AppCategory) << "no adapters listed: any local address, limited broadcast";
        return choice;
    }
    const std::vector<SNetworkAdapter>& listAdapters = *adapters;
    const SNetworkAdapter* pChosen = nullptr;
    for (std::size_t i = 0; i < listAdapters.size() && pChosen == nullptr; ++i) {
        const SNetworkAdapter& adapter = listAdapters[i];
        const std::string_view strDescription = UpToNul(adapter.strDescription);
        const bool bQualifies = adapter.nType == ADAPTER_TYPE_ETHERNET &&
                                DottedQuadValue(adapter.strIpAddress) != 0 &&
                                AsciiLower(strDescription).find("wireless") == std::string::npos;
        if (!bQualifies) {
            continue;
        }
        if (i + 1 == listAdapters.size()) {
            pChosen = &adapter;
            break;
        }
        const QString strQuestion =
            QStringLiteral(
                "Multiple Ethernet adapters have been detected ...\nDo you want to use ") +
            FromWide(AnsiToWide(strDescription)) + QStringLiteral("?\n");
        if (ShowMessageBox(nullptr, strQuestion, QStringLiteral("Select Adapter"),
                           EMessageIcon::Question, EMessageButtons::YesNo) == IDYES) {
            pChosen = &adapter;
        }
    }
    if (pChosen == nullptr) {
        pChosen = &listAdapters.back();
    }
    const std::uint32_t dwAddress = DottedQuadValue(pChosen->strIpAddress);
    const std::uint32_t dwMask = DottedQuadValue(pChosen->strIpMask);
    choice.dwLocalIPAddress = dwAddress;
    choice.dwBroadcastIPAddress = BroadcastAddressOf(dwAddress, dwMask);
    qCDebug(AppCategory) << "adapter" << pChosen->strDescription.c_str() << "address" << Qt::hex
                         << choice.dwLocalIPAddress << "broadcast" << choice.dwBroadcastIPAddress;
    return choice;
}
