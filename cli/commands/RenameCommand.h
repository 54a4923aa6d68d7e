// tavikctl rename INSTRUMENT NEW-NAME: renames an instrument as the rename window does, which
// also makes this computer its owner and the instrument the configured one.
#pragma once

#include "cli/NamingCommand.h"

class CRenameCommand final : public CNamingCommand {
public:
    CRenameCommand();

    const char* Summary() const override;
    std::optional<SNameToCheck> NameToCheck() const override;

    // NEW-NAME, as given.
    const QString& NewName() const { return m_strNewName; }

protected:
    QString ReadNameArguments(const QCommandLineParser& parser,
                              const QStringList& listArguments) override;
    std::optional<std::u16string> ChooseName(const CMolvarInstrument& instrument) override;

private:
    QString m_strNewName;
};
