#include "cli/CommandLineOptions.h"

#include "cli/CommandTable.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <utility>

namespace {

const QString TO_OPTION = QStringLiteral("to");

const QString USAGE_PREFIX = QStringLiteral("Usage: tavikctl [--adapter IFACE|ADDRESS] [--json] "
                                            "[--quiet] ");

// The options every command takes.
struct SGlobalOptions {
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
};

void AddGlobalOptions(QCommandLineParser& parser, const SGlobalOptions& options) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addOption(options.help);
    parser.addOption(options.version);
    parser.addOption(options.adapter);
    parser.addOption(options.json);
    parser.addOption(options.quiet);
}

// What follows the command's word in its usage line: its arguments, then its options.
QString Syntax(const SCliCommandEntry& entry, const CCliCommand& command) {
    QStringList listParts;
    for (const SCliArgument& argument : entry.listArguments) {
        listParts << QLatin1String(argument.pszName);
    }
    if (*command.OptionsSyntax() != '\0') {
        listParts << QLatin1String(command.OptionsSyntax());
    }
    return listParts.join(QLatin1Char(' '));
}

QString ProgramHelp(QCommandLineParser& parser) {
    QString strText = QStringLiteral("Usage: tavikctl [--adapter IFACE|ADDRESS] [--json] [--quiet] "
                                     "COMMAND [ARGS]\n\nThe connection of this computer to one "
                                     "instrument of the Tavik family, without a window.\n\n"
                                     "Commands:\n");
    for (const SCliCommandEntry& entry : CliCommands()) {
        const std::unique_ptr<CCliCommand> pCommand = entry.pfnCreate();
        const QString strLine =
            QStringLiteral("%1 %2").arg(QLatin1String(entry.pszName), Syntax(entry, *pCommand));
        strText += QStringLiteral("  ") + strLine.trimmed() + QLatin1Char('\n');
        strText += QStringLiteral("      %1\n").arg(QLatin1String(pCommand->Summary()));
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

SCliParseResult Result(SCliParseResult::EKind nKind, const QString& strText = {}) {
    SCliParseResult result;
    result.nKind = nKind;
    result.strText = strText;
    if (nKind == SCliParseResult::UsageError) {
        // One line, also where it quotes an argument that holds a line break.
        for (QChar& c : result.strText) {
            if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
                c = QLatin1Char(' ');
            }
        }
    }
    return result;
}

// The first look: every option any command knows, so that an option's value is not taken for
// the command's word.
bool FirstLook(const QStringList& listWithProgram, const SGlobalOptions& options,
               QCommandLineParser& first) {
    AddGlobalOptions(first, options);
    QStringList listKnown;
    for (const QCommandLineOption* pOption :
         {&options.help, &options.version, &options.adapter, &options.json, &options.quiet}) {
        listKnown << pOption->names();
    }
    for (const SCliCommandEntry& entry : CliCommands()) {
        for (const QCommandLineOption& option : entry.pfnCreate()->Options()) {
            if (!listKnown.contains(option.names().constFirst())) {
                listKnown << option.names();
                first.addOption(option);
            }
        }
    }
    return first.parse(listWithProgram);
}

} // namespace

QString SCliParseResult::CommandName() const {
    return pEntry != nullptr ? QLatin1String(pEntry->pszName) : QString();
}

