// The link's log lines. The link itself stays free of any framework: the application installs a
// handler that passes the lines on; without one they go nowhere.
#pragma once

enum ELinkLogLevel { LINK_LOG_DEBUG, LINK_LOG_WARNING };

// Called on whichever thread logs (usually the socket thread); must not block for long.
using LinkLogHandler = void (*)(ELinkLogLevel nLevel, const char* szLine);

// Installs the handler, or none (nullptr); safe while the link runs.
void SetLinkLogHandler(LinkLogHandler pfnHandler);
// Formats a line as printf does and hands it to the handler, if there is one.
void LinkLog(ELinkLogLevel nLevel, const char* szFormat, ...) __attribute__((format(printf, 2, 3)));
