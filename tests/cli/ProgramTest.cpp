// The program itself, run as a user runs it, for what sends nothing: help, version, usage
// errors, the adapter listing, and that it needs no display library.
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

struct SRun {
    int nExitCode = -1;
    QString strOut;
    QString strErr;
};

SRun RunProgram(const QString& strProgram, const QStringList& listArguments) {
    QProcess process;
    process.start(strProgram, listArguments);
    SRun run;
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.nExitCode = process.exitCode();
    run.strOut = QString::fromUtf8(process.readAllStandardOutput());
    run.strErr = QString::fromUtf8(process.readAllStandardError());
    return run;
}

SRun Tavikctl(const QStringList& listArguments) {
    return RunProgram(QStringLiteral(TAVIKCTL), listArguments);
}

} // namespace

TEST(TavikctlProgram, HelpAndVersionAnswerOnStandardOutputWithStatus0) {
    const SRun help = Tavikctl({QStringLiteral("--help")});
    EXPECT_EQ(help.nExitCode, 0);
    EXPECT_TRUE(help.strOut.startsWith(QLatin1String("Usage: tavikctl")))
        << help.strOut.toStdString();
    EXPECT_TRUE(help.strErr.isEmpty());
    const SRun commandHelp = Tavikctl({QStringLiteral("rename"), QStringLiteral("--help")});
    EXPECT_EQ(commandHelp.nExitCode, 0);
    EXPECT_TRUE(commandHelp.strOut.contains(QLatin1String("NEW-NAME")));
    const SRun version = Tavikctl({QStringLiteral("--version")});
    EXPECT_EQ(version.nExitCode, 0);
    EXPECT_EQ(version.strOut, QStringLiteral("tavikctl " TAVIK_VERSION "\n"));
}

TEST(TavikctlProgram, AUsageErrorIsOneLineOnStandardErrorWithStatus2) {
    for (const QStringList& listArguments :
         {QStringList{}, QStringList{QStringLiteral("frobnicate")},
          QStringList{QStringLiteral("claim")},
          QStringList{QStringLiteral("discover"), QStringLiteral("--cycles=0")}}) {
        const SRun run = Tavikctl(listArguments);
        EXPECT_EQ(run.nExitCode, 2) << listArguments.join(' ').toStdString();
        EXPECT_TRUE(run.strOut.isEmpty());
        EXPECT_TRUE(run.strErr.startsWith(QLatin1String("tavikctl: ")));
        EXPECT_EQ(run.strErr.count(QLatin1Char('\n')), 1) << run.strErr.toStdString();
    }
}

TEST(TavikctlProgram, TheAdapterListingIsOneJsonDocument) {
    const SRun run = Tavikctl({QStringLiteral("--json"), QStringLiteral("adapters")});
    ASSERT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.strOut.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.strOut.toStdString();
    EXPECT_TRUE(document.object().contains(QLatin1String("adapters")));
    EXPECT_TRUE(document.object().contains(QLatin1String("chosen")));
}

TEST(TavikctlProgram, LinksQtCoreAndNoDisplayLibrary) {
    const SRun ldd = RunProgram(QStringLiteral("ldd"), {QStringLiteral(TAVIKCTL)});
    ASSERT_EQ(ldd.nExitCode, 0);
    EXPECT_TRUE(ldd.strOut.contains(QLatin1String("libQt6Core")));
    for (const char* pszLibrary :
         {"libQt6Gui", "libQt6Widgets", "libQt6Network", "libX11", "libwayland", "libGL"}) {
        EXPECT_FALSE(ldd.strOut.contains(QLatin1String(pszLibrary))) << pszLibrary;
    }
}
