#include "cli/CommandLineOptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <array>
#include <utility>

namespace {

struct SCommandInfo {
    ECliCommand nCommand;
    const char* pszName;
    const char* pszSyntax;  // after the command's word
    const char* pszSummary; // one line for the program's help
};

constexpr std::array<SCommandInfo, 7> COMMANDS = {{
    {ECliCommand::Adapters, "adapters", "",
     "the adapters as the program sees them, and the one it would use"},
    {ECliCommand::Discover, "discover", "[--cycles N] [--to ADDRESS]... [--watch]",
     "the instruments that answer a discovery cycle"},
    {ECliCommand::Status, "status", "", "the configured instrument, verified"},
    {ECliCommand::Claim, "claim", "INSTRUMENT [--name NAME]",
     "claim an instrument and make it the configured one"},
    {ECliCommand::Release, "release", "", "release the configured instrument and forget it"},
    {ECliCommand::Rename, "rename", "INSTRUMENT NEW-NAME",
     "rename an instrument, which also claims it"},
    {ECliCommand::Repair, "repair", "", "find the configured instrument by its name again"},
}};

const SCommandInfo& Info(ECliCommand nCommand) {
    for (const SCommandInfo& info : COMMANDS) {
        if (info.nCommand == nCommand) {
            return info;
        }
    }
    return COMMANDS[0];
}

// Every option the program knows, so that a first look can find the command word.
struct SOptionSet {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show the help of the program or of a command.")};
    QCommandLineOption version{{QStringLiteral("version")},
                               QStringLiteral("Show the program's version.")};
    QCommandLineOption adapter{{QStringLiteral("adapter")},
                               QStringLiteral("Use this network adapter: its interface name or "
                                              "its IPv4 address (needed when there are several)."),
                               QStringLiteral("IFACE|ADDRESS")};
    QCommandLineOption json{{QStringLiteral("json")},
                            QStringLiteral("Print one JSON document on standard output.")};
    QCommandLineOption quiet{{QStringLiteral("quiet")},
                             QStringLiteral("Print nothing on standard output; the exit status "
                                            "tells the outcome.")};
    QCommandLineOption cycles{{QStringLiteral("cycles")},
                              QStringLiteral("Run N discovery cycles (5015 ms apart) and list "
                                             "every instrument that answered (default 1)."),
                              QStringLiteral("N")};
    QCommandLineOption to{{QStringLiteral("to")},
                          QStringLiteral("Also ask this address directly, for an instrument "
                                         "that no broadcast reaches (repeatable)."),
                          QStringLiteral("ADDRESS")};
    QCommandLineOption watch{{QStringLiteral("watch")},
                             QStringLiteral("Discover every 5015 ms until interrupted, printing "
                                            "the list after each collection.")};
    QCommandLineOption name{{QStringLiteral("name")},
                            QStringLiteral("The name to claim an unnamed instrument under."),
                            QStringLiteral("NAME")};
};

void AddGlobalOptions(QCommandLineParser& parser, const SOptionSet& options) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addOption(options.help);
    parser.addOption(options.version);
    parser.addOption(options.adapter);
    parser.addOption(options.json);
    parser.addOption(options.quiet);
}

QString ProgramHelp(QCommandLineParser& parser) {
    QString strText = QStringLiteral("Usage: tavikctl [--adapter IFACE|ADDRESS] [--json] [--quiet] "
                                     "COMMAND [ARGS]\n\nThe connection of this computer to one "
                                     "instrument of the Tavik family, without a window.\n\n"
                                     "Commands:\n");
    for (const SCommandInfo& info : COMMANDS) {
        QString strLine = QStringLiteral("  %1 %2").arg(QLatin1String(info.pszName),
                                                        QLatin1String(info.pszSyntax));
        strText += strLine.trimmed().prepend(QStringLiteral("  ")) + QLatin1Char('\n');
        strText += QStringLiteral("      %1\n").arg(QLatin1String(info.pszSummary));
    }
    strText += QStringLiteral("\nINSTRUMENT is an address, a host name or an instrument name as "
                              "discovery reports it.\n'tavikctl COMMAND --help' shows a "
                              "command's options; man tavikctl tells more.\n\n");
    // Qt's own list of the global options, without its usage line.
    QString strOptions = parser.helpText();
    const qsizetype nOptions = strOptions.indexOf(QLatin1String("Options:"));
    if (nOptions >= 0) {
        strText += strOptions.mid(nOptions);
    }
    return strText;
}

