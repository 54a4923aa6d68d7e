#include "cli/commands/AdaptersCommand.h"

#include "cli/AdapterChoice.h"
#include "cli/CliOutput.h"
#include "cli/ExitStatus.h"
#include "cli/TavikctlSession.h"

const char* CAdaptersCommand::Summary() const {
    return "the adapters as the program sees them, and the one it would use";
}

int CAdaptersCommand::RunWithoutLink() {
    const std::vector<SNetworkAdapter> listAdapters =
        Session().Adapters().value_or(std::vector<SNetworkAdapter>{});
    const QString& strWanted = Session().Options().strAdapter;
    const SCliAdapterChoice choice = CAdapterChoice::Choose(Session().Adapters(), strWanted);
    if (choice.nResult == SCliAdapterChoice::NotFound) {
        Session().Output().Error(CAdapterChoice::NotFoundText(strWanted, listAdapters));
        return EXIT_USAGE;
    }
    Session().Output().Json(CCliOutput::AdaptersObject(listAdapters, choice.nIndex));
    Session().Output().Text(CCliOutput::AdaptersTable(listAdapters, choice.nIndex));
    return EXIT_DONE;
}
