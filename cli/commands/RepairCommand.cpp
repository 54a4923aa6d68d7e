#include "cli/commands/RepairCommand.h"

#include "cli/CliOutput.h"
#include "cli/ExitStatus.h"
#include "cli/TavikctlSession.h"
#include "platform/window/WideText.h"
#include "protocol/OutcomeTexts.h"

namespace {

const QString TEXT_REPAIR_REFUSED =
    QStringLiteral("The instrument refused to repair the connection.");

} // namespace

const char* CRepairCommand::Summary() const {
    return "find the configured instrument by its name again";
}

void CRepairCommand::Start() {
    StartRepair();
}

void CRepairCommand::OnOutcome(const SConnectionStep& step) {
    switch (step.nEvent) {
    case EConnectionEvent::Repaired: {
        SConfiguration configuration = Session().Configuration();
        configuration.dwInstrumentIPAddress = step.dwAddress;
        if (Session().SaveConfiguration(configuration)) {
            Session().Report(EXIT_DONE, FromWide(TEXT_REPAIRED),
                             CCliOutput::ConfiguredObject(configuration));
        }
        return;
    }
    case EConnectionEvent::RepairRefused:
        Session().Report(EXIT_REFUSED, TEXT_REPAIR_REFUSED,
                         CCliOutput::ConfiguredObject(Session().Configuration()));
        return;
    default:
        Session().Report(EXIT_NO_ANSWER, FromWide(TEXT_REPAIR_FAILED),
                         CCliOutput::ConfiguredObject(Session().Configuration()));
        return;
    }
}
