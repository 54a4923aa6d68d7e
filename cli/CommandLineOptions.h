// tavikctl's command line: the global options, one command of the table (cli/CommandTable.h)
// with its arguments, and that command's own options, which the command reads itself.
#pragma once

#include "cli/CliCommand.h"

#include <QCommandLineOption>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

class QCommandLineParser;

struct SCliCommandEntry;

// The options every command takes.
struct SCliOptions {
    QString strAdapter; // --adapter: an interface name or its address; empty: the only one
    bool bJson = false;
    bool bQuiet = false;
};

struct SCliParseResult {
    enum EKind : std::uint8_t { Run, Help, Version, UsageError } nKind = UsageError;
    SCliOptions options;
    // Run: the command's row and the command, its arguments read.
    const SCliCommandEntry* pEntry = nullptr;
    std::unique_ptr<CCliCommand> pCommand;
    QString strText; // Help: the text to print; UsageError: the one-line reason

    // Run: the command's word.
    QString CommandName() const;
};

class CCommandLineOptions {
public:
    // The arguments without the program name.
    static SCliParseResult Parse(const QStringList& listArguments);
    // The commands' words, in the table's order.
    static QStringList CommandNames();
};

// A dotted address of four decimal bytes ("10.77.1.11"), strictly: nothing else is an address
// on the command line. False for anything else.
bool ParseStrictAddress(const QString& strText, std::uint32_t* pdwAddress);

// --to ADDRESS, repeatable: an instrument that discover and doctor also ask directly.
QCommandLineOption DirectAddressOption(const QString& strDescription);
// The --to addresses, each strictly dotted and not 0.0.0.0, appended to *pListAddresses; the
// usage error for the first that is none, else empty.
QString ReadDirectAddresses(const QCommandLineParser& parser,
                            std::vector<std::uint32_t>* pListAddresses);
