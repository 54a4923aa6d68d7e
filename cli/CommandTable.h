// The table of tavikctl's commands, as git's command table and systemctl's verb table are: each
// command's word, its arguments and what it needs, and the command itself (cli/commands/). A new
// command is a new file pair there and one row here.
#pragma once

#include "cli/CliCommand.h"

#include <memory>
#include <span>
#include <vector>

// What the session sets up for a command before it starts.
enum ECliNeeds : unsigned {
    NEEDS_NOTHING = 0,
    // An adapter, the link bound to port 19798 and the event loop.
    NEEDS_LINK = 1u << 0,
    // The configured instrument, read once the link holds the port (so that a desktop program
    // saving meanwhile is not overwritten); the command is refused when nothing is configured.
    NEEDS_CONFIGURATION = 1u << 1,
    // The command's new name passes the name rule before anything is sent.
    NEEDS_NAME_RULE = 1u << 2,
    // The link where it can be set up: a command that diagnoses runs on the event loop without
    // it where it cannot (several adapters, the port held), and the session says why.
    NEEDS_LINK_IF_POSSIBLE = 1u << 3,
};

// An argument of a command, in its usage line and help.
struct SCliArgument {
    const char* pszName; // "INSTRUMENT"
    const char* pszDescription;
};

struct SCliCommandEntry {
    const char* pszName; // the command's word
    std::vector<SCliArgument> listArguments;
    unsigned nNeeds;
    std::unique_ptr<CCliCommand> (*pfnCreate)();

    bool Needs(ECliNeeds nNeed) const { return (nNeeds & nNeed) != 0; }
};

std::span<const SCliCommandEntry> CliCommands();
// The row of this word, or none.
const SCliCommandEntry* FindCliCommand(const QString& strName);
