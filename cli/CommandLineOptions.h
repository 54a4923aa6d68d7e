// tavikctl's command line: the global options, one command and its own options and arguments.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

enum class ECliCommand : std::uint8_t {
    Adapters,
    Discover,
    Status,
    Claim,
    Release,
    Rename,
    Repair
};

struct SCliOptions {
    ECliCommand nCommand = ECliCommand::Status;
    QString strAdapter; // --adapter: an interface name or its address; empty: the only one
    bool bJson = false;
    bool bQuiet = false;
    // discover
    unsigned nCycles = 1;
    std::vector<std::uint32_t> listDirectAddresses; // --to
    bool bWatch = false;
    // claim, rename
    QString strInstrument;
    bool bNameGiven = false; // claim --name
    QString strName;         // claim --name, rename NEW-NAME
};

struct SCliParseResult {
    enum EKind : std::uint8_t { Run, Help, Version, UsageError } nKind = UsageError;
    SCliOptions options;
    QString strText; // Help: the text to print; UsageError: the one-line reason
};

class CCommandLineOptions {
public:
    static constexpr unsigned MAX_CYCLES = 1000;

    // The arguments without the program name.
    static SCliParseResult Parse(const QStringList& listArguments);

    // The command's word ("discover") and back.
    static QString CommandName(ECliCommand nCommand);
    static bool CommandFromName(const QString& strName, ECliCommand* pnCommand);
    static QStringList CommandNames();
};

// A dotted address of four decimal bytes ("10.77.1.11"), strictly: nothing else is an address
// on the command line. False for anything else.
bool ParseStrictAddress(const QString& strText, std::uint32_t* pdwAddress);