QStringList CCommandLineOptions::CommandNames() {
    QStringList list;
    for (const SCliCommandEntry& entry : CliCommands()) {
        list << QLatin1String(entry.pszName);
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
    const SGlobalOptions options;
    const QStringList listWithProgram = QStringList{QStringLiteral("tavikctl")} + listArguments;

    QCommandLineParser first;
    if (!FirstLook(listWithProgram, options, first)) {
        return Result(SCliParseResult::UsageError, first.errorText());
    }
    if (first.isSet(options.version)) {
        return Result(SCliParseResult::Version);
    }
    if (first.positionalArguments().isEmpty()) {
        if (first.isSet(options.help)) {
            QCommandLineParser global;
            AddGlobalOptions(global, options);
            return Result(SCliParseResult::Help, ProgramHelp(global));
        }
        return Result(SCliParseResult::UsageError,
                      QStringLiteral("no command given; the commands are %1")
                          .arg(CommandNames().join(QStringLiteral(", "))));
    }
    const QString strCommand = first.positionalArguments().constFirst();
    const SCliCommandEntry* pEntry = FindCliCommand(strCommand);
    if (pEntry == nullptr) {
        return Result(SCliParseResult::UsageError,
                      QStringLiteral("unknown command '%1'; the commands are %2")
                          .arg(strCommand, CommandNames().join(QStringLiteral(", "))));
    }

    // Then the command's own options and arguments only.
    std::unique_ptr<CCliCommand> pCommand = pEntry->pfnCreate();
    const QString strSyntax = Syntax(*pEntry, *pCommand);
    QCommandLineParser parser;
    AddGlobalOptions(parser, options);
    parser.setApplicationDescription(QLatin1String(pCommand->Summary()));
    parser.addPositionalArgument(strCommand, QStringLiteral("The command."),
                                 QStringLiteral("%1 %2").arg(strCommand, strSyntax));
    parser.addOptions(pCommand->Options());
    for (const SCliArgument& argument : pEntry->listArguments) {
        parser.addPositionalArgument(QLatin1String(argument.pszName),
                                     QLatin1String(argument.pszDescription), QStringLiteral(" "));
    }
    if (!parser.parse(listWithProgram)) {
        return Result(SCliParseResult::UsageError,
                      QStringLiteral("%1: %2").arg(strCommand, parser.errorText()));
    }
    if (parser.isSet(options.help)) {
        // The usage line as the program's help writes it, whatever the program was called as.
        const QString strHelp = parser.helpText();
        return Result(
            SCliParseResult::Help,
            (USAGE_PREFIX + QStringLiteral("%1 %2").arg(strCommand, strSyntax)).trimmed() +
                strHelp.mid(strHelp.indexOf(QLatin1Char('\n'))));
    }

    SCliParseResult result;
    result.options.strAdapter = parser.value(options.adapter);
    if (parser.isSet(options.adapter) && result.options.strAdapter.isEmpty()) {
        return Result(SCliParseResult::UsageError,
                      QStringLiteral("--adapter needs an interface name or an address"));
    }
    result.options.bJson = parser.isSet(options.json);
    result.options.bQuiet = parser.isSet(options.quiet);
    if (result.options.bJson && result.options.bQuiet) {
        return Result(SCliParseResult::UsageError,
                      QStringLiteral("--json and --quiet exclude each other"));
    }

    const QStringList listPositional = parser.positionalArguments().mid(1);
    const qsizetype nWanted = static_cast<qsizetype>(pEntry->listArguments.size());
    if (listPositional.size() > nWanted) {
        return Result(SCliParseResult::UsageError,
                      QStringLiteral("%1: unexpected argument '%2'")
                          .arg(strCommand, listPositional.at(nWanted)));
    }
    if (listPositional.size() < nWanted) {
        const std::size_t nMissing = static_cast<std::size_t>(listPositional.size());
        return Result(SCliParseResult::UsageError,
                      QStringLiteral("%1: missing %2 (tavikctl %1 %3)")
                          .arg(strCommand, QLatin1String(pEntry->listArguments[nMissing].pszName),
                               strSyntax));
    }
    const QString strError = pCommand->ReadArguments(parser, listPositional);
    if (!strError.isEmpty()) {
        return Result(SCliParseResult::UsageError,
                      QStringLiteral("%1: %2").arg(strCommand, strError));
    }
    result.nKind = SCliParseResult::Run;
    result.pEntry = pEntry;
    result.pCommand = std::move(pCommand);
    return result;
}

QCommandLineOption DirectAddressOption(const QString& strDescription) {
    return QCommandLineOption({TO_OPTION}, strDescription, QStringLiteral("ADDRESS"));
}

QString ReadDirectAddresses(const QCommandLineParser& parser,
                            std::vector<std::uint32_t>* pListAddresses) {
    for (const QString& strTo : parser.values(TO_OPTION)) {
        std::uint32_t dwAddress = 0;
        if (!ParseStrictAddress(strTo, &dwAddress) || dwAddress == 0) {
            return QStringLiteral("--to takes an instrument's IPv4 address, not '%1'").arg(strTo);
        }
        pListAddresses->push_back(dwAddress);
    }
    return {};
}
