#include "app/Logging.h"

Q_LOGGING_CATEGORY(LinkCategory, "tavik.link", QtWarningMsg)
Q_LOGGING_CATEGORY(AppCategory, "tavik.app", QtWarningMsg)

void InstallLinkLog() {}
