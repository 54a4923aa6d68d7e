// tavikctl: the connection of this computer to one Tavik instrument, from a shell.
#include "cli/CliOutput.h"
#include "cli/CommandLineOptions.h"
#include "cli/ExitStatus.h"
#include "cli/TavikctlSession.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavikctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVIK_VERSION));

    const SCliParseResult parsed = CCommandLineOptions::Parse(QCoreApplication::arguments().mid(1));
    switch (parsed.nKind) {
    case SCliParseResult::Help:
        std::fputs(qPrintable(parsed.strText), stdout);
        return EXIT_DONE;
    case SCliParseResult::Version:
        std::printf("tavikctl %s\n", TAVIK_VERSION);
        return EXIT_DONE;
    case SCliParseResult::UsageError:
        std::fprintf(stderr, "tavikctl: %s (see tavikctl --help)\n", qPrintable(parsed.strText));
        return EXIT_USAGE;
    case SCliParseResult::Run:
        break;
    }
    const CCliOutput output(parsed.options.bJson, parsed.options.bQuiet);
    CTavikctlSession session(parsed.options, *parsed.pEntry, *parsed.pCommand, output);
    return session.Run();
}
