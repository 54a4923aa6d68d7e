#include "cli/commands/StatusCommand.h"

#include "cli/CliOutput.h"
#include "cli/ExitStatus.h"
#include "cli/TavikctlSession.h"
#include "platform/AnsiCodePage.h"
#include "platform/window/WideText.h"
#include "protocol/OutcomeTexts.h"

#include <QJsonObject>

namespace {

// How each state ends the command: its exit status and its word in the JSON document.
int ExitStatusOf(EConnectionState nState) {
    switch (nState) {
    case CONNECTION_READY:
        return EXIT_DONE;
    case CONNECTION_NOT_READY:
        return EXIT_NO_ANSWER;
    default:
        return EXIT_REFUSED;
    }
}

QString StateWord(EConnectionState nState, std::uint32_t dwOwnerAddress) {
    switch (nState) {
    case CONNECTION_READY:
        return QStringLiteral("ready");
    case CONNECTION_NOT_READY:
        return QStringLiteral("not_ready");
    case CONNECTION_NOT_CLAIMED:
        return dwOwnerAddress != 0 ? QStringLiteral("claimed_by_other")
                                   : QStringLiteral("not_claimed");
    case CONNECTION_NOT_CONFIGURED:
        return QStringLiteral("not_configured");
    case CONNECTION_VERIFYING:
        break;
    }
    return QStringLiteral("verifying");
}

} // namespace

const char* CStatusCommand::Summary() const {
    return "the configured instrument, verified";
}

void CStatusCommand::Start() {
    StartVerification();
}

void CStatusCommand::ReportNotConfigured() {
    ReportState(CONNECTION_NOT_CONFIGURED);
}

void CStatusCommand::OnOutcome(const SConnectionStep& step) {
    const std::optional<EConnectionState> nState = ConnectionStateAfter(step);
    if (!nState) {
        return;
    }
    if (*nState == CONNECTION_NOT_READY) {
        Session().Output().Error(FromWide(TEXT_VERIFICATION_FAILED));
    }
    const std::u16string strOwner =
        step.bOwnerReported ? AnsiToWide(step.strOwnerHostName) : std::u16string();
    ReportState(*nState, strOwner, step.dwAddress);
}

void CStatusCommand::ReportState(EConnectionState nState, std::u16string_view strOwnerHostName,
                                 std::uint32_t dwOwnerAddress) {
    const SConfiguration& configuration = Session().Configuration();
    const int nExitStatus = ExitStatusOf(nState);
    const QString strText = FromWide(
        ConnectionStatusText(nState, strOwnerHostName, dwOwnerAddress).value_or(std::u16string()));
    // The owner's name is the instrument's text: as data in the document, escaped on the line.
    const QString strShownText = FromWide(
        ConnectionStatusText(nState, ToWideView(CCliOutput::Escaped(FromWide(strOwnerHostName))),
                             dwOwnerAddress)
            .value_or(std::u16string()));
    const std::optional<CMolvarInstrument>& verified = Verified();
    QJsonObject object = verified && nExitStatus != EXIT_NO_ANSWER
                             ? CCliOutput::InstrumentObject(*verified)
                             : CCliOutput::ConfiguredObject(configuration);
    object[QStringLiteral("state")] = StateWord(nState, dwOwnerAddress);
    object[QStringLiteral("message")] = strText;
    Session().Output().Json(object);
    QString strLines = strShownText;
    if (!configuration.strInstrumentName.isEmpty()) {
        strLines += QStringLiteral("\nInstrument name: %1\nInstrument address: %2")
                        .arg(CCliOutput::Escaped(configuration.strInstrumentName),
                             CCliOutput::HostAndAddress(configuration.strInstrumentHostName,
                                                        configuration.dwInstrumentIPAddress));
    }
    Session().Output().Text(strLines);
    Session().Finish(nExitStatus);
}