SCliParseResult Usage(const QString& strReason) {
    SCliParseResult result;
    result.nKind = SCliParseResult::UsageError;
    result.strText = strReason;
    return result;
}

} // namespace

QString CCommandLineOptions::CommandName(ECliCommand nCommand) {
    return QLatin1String(Info(nCommand).pszName);
}

bool CCommandLineOptions::CommandFromName(const QString& strName, ECliCommand* pnCommand) {
    for (const SCommandInfo& info : COMMANDS) {
        if (strName == QLatin1String(info.pszName)) {
            *pnCommand = info.nCommand;
            return true;
        }
    }
    return false;
}

QStringList CCommandLineOptions::CommandNames() {
    QStringList list;
    for (const SCommandInfo& info : COMMANDS) {
        list << QLatin1String(info.pszName);
    }
    return list;
}

bool ParseStrictAddress(const QString& strText, std::uint32_t* pdwAddress) {
    const QStringList listParts = strText.split(QLatin1Char('.'));
    if (listParts.size() != 4) {
        return false;
    }
    std::uint32_t dwAddress = 0;
    for (const QString& strPart : listParts) {
        if (strPart.isEmpty() || strPart.size() > 3) {
            return false;
        }
        for (const QChar c : strPart) {
            if (c < u'0' || c > u'9') {
                return false;
            }
        }
        const unsigned nByte = strPart.toUInt();
        if (nByte > 255) {
            return false;
        }
        dwAddress = (dwAddress << 8) | nByte;
    }
    *pdwAddress = dwAddress;
    return true;
}

