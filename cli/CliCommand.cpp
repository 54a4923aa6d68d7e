#include "cli/CliCommand.h"

#include "cli/ExitStatus.h"
#include "cli/TavikctlSession.h"
#include "platform/window/WideText.h"
#include "protocol/OutcomeTexts.h"

void CCliCommand::ReportNotConfigured() {
    Session().Report(EXIT_REFUSED, FromWide(TEXT_NOT_CONFIGURED),
                     CCliOutput::ConfiguredObject(Session().Configuration()));
}

void CCliCommand::OnInterrupted() {
    Session().Output().Error(QStringLiteral("interrupted"));
    Session().Finish(EXIT_INTERRUPTED);
}
