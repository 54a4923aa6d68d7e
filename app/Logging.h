// The program's log categories: "tavik.link" for the instrument link, "tavik.app" for the
// application and its windows. Warnings are on and debug lines off unless QT_LOGGING_RULES says
// otherwise.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(LinkCategory)
Q_DECLARE_LOGGING_CATEGORY(AppCategory)

// Sends the link's own log lines (plain C++, no Qt) to "tavik.link". Once at start-up.
void InstallLinkLog();
