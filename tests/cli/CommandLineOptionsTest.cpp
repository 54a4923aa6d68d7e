// tavikctl's arguments: where options may stand, what each command takes, and the usage errors
// that end the program with status 2 before anything is sent.
#include "cli/CommandLineOptions.h"

#include "cli/commands/ClaimCommand.h"
#include "cli/commands/DiscoverCommand.h"
#include "cli/commands/RenameCommand.h"

#include <gtest/gtest.h>

namespace {

SCliParseResult Parse(const QStringList& listArguments) {
    return CCommandLineOptions::Parse(listArguments);
}

void ExpectUsageError(const QStringList& listArguments, const char* pszWords) {
    const SCliParseResult result = Parse(listArguments);
    EXPECT_EQ(result.nKind, SCliParseResult::UsageError) << listArguments.join(' ').toStdString();
    EXPECT_TRUE(result.strText.contains(QLatin1String(pszWords))) << result.strText.toStdString();
    EXPECT_FALSE(result.strText.contains(QLatin1Char('\n'))) << "one line";
}

// The command a run was parsed into, as its own class.
template <class TCommand> const TCommand& Command(const SCliParseResult& result) {
    return dynamic_cast<const TCommand&>(*result.pCommand);
}

} // namespace

TEST(CommandLineOptions, GlobalOptionsStandBeforeOrAfterTheCommand) {
    for (const QStringList& listArguments : {QStringList{"--adapter", "eth1", "--json", "status"},
                                             QStringList{"status", "--json", "--adapter", "eth1"},
                                             QStringList{"--json", "status", "--adapter=eth1"}}) {
        const SCliParseResult result = Parse(listArguments);
        ASSERT_EQ(result.nKind, SCliParseResult::Run) << result.strText.toStdString();
        EXPECT_EQ(result.CommandName(), QStringLiteral("status"));
        EXPECT_EQ(result.options.strAdapter, QStringLiteral("eth1"));
        EXPECT_TRUE(result.options.bJson);
        EXPECT_FALSE(result.options.bQuiet);
    }
}

TEST(CommandLineOptions, EachCommandTakesItsArgumentsAndOptions) {
    SCliParseResult result =
        Parse({"discover", "--cycles", "3", "--to", "10.78.1.20", "--to", "192.168.5.7"});
    ASSERT_EQ(result.nKind, SCliParseResult::Run);
    EXPECT_EQ(Command<CDiscoverCommand>(result).GetOptions().nCycles, 3u);
    EXPECT_EQ(Command<CDiscoverCommand>(result).GetOptions().listDirectAddresses,
              (std::vector<std::uint32_t>{0x0A4E0114, 0xC0A80507}));
    EXPECT_FALSE(Command<CDiscoverCommand>(result).GetOptions().bWatch);

    result = Parse({"discover", "--watch"});
    ASSERT_EQ(result.nKind, SCliParseResult::Run);
    EXPECT_TRUE(Command<CDiscoverCommand>(result).GetOptions().bWatch);
    EXPECT_EQ(Command<CDiscoverCommand>(result).GetOptions().nCycles, 1u);

    result = Parse({"claim", "tavik-a101", "--name", "Lab 7"});
    ASSERT_EQ(result.nKind, SCliParseResult::Run);
    EXPECT_EQ(result.CommandName(), QStringLiteral("claim"));
    EXPECT_EQ(Command<CClaimCommand>(result).Instrument(), QStringLiteral("tavik-a101"));
    EXPECT_TRUE(Command<CClaimCommand>(result).NameGiven());
    EXPECT_EQ(Command<CClaimCommand>(result).Name(), QStringLiteral("Lab 7"));

    result = Parse({"claim", "Bench-2"});
    ASSERT_EQ(result.nKind, SCliParseResult::Run);
    EXPECT_FALSE(Command<CClaimCommand>(result).NameGiven());

    // A new name that looks like an option comes after "--".
    result = Parse({"rename", "10.77.1.11", "--", "--odd-name"});
    ASSERT_EQ(result.nKind, SCliParseResult::Run);
    EXPECT_EQ(result.CommandName(), QStringLiteral("rename"));
    EXPECT_EQ(Command<CRenameCommand>(result).Instrument(), QStringLiteral("10.77.1.11"));
    EXPECT_EQ(Command<CRenameCommand>(result).NewName(), QStringLiteral("--odd-name"));

    for (const char* pszCommand : {"adapters", "status", "release", "repair"}) {
        result = Parse({pszCommand});
        ASSERT_EQ(result.nKind, SCliParseResult::Run) << pszCommand;
        EXPECT_EQ(result.CommandName(), QLatin1String(pszCommand));
    }
}

