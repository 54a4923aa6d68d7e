// The built tavik-connection program on its command line: what it answers and how it ends.
// Each run is in a network namespace of its own holding only a downed lo, so that a program that
// wrongly went on to open its window could reach no network.
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

#ifdef TAVIK_CONNECTION

namespace {

constexpr int RUN_BOUND_MS = 30000; // ends by itself long before this, also on a loaded machine

struct SRun {
    bool bEnded = false;
    int nExitStatus = -1;
    QString strOutput;
    QString strError;
};

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        m_listIsolation = {QStringLiteral("--net")};
        if (::geteuid() != 0) {
            m_listIsolation.prepend(QStringLiteral("--map-root-user"));
        }
        if (Run({QStringLiteral("true")}, false).nExitStatus != 0) {
            GTEST_SKIP() << "no network namespace can be made here (unshare)";
        }
    }

    // The program with these arguments; bDisplay gives it a platform through the environment.
    SRun Program(const QStringList& listArguments, bool bDisplay = true) {
        return Run(QStringList{QStringLiteral(TAVIK_CONNECTION)} + listArguments, bDisplay);
    }

private:
    SRun Run(const QStringList& listCommand, bool bDisplay) {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path());
        if (bDisplay) {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        }
        for (const char* pszSanitizer : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
            if (qEnvironmentVariableIsSet(pszSanitizer)) {
                environment.insert(pszSanitizer, qEnvironmentVariable(pszSanitizer));
            }
        }
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral("unshare"), m_listIsolation + listCommand);
        SRun run;
        run.bEnded = process.waitForFinished(RUN_BOUND_MS);
        if (!run.bEnded) {
            process.kill();
            process.waitForFinished();
        }
        run.nExitStatus = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.strOutput = QString::fromLocal8Bit(process.readAllStandardOutput());
        run.strError = QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }

    QTemporaryDir m_home;
    QStringList m_listIsolation;
};

TEST_F(CommandLine, HelpAndVersionAnswerOnStandardOutput) {
    const SRun help = Program({QStringLiteral("--help")});
    ASSERT_TRUE(help.bEnded);
    EXPECT_EQ(help.nExitStatus, 0);
    EXPECT_TRUE(help.strOutput.contains(QStringLiteral("Usage: "))) << help.strOutput.toStdString();
    for (const char* pszOption : {"--help", "--help-all", "--version"}) {
        EXPECT_TRUE(help.strOutput.contains(QLatin1String(pszOption))) << pszOption;
    }
    EXPECT_TRUE(help.strError.isEmpty()) << help.strError.toStdString();

    for (const char* pszOption : {"--version", "-v"}) {
        const SRun version = Program({QLatin1String(pszOption)});
        ASSERT_TRUE(version.bEnded);
        EXPECT_EQ(version.nExitStatus, 0);
        EXPECT_EQ(version.strOutput, QStringLiteral("tavik-connection " TAVIK_VERSION "\n"));
    }
}

TEST_F(CommandLine, QtOwnOptionsAreTakenByQt) {
    // No platform in the environment: -platform alone chooses it.
    const SRun run =
        Program({QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("-style"),
                 QStringLiteral("Fusion"), QStringLiteral("--version")},
                false);
    ASSERT_TRUE(run.bEnded);
    EXPECT_EQ(run.nExitStatus, 0) << run.strError.toStdString();
    EXPECT_EQ(run.strOutput, QStringLiteral("tavik-connection " TAVIK_VERSION "\n"));

    const SRun all = Program({QStringLiteral("--help-all")});
    EXPECT_EQ(all.nExitStatus, 0);
    EXPECT_TRUE(all.strOutput.contains(QStringLiteral("-platform"))) << all.strOutput.toStdString();
}

TEST_F(CommandLine, AnyOtherArgumentIsAUsageErrorAndNoWindowOpens) {
    for (const QStringList& listArguments :
         {QStringList{QStringLiteral("--bogus")}, QStringList{QStringLiteral("-x")},
          QStringList{QStringLiteral("Bench-2")},
          QStringList{QStringLiteral("--version=3"), QStringLiteral("--help")}}) {
        const SRun run = Program(listArguments);
        const std::string strArguments = listArguments.join(' ').toStdString();
        ASSERT_TRUE(run.bEnded) << strArguments << ": the window opened";
        EXPECT_EQ(run.nExitStatus, 2) << strArguments;
        EXPECT_TRUE(run.strOutput.isEmpty()) << strArguments;
        EXPECT_TRUE(run.strError.startsWith(QStringLiteral("tavik-connection: ")))
            << run.strError.toStdString();
        EXPECT_TRUE(run.strError.contains(QStringLiteral("--help"))) << strArguments;
    }
}

TEST_F(CommandLine, WithoutADisplayTheArgumentsStillAnswerAndTheWindowRefuses) {
    const SRun help = Program({QStringLiteral("--help")}, false);
    ASSERT_TRUE(help.bEnded);
    EXPECT_EQ(help.nExitStatus, 0);
    EXPECT_TRUE(help.strOutput.contains(QStringLiteral("Usage: ")));

    const SRun bad = Program({QStringLiteral("--bogus")}, false);
    EXPECT_EQ(bad.nExitStatus, 2);

    const SRun window = Program({}, false);
    ASSERT_TRUE(window.bEnded);
    EXPECT_EQ(window.nExitStatus, 1);
    EXPECT_TRUE(window.strError.contains(QStringLiteral("no display")))
        << window.strError.toStdString();
}

} // namespace

#endif
