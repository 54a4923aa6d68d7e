// tavikctl claim INSTRUMENT [--name NAME]: claims an instrument as the claim selection and
// claim windows do, under its own name, or under NAME when it has none.
#pragma once

#include "cli/NamingCommand.h"

class CClaimCommand final : public CNamingCommand {
public:
    CClaimCommand();

    const char* Summary() const override;
    QList<QCommandLineOption> Options() const override;
    const char* OptionsSyntax() const override { return "[--name NAME]"; }
    std::optional<SNameToCheck> NameToCheck() const override;

    // --name, as given.
    bool NameGiven() const { return m_bNameGiven; }
    const QString& Name() const { return m_strName; }

protected:
    QString ReadNameArguments(const QCommandLineParser& parser,
                              const QStringList& listArguments) override;
    std::optional<std::u16string> ChooseName(const CMolvarInstrument& instrument) override;

private:
    bool m_bNameGiven = false;
    QString m_strName;
};
