#include "link/LinkLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

std::atomic<LinkLogHandler> g_pfnLinkLogHandler{nullptr};

} // namespace

void SetLinkLogHandler(LinkLogHandler pfnHandler) {
    g_pfnLinkLogHandler.store(pfnHandler);
}

void LinkLog(ELinkLogLevel nLevel, const char* szFormat, ...) {
    const LinkLogHandler pfnHandler = g_pfnLinkLogHandler.load();
    if (pfnHandler == nullptr) {
        return;
    }
    char szLine[256];
    va_list arguments;
    va_start(arguments, szFormat);
    std::vsnprintf(szLine, sizeof(szLine), szFormat, arguments);
    va_end(arguments);
    pfnHandler(nLevel, szLine);
}