SCliParseResult CCommandLineOptions::Parse(const QStringList& listArguments) {
    const SOptionSet options;
    const QStringList listWithProgram = QStringList{QStringLiteral("tavikctl")} + listArguments;

    // First look, with every option known, for the command word.
    QCommandLineParser first;
    AddGlobalOptions(first, options);
    first.addOptions({options.cycles, options.to, options.watch, options.name});
    if (!first.parse(listWithProgram)) {
        return Usage(first.errorText());
    }
    if (first.isSet(options.version)) {
        SCliParseResult result;
        result.nKind = SCliParseResult::Version;
        return result;
    }
    if (first.positionalArguments().isEmpty()) {
        if (first.isSet(options.help)) {
            QCommandLineParser global;
            AddGlobalOptions(global, options);
            SCliParseResult result;
            result.nKind = SCliParseResult::Help;
            result.strText = ProgramHelp(global);
            return result;
        }
        return Usage(QStringLiteral("no command given; the commands are %1")
                         .arg(CommandNames().join(QStringLiteral(", "))));
    }
    SCliOptions cli;
    const QString strCommand = first.positionalArguments().constFirst();
    if (!CommandFromName(strCommand, &cli.nCommand)) {
        return Usage(QStringLiteral("unknown command '%1'; the commands are %2")
                         .arg(strCommand, CommandNames().join(QStringLiteral(", "))));
    }

    // Then the command's own options only.
    const SCommandInfo& info = Info(cli.nCommand);
    QCommandLineParser parser;
    AddGlobalOptions(parser, options);
    parser.setApplicationDescription(QLatin1String(info.pszSummary));
    parser.addPositionalArgument(
        strCommand, QStringLiteral("The command."),
        QStringLiteral("%1 %2").arg(strCommand, QLatin1String(info.pszSyntax)));
    switch (cli.nCommand) {
    case ECliCommand::Discover:
        parser.addOptions({options.cycles, options.to, options.watch});
        break;
    case ECliCommand::Claim:
        parser.addOption(options.name);
        parser.addPositionalArgument(QStringLiteral("INSTRUMENT"),
                                     QStringLiteral("An address, a host name or an instrument "
                                                    "name as discovery reports it."),
                                     QString(" "));
        break;
    case ECliCommand::Rename:
        parser.addPositionalArgument(QStringLiteral("INSTRUMENT"),
                                     QStringLiteral("An address, a host name or an instrument "
                                                    "name as discovery reports it."),
                                     QString(" "));
        parser.addPositionalArgument(QStringLiteral("NEW-NAME"),
                                     QStringLiteral("1 to 63 characters, not \"Unnamed\"."),
                                     QString(" "));
        break;
    default:
        break;
    }
    if (!parser.parse(listWithProgram)) {
        return Usage(QStringLiteral("%1: %2").arg(strCommand, parser.errorText()));
    }
    if (parser.isSet(options.help)) {
        SCliParseResult result;
        result.nKind = SCliParseResult::Help;
        // The usage line as the program's help writes it, whatever the program was called as.
        const QString strHelp = parser.helpText();
        result.strText = QStringLiteral("Usage: tavikctl [--adapter IFACE|ADDRESS] [--json] "
                                        "[--quiet] %1 %2")
                             .arg(strCommand, QLatin1String(info.pszSyntax))
                             .trimmed() +
                         strHelp.mid(strHelp.indexOf(QLatin1Char('\n')));
        return result;
    }
    cli.strAdapter = parser.value(options.adapter);
    if (parser.isSet(options.adapter) && cli.strAdapter.isEmpty()) {
        return Usage(QStringLiteral("--adapter needs an interface name or an address"));
    }
    cli.bJson = parser.isSet(options.json);
    cli.bQuiet = parser.isSet(options.quiet);
    if (cli.bJson && cli.bQuiet) {
        return Usage(QStringLiteral("--json and --quiet exclude each other"));
    }

    const QStringList listPositional = parser.positionalArguments().mid(1);
    qsizetype nWanted = 0;
    if (cli.nCommand == ECliCommand::Claim) {
        nWanted = 1;
    } else if (cli.nCommand == ECliCommand::Rename) {
        nWanted = 2;
    }
    if (listPositional.size() != nWanted) {
        if (listPositional.size() > nWanted) {
            return Usage(QStringLiteral("%1: unexpected argument '%2'")
                             .arg(strCommand, listPositional.at(nWanted)));
        }
        return Usage(QStringLiteral("%1: missing %2 (tavikctl %1 %3)")
                         .arg(strCommand,
                              nWanted - listPositional.size() == 2 || listPositional.isEmpty()
                                  ? QStringLiteral("INSTRUMENT")
                                  : QStringLiteral("NEW-NAME"),
                              QLatin1String(info.pszSyntax)));
    }
    if (nWanted >= 1) {
        cli.strInstrument = listPositional.at(0);
        if (cli.strInstrument.isEmpty()) {
            return Usage(QStringLiteral("%1: INSTRUMENT is empty").arg(strCommand));
        }
    }
    if (cli.nCommand == ECliCommand::Rename) {
        cli.strName = listPositional.at(1);
        cli.bNameGiven = true;
    }
    if (cli.nCommand == ECliCommand::Claim && parser.isSet(options.name)) {
        cli.bNameGiven = true;
        cli.strName = parser.value(options.name);
    }

    if (cli.nCommand == ECliCommand::Discover) {
        cli.bWatch = parser.isSet(options.watch);
        if (parser.isSet(options.cycles)) {
            if (cli.bWatch) {
                return Usage(QStringLiteral("discover: --cycles and --watch exclude each other"));
            }
            bool bNumber = false;
            const QString strCycles = parser.value(options.cycles);
            const uint nCycles = strCycles.toUInt(&bNumber);
            if (!bNumber || nCycles < 1 || nCycles > MAX_CYCLES ||
                strCycles.startsWith(QLatin1Char('+'))) {
                return Usage(QStringLiteral("discover: --cycles takes a number from 1 to %1, "
                                            "not '%2'")
                                 .arg(MAX_CYCLES)
                                 .arg(strCycles));
            }
            cli.nCycles = nCycles;
        }
        for (const QString& strTo : parser.values(options.to)) {
            std::uint32_t dwAddress = 0;
            if (!ParseStrictAddress(strTo, &dwAddress) || dwAddress == 0) {
                return Usage(
                    QStringLiteral("discover: --to takes an instrument's IPv4 address, not '%1'")
                        .arg(strTo));
            }
            cli.listDirectAddresses.push_back(dwAddress);
        }
    }

    SCliParseResult result;
    result.nKind = SCliParseResult::Run;
    result.options = std::move(cli);
    return result;
}