TEST(CommandLineOptions, WrongArgumentsAreUsageErrorsOfOneLine) {
    ExpectUsageError({}, "no command");
    ExpectUsageError({"connect"}, "unknown command 'connect'");
    ExpectUsageError({"status", "--name", "x"}, "name"); // another command's option
    ExpectUsageError({"discover", "--frobnicate"}, "frobnicate");
    ExpectUsageError({"status", "--frob\nnicate"}, "frob nicate");
    ExpectUsageError({"claim"}, "missing INSTRUMENT");
    ExpectUsageError({"rename", "Bench-2"}, "missing NEW-NAME");
    ExpectUsageError({"status", "extra"}, "unexpected argument 'extra'");
    ExpectUsageError({"claim", "a", "b"}, "unexpected argument 'b'");
    ExpectUsageError({"claim", ""}, "INSTRUMENT is empty");
    ExpectUsageError({"--json", "--quiet", "status"}, "exclude");
    ExpectUsageError({"--adapter", "", "status"}, "--adapter");
    ExpectUsageError({"discover", "--cycles", "0"}, "--cycles");
    ExpectUsageError({"discover", "--cycles", "1001"}, "--cycles");
    ExpectUsageError({"discover", "--cycles", "two"}, "--cycles");
    ExpectUsageError({"discover", "--cycles", "2", "--watch"}, "exclude");
    ExpectUsageError({"discover", "--to", "tavik-a101"}, "--to");
    ExpectUsageError({"discover", "--to", "10.78.1"}, "--to");
    ExpectUsageError({"discover", "--to", "0.0.0.0"}, "--to"); // this computer itself
}

TEST(CommandLineOptions, HelpOfTheProgramAndOfEachCommandAndTheVersion) {
    SCliParseResult result = Parse({"--help"});
    ASSERT_EQ(result.nKind, SCliParseResult::Help);
    for (const QString& strCommand : CCommandLineOptions::CommandNames()) {
        EXPECT_TRUE(result.strText.contains(QStringLiteral("\n  ") + strCommand))
            << strCommand.toStdString();
    }
    EXPECT_TRUE(result.strText.contains(QLatin1String("--adapter")));

    result = Parse({"discover", "--help"});
    ASSERT_EQ(result.nKind, SCliParseResult::Help);
    EXPECT_TRUE(result.strText.startsWith(QLatin1String("Usage: tavikctl")));
    for (const char* pszOption : {"--cycles", "--to", "--watch", "--json"}) {
        EXPECT_TRUE(result.strText.contains(QLatin1String(pszOption))) << pszOption;
    }
    EXPECT_FALSE(result.strText.contains(QLatin1String("--name")));

    // Help wins over what else is wrong, as a user asking for it expects.
    EXPECT_EQ(Parse({"claim", "--help"}).nKind, SCliParseResult::Help);
    EXPECT_EQ(Parse({"--version"}).nKind, SCliParseResult::Version);
}

TEST(CommandLineOptions, AnAddressIsFourDecimalBytesAndNothingElse) {
    std::uint32_t dwAddress = 0;
    ASSERT_TRUE(ParseStrictAddress(QStringLiteral("10.77.1.11"), &dwAddress));
    EXPECT_EQ(dwAddress, 0x0A4D010Bu);
    ASSERT_TRUE(ParseStrictAddress(QStringLiteral("255.255.255.255"), &dwAddress));
    EXPECT_EQ(dwAddress, 0xFFFFFFFFu);
    for (const char* pszText : {"10.77.1", "10.77.1.11.5", "10.77.1.256", "10.77.1.-1", "10.77..11",
                                "10.77.1.1a", " 10.77.1.11", "tavik-a101", "", "1.2.3.0011"}) {
        EXPECT_FALSE(ParseStrictAddress(QLatin1String(pszText), &dwAddress)) << pszText;
    }
}
