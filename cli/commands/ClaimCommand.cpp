#include "cli/commands/ClaimCommand.h"

#include "cli/CliOutput.h"
#include "cli/ExitStatus.h"
#include "cli/TavikctlSession.h"
#include "platform/window/WideText.h"
#include "protocol/OutcomeTexts.h"

#include <QCommandLineParser>

namespace {

const QString NAME_OPTION = QStringLiteral("name");

} // namespace

CClaimCommand::CClaimCommand()
    : CNamingCommand(CLAIM_NAMING_EXCHANGE, TEXT_CLAIM_SELECTED_IN_USE) {}

const char* CClaimCommand::Summary() const {
    return "claim an instrument and make it the configured one";
}

QList<QCommandLineOption> CClaimCommand::Options() const {
    return {QCommandLineOption({NAME_OPTION},
                               QStringLiteral("The name to claim an unnamed instrument under."),
                               QStringLiteral("NAME"))};
}

std::optional<SNameToCheck> CClaimCommand::NameToCheck() const {
    // An empty name is judged once the instrument is known: a named one needs none.
    return m_bNameGiven ? std::optional<SNameToCheck>({m_strName, {}}) : std::nullopt;
}

QString CClaimCommand::ReadNameArguments(const QCommandLineParser& parser,
                                         const QStringList& /*listArguments*/) {
    m_bNameGiven = parser.isSet(NAME_OPTION);
    m_strName = parser.value(NAME_OPTION);
    return {};
}

std::optional<std::u16string> CClaimCommand::ChooseName(const CMolvarInstrument& instrument) {
    // A named instrument is claimed under its own name; an unnamed one needs --name.
    const std::u16string strOwnName = instrument.NameText();
    if (!strOwnName.empty()) {
        if (m_bNameGiven && m_strName.toStdU16String() != strOwnName) {
            Session().Output().Error(QStringLiteral("the instrument is named '%1' and is claimed "
                                                    "under that name; --name is for an unnamed "
                                                    "instrument")
                                         .arg(CCliOutput::Escaped(FromWide(strOwnName))));
            Session().Finish(EXIT_USAGE);
            return std::nullopt;
        }
        return strOwnName;
    }
    if (m_strName.isEmpty()) {
        Session().Report(EXIT_REFUSED, FromWide(TEXT_CLAIM_NO_NAME),
                         CCliOutput::InstrumentObject(instrument));
        return std::nullopt;
    }
    return m_strName.toStdU16String();
}
