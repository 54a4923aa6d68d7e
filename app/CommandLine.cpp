#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <cstring>

namespace {

constexpr int EXIT_USAGE = 2;
constexpr int EXIT_NO_DISPLAY = 1;

bool g_bOffscreenForArgumentsOnly = false;

void PrintError(const QString& strMessage) {
    std::fputs(qPrintable(QCoreApplication::applicationName() + QStringLiteral(": ") + strMessage +
                          QStringLiteral("\n")),
               stderr);
}

int UsageError(const QString& strMessage) {
    PrintError(strMessage);
    std::fputs(
        qPrintable(QStringLiteral("Try '%1 --help'.\n").arg(QCoreApplication::applicationName())),
        stderr);
    return EXIT_USAGE;
}

} // namespace

void PrepareCommandLinePlatform(int argc, char** argv) {
    for (const char* pszVariable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(pszVariable)) {
            return;
        }
    }
    // Qt reads its own options with one dash or two.
    for (int i = 1; i < argc; ++i) {
        for (const char* pszOption : {"-platform", "--platform", "-display", "--display"}) {
            if (std::strcmp(argv[i], pszOption) == 0) {
                return;
            }
        }
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_bOffscreenForArgumentsOnly = true;
}

std::optional<int> ProcessCommandLine() {
    QCoreApplication::setApplicationName(QStringLiteral("tavik-connection"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVIK_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Tavik Instrument Connection: ties this computer to one laboratory "
                       "instrument of the Tavik family.\nThe program takes no options beyond "
                       "these and Qt's own (--help-all lists them)."));
    parser.addHelpOption();
    parser.addVersionOption();

    const QStringList listArguments = QCoreApplication::arguments();
    // parse() leaves the errors to this program (process() would end with status 1); process()
    // on arguments that parse answers --help, --help-all and --version as every Qt program does.
    if (!parser.parse(listArguments)) {
        return UsageError(parser.errorText());
    }
    parser.process(listArguments);
    if (!parser.positionalArguments().isEmpty()) {
        return UsageError(QStringLiteral("unexpected argument '%1'.")
                              .arg(parser.positionalArguments().constFirst()));
    }
    if (g_bOffscreenForArgumentsOnly) {
        PrintError(QStringLiteral("no display to open the window on (DISPLAY and "
                                  "WAYLAND_DISPLAY are unset; -platform chooses another)."));
        return EXIT_NO_DISPLAY;
    }
    return std::nullopt;
}
