#include "cli/commands/RenameCommand.h"

#include "protocol/OutcomeTexts.h"

CRenameCommand::CRenameCommand()
    : CNamingCommand(RENAME_NAMING_EXCHANGE, TEXT_RENAME_SELECTED_IN_USE) {}

const char* CRenameCommand::Summary() const {
    return "rename an instrument, which also claims it";
}

std::optional<SNameToCheck> CRenameCommand::NameToCheck() const {
    return SNameToCheck{m_strNewName, TEXT_RENAME_NO_NAME};
}

QString CRenameCommand::ReadNameArguments(const QCommandLineParser& /*parser*/,
                                          const QStringList& listArguments) {
    m_strNewName = listArguments.value(0);
    return {};
}

std::optional<std::u16string> CRenameCommand::ChooseName(const CMolvarInstrument& /*instrument*/) {
    return m_strNewName.toStdU16String();
}
