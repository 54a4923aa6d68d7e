// tavikctl's command line: the input is the argument list, arguments apart at each NUL byte, as
// the shell would hand them over (UTF-8, anything else decoded as Qt decodes it). Whatever the
// arguments, the parse answers one of its four kinds: a usage error is one line that says
// something, a help text begins with the usage line, and a run names a command of the table that
// was given on the command line, with its arguments read and --json and --quiet not both. The
// same arguments always parse the same way.
#include "cli/CommandLineOptions.h"
#include "cli/CommandTable.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"

#include <QCoreApplication>

namespace {

QStringList Arguments(std::span<const std::uint8_t> bytes) {
    QStringList listArguments;
    QByteArray abArgument;
    for (const std::uint8_t b : bytes) {
        if (b == 0) {
            listArguments << QString::fromUtf8(abArgument);
            abArgument.clear();
        } else {
            abArgument.append(static_cast<char>(b));
        }
    }
    listArguments << QString::fromUtf8(abArgument);
    return listArguments;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* pnArgc, char*** pppArgv) {
    // Kept to the end of the process, as the program's own is.
    new QCoreApplication(*pnArgc, *pppArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbData, std::size_t nSize) {
    CFuzzInput input(pbData, nSize);
    const QStringList listArguments = Arguments(input.Rest());
    const SCliParseResult result = CCommandLineOptions::Parse(listArguments);
    switch (result.nKind) {
    case SCliParseResult::UsageError:
        FUZZ_CHECK(!result.strText.trimmed().isEmpty());
        FUZZ_CHECK(!result.strText.contains(QLatin1Char('\n')));
        break;
    case SCliParseResult::Help:
        FUZZ_CHECK(result.strText.startsWith(QLatin1String("Usage: tavikctl ")));
        break;
    case SCliParseResult::Version:
        FUZZ_CHECK(listArguments.contains(QLatin1String("--version")) ||
                   listArguments.contains(QLatin1String("-version")));
        break;
    case SCliParseResult::Run:
        FUZZ_CHECK(result.pEntry != nullptr && result.pCommand != nullptr);
        FUZZ_CHECK(FindCliCommand(result.CommandName()) == result.pEntry);
        FUZZ_CHECK(listArguments.contains(result.CommandName()));
        FUZZ_CHECK(!(result.options.bJson && result.options.bQuiet));
        break;
    default:
        FUZZ_CHECK(false);
    }
    const SCliParseResult again = CCommandLineOptions::Parse(listArguments);
    FUZZ_CHECK(again.nKind == result.nKind && again.strText == result.strText &&
               again.pEntry == result.pEntry);
    return 0;
}
