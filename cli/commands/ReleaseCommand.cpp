#include "cli/commands/ReleaseCommand.h"

#include "cli/CliOutput.h"
#include "cli/ExitStatus.h"
#include "cli/TavikctlSession.h"
#include "platform/window/WideText.h"
#include "protocol/ConnectionState.h"
#include "protocol/OutcomeTexts.h"
#include "protocol/ReleaseCheck.h"

#include <QJsonObject>

namespace {

const QString TEXT_RELEASED = QStringLiteral("The instrument has been released.");

} // namespace

const char* CReleaseCommand::Summary() const {
    return "release the configured instrument and forget it";
}

void CReleaseCommand::Start() {
    StartVerification();
}

void CReleaseCommand::OnOutcome(const SConnectionStep& step) {
    if (ConnectionStateAfter(step) == CONNECTION_NOT_CONFIGURED) {
        OnReleaseEnded(step);
    } else {
        OnVerified(step);
    }
}

void CReleaseCommand::OnVerified(const SConnectionStep& step) {
    if (step.nEvent == EConnectionEvent::VerificationFailed) {
        // "Not ready": the main window offers the release all the same.
        StartRelease();
        return;
    }
    // What the claim selection window checks of the record before it asks for a release, here
    // of the description the instrument has just given.
    const std::optional<CMolvarInstrument>& verified = Verified();
    EReleaseCheck nCheck = EReleaseCheck::OwnedElsewhere;
    if (verified) {
        const SConfiguration& configuration = Session().Configuration();
        const std::u16string strName = configuration.strInstrumentName.toStdU16String();
        nCheck = CheckRelease(*verified, {Session().LocalAddress(), Session().LocalHostName(),
                                          strName, configuration.dwInstrumentIPAddress});
    }
    if (nCheck == EReleaseCheck::Allowed && step.nEvent != EConnectionEvent::Ready) {
        nCheck = EReleaseCheck::OwnedElsewhere; // the instrument says this is not the owner
    }
    switch (nCheck) {
    case EReleaseCheck::NotClaimed:
        Session().Report(EXIT_REFUSED, FromWide(TEXT_RELEASE_NOT_CLAIMED), InstrumentObject());
        return;
    case EReleaseCheck::OwnedElsewhere:
        Session().Report(EXIT_REFUSED, FromWide(TEXT_RELEASE_OWNED_ELSEWHERE), InstrumentObject());
        return;
    case EReleaseCheck::InUse:
        Session().Report(EXIT_REFUSED, FromWide(TEXT_RELEASE_SELECTED_IN_USE), InstrumentObject());
        return;
    case EReleaseCheck::Allowed:
        // After the routing that brought the verification's reply has ended.
        Session().Defer([this] { StartRelease(); });
        return;
    }
}

void CReleaseCommand::OnReleaseEnded(const SConnectionStep& step) {
    const QJsonObject object = InstrumentObject();
    // Whatever the answer, and without one, the configuration is forgotten.
    if (!Session().SaveConfiguration({})) {
        return;
    }
    if (step.nEvent == EConnectionEvent::ReleaseUnanswered) {
        Session().Report(EXIT_NO_ANSWER, FromWide(TEXT_RELEASE_UNANSWERED), object);
        return;
    }
    if (step.nStatus == STATUS_OK) {
        Session().Report(EXIT_DONE, TEXT_RELEASED, object);
        return;
    }
    const std::optional<std::u16string_view> strText = ReleaseStatusText(step.nStatus);
    Session().Report(EXIT_REFUSED,
                     strText ? FromWide(*strText)
                             : QStringLiteral("The instrument refused the release (status %1); "
                                              "the configuration has been cleared.")
                                   .arg(step.nStatus),
                     object);
}

QJsonObject CReleaseCommand::InstrumentObject() const {
    const std::optional<CMolvarInstrument>& verified = Verified();
    return verified ? CCliOutput::InstrumentObject(*verified)
                    : CCliOutput::ConfiguredObject(Session().Configuration());
}
