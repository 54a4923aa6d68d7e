#include "app/Logging.h"

#include "link/LinkLog.h"

Q_LOGGING_CATEGORY(LinkCategory, "tavik.link", QtWarningMsg)
Q_LOGGING_CATEGORY(AppCategory, "tavik.app", QtWarningMsg)

namespace {

// Runs on whichever thread the link logs from; Qt's logging is thread-safe.
void ForwardLinkLine(ELinkLogLevel nLevel, const char* szLine) {
    if (nLevel == LINK_LOG_WARNING) {
        qCWarning(LinkCategory).noquote() << szLine;
    } else {
        qCDebug(LinkCategory).noquote() << szLine;
    }
}

} // namespace

void InstallLinkLog() {
    SetLinkLogHandler(&ForwardLinkLine);
}
