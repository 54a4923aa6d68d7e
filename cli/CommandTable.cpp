#include "cli/CommandTable.h"

#include "cli/commands/AdaptersCommand.h"
#include "cli/commands/ClaimCommand.h"
#include "cli/commands/DiscoverCommand.h"
#include "cli/commands/DoctorCommand.h"
#include "cli/commands/ReleaseCommand.h"
#include "cli/commands/RenameCommand.h"
#include "cli/commands/RepairCommand.h"
#include "cli/commands/StatusCommand.h"

namespace {

template <class TCommand> std::unique_ptr<CCliCommand> Create() {
    return std::make_unique<TCommand>();
}

const SCliArgument INSTRUMENT = {
    "INSTRUMENT", "An address, a host name or an instrument name as discovery reports it."};
const SCliArgument NEW_NAME = {"NEW-NAME", "1 to 63 characters, not \"Unnamed\"."};

// In the order the program's help lists them.
// clang-format off
const std::vector<SCliCommandEntry> COMMANDS = {
    // word     arguments             needs                               command
    {"adapters", {},                   NEEDS_NOTHING,                      &Create<CAdaptersCommand>},
    {"discover", {},                   NEEDS_LINK,                         &Create<CDiscoverCommand>},
    {"status",   {},                   NEEDS_LINK | NEEDS_CONFIGURATION,   &Create<CStatusCommand>},
    {"claim",    {INSTRUMENT},         NEEDS_LINK | NEEDS_NAME_RULE,       &Create<CClaimCommand>},
    {"release",  {},                   NEEDS_LINK | NEEDS_CONFIGURATION,   &Create<CReleaseCommand>},
    {"rename",   {INSTRUMENT, NEW_NAME}, NEEDS_LINK | NEEDS_NAME_RULE,     &Create<CRenameCommand>},
    {"repair",   {},                   NEEDS_LINK | NEEDS_CONFIGURATION,   &Create<CRepairCommand>},
    {"doctor",   {},                   NEEDS_LINK_IF_POSSIBLE,             &Create<CDoctorCommand>},
};
// clang-format on

} // namespace

std::span<const SCliCommandEntry> CliCommands() {
    return COMMANDS;
}

const SCliCommandEntry* FindCliCommand(const QString& strName) {
    for (const SCliCommandEntry& entry : COMMANDS) {
        if (strName == QLatin1String(entry.pszName)) {
            return &entry;
        }
    }
    return nullptr;
}
