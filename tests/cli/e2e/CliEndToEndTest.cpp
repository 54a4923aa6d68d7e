// tavikctl end to end: the program as a user runs it, with the real adapter listing and choice,
// port 19798 and subnet broadcasts, against instruments simulated by separate processes, each
// case in a lab of network namespaces of its own (labs.txt, tests/e2e/run-case). Anywhere else
// the cases are skipped before anything is sent. The configuration is read back with the
// desktop program's own store.
#include "app/ConfigurationStore.h"
#include "link/Messages.h"
#include "tests/e2e/LabEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <arpa/inet.h>
#include <csignal>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

void PrintTo(const QString& str, std::ostream* pStream) {
    *pStream << '"' << str.toStdString() << '"';
}

namespace {

using namespace std::chrono_literals;

const QString CLAIMED = QStringLiteral("You have claimed the instrument.");
const QString RENAMED =
    QStringLiteral("You have renamed the instrument, and are the current owner.");
const QString REPAIRED = QStringLiteral("The connection has been repaired.");
const QString RELEASED = QStringLiteral("The instrument has been released.");

// Whether process nPid catches SIGINT yet (its handler is armed), as /proc tells.
bool CatchesInterrupt(qint64 nPid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(nPid));
    if (!status.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGINT - 1)) & 1U;
        }
    }
    return false;
}

struct SCtlRun {
    int nExitCode = -1;
    QString strOut;
    QString strErr;
    qint64 nElapsedMs = 0;
    QJsonObject json; // standard output as a JSON document, when it is one

    QString Field(const char* pszName) const { return json[QLatin1String(pszName)].toString(); }
};

QString Dotted(std::uint32_t dwAddress) {
    return QString::fromStdString(DottedAddress(dwAddress));
}

// The instruments of a discover document, by address.
std::map<QString, QJsonObject> ByAddress(const QJsonObject& document) {
    std::map<QString, QJsonObject> mapInstruments;
    for (const QJsonValue& value : document[QStringLiteral("instruments")].toArray()) {
        mapInstruments[value.toObject()[QStringLiteral("address")].toString()] = value.toObject();
    }
    return mapInstruments;
}

// Holds a UDP port on every address, as an open desktop program would.
class CHeldPort {
public:
    explicit CHeldPort(std::uint16_t nPort) : m_hSocket(::socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(nPort);
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        m_bHeld = m_hSocket >= 0 && ::bind(m_hSocket, reinterpret_cast<const sockaddr*>(&address),
                                           sizeof(address)) == 0;
    }
    ~CHeldPort() { Free(); }
    bool IsHeld() const { return m_bHeld; }
    void Free() {
        if (m_hSocket >= 0) {
            ::close(m_hSocket);
            m_hSocket = -1;
        }
    }

private:
    int m_hSocket;
    bool m_bHeld = false;
};

class EndToEndCli : public CLabCase {
protected:
    // Starts tavikctl; Finish waits for it.
    void Start(QProcess& process, const QStringList& listArguments) {
        process.start(QStringLiteral(TAVIKCTL), listArguments);
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    SCtlRun Finish(QProcess& process, const QElapsedTimer& elapsed) {
        SCtlRun run;
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "tavikctl did not end within 20 s";
            return run;
        }
        run.nElapsedMs = elapsed.elapsed();
        run.nExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.strOut = QString::fromUtf8(process.readAllStandardOutput());
        run.strErr = QString::fromUtf8(process.readAllStandardError());
        run.json = QJsonDocument::fromJson(run.strOut.toUtf8()).object();
        return run;
    }

    SCtlRun Ctl(const QStringList& listArguments) {
        QProcess process;
        QElapsedTimer elapsed;
        elapsed.start();
        Start(process, listArguments);
        return Finish(process, elapsed);
    }

    // The configuration as the desktop program would load it at its next start.
    SConfiguration Loaded() const {
        SConfiguration configuration;
        EXPECT_TRUE(CConfigurationStore::Load(configuration));
        return configuration;
    }

    // Every key holds the same three values.
    void ExpectStored(const QString& strName, const QString& strHostName, std::uint32_t dwAddress) {
        const SConfiguration configuration = Loaded();
        EXPECT_EQ(configuration.strInstrumentName, strName);
        EXPECT_EQ(configuration.strInstrumentHostName, strHostName);
        EXPECT_EQ(configuration.dwInstrumentIPAddress, dwAddress);
        for (const char* pszFile : {"Tavik.conf", "Norvask/Tavik.conf", "Quorith/Molvar.conf"}) {
            const SStoredConfiguration stored =
                m_lab.ReadConfiguration(QString::fromLatin1(pszFile));
            EXPECT_TRUE(stored.bPresent) << pszFile;
            EXPECT_EQ(stored.strInstrumentName, strName) << pszFile;
            EXPECT_EQ(stored.strInstrumentHostName, strHostName) << pszFile;
            EXPECT_EQ(stored.strInstrumentIPAddress, QString::number(dwAddress)) << pszFile;
        }
    }

    void Configure(const char* pszName, const char* pszHostName, std::uint32_t dwAddress) {
        m_lab.WriteConfiguration(QLatin1String(pszName), QLatin1String(pszHostName), dwAddress);
    }

    QString Me() const {
        return QStringLiteral("%1 [%2]").arg(m_lab.ClientHostName(), Dotted(LAB_CLIENT_ADDRESS));
    }
};

} // namespace

TEST_F(EndToEndCli, CliDiscover) {
    // Two Ethernet adapters and no --adapter: no choice is made, and both are named.
    SCtlRun run = Ctl({QStringLiteral("discover")});
    EXPECT_EQ(run.nExitCode, 2);
    EXPECT_TRUE(run.strErr.contains(QLatin1String("eth0 (10.77.1.1)")) &&
                run.strErr.contains(QLatin1String("eth1 (10.78.1.1)")) &&
                run.strErr.contains(QLatin1String("--adapter")))
        << run.strErr.toStdString();
    EXPECT_EQ(run.strErr.count(QLatin1Char('\n')), 1);
    run = Ctl({QStringLiteral("--json"), QStringLiteral("adapters")});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_TRUE(run.json[QStringLiteral("chosen")].isNull());

    // One cycle on the first segment: the three kinds of instrument, as the lists show them.
    run = Ctl({QStringLiteral("--adapter"), QStringLiteral("eth0"), QStringLiteral("discover"),
               QStringLiteral("--json")});
    ASSERT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    EXPECT_GE(run.nElapsedMs, 1000); // the collection ends 1015 ms after the cycle starts
    EXPECT_LT(run.nElapsedMs, 4000);
    std::map<QString, QJsonObject> mapFound = ByAddress(run.json);
    ASSERT_EQ(mapFound.size(), 3u) << run.strOut.toStdString();
    const QJsonObject unnamed = mapFound[QStringLiteral("10.77.1.11")];
    EXPECT_EQ(unnamed[QStringLiteral("name")], QJsonValue(QString()));
    EXPECT_EQ(unnamed[QStringLiteral("host")], QJsonValue(QStringLiteral("tavik-a101")));
    EXPECT_EQ(unnamed[QStringLiteral("in_use")], QJsonValue(false));
    EXPECT_EQ(unnamed[QStringLiteral("claimed")], QJsonValue(false));
    EXPECT_TRUE(unnamed[QStringLiteral("owner_host")].isNull());
    EXPECT_TRUE(unnamed[QStringLiteral("owner_address")].isNull());
    const QJsonObject claimed = mapFound[QStringLiteral("10.77.1.12")];
    EXPECT_EQ(claimed[QStringLiteral("name")], QJsonValue(QStringLiteral("Bench-2")));
    EXPECT_EQ(claimed[QStringLiteral("claimed")], QJsonValue(true));
    EXPECT_EQ(claimed[QStringLiteral("owner_host")], QJsonValue(QStringLiteral("lab-pc-7")));
    EXPECT_EQ(claimed[QStringLiteral("owner_address")], QJsonValue(QStringLiteral("10.77.1.77")));
    EXPECT_EQ(mapFound[QStringLiteral("10.77.1.13")][QStringLiteral("in_use")], QJsonValue(true));

    // --to reaches the instrument on the second segment, which no broadcast of eth0 reaches.
    run = Ctl({QStringLiteral("--adapter=10.77.1.1"), QStringLiteral("discover"),
               QStringLiteral("--to"), QStringLiteral("10.78.1.20"), QStringLiteral("--json")});
    ASSERT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    mapFound = ByAddress(run.json);
    ASSERT_EQ(mapFound.size(), 4u) << run.strOut.toStdString();
    EXPECT_EQ(mapFound[QStringLiteral("10.78.1.20")][QStringLiteral("name")],
              QJsonValue(QStringLiteral("Remote-5")));

    // The table: the list view's columns and status line.
    run = Ctl({QStringLiteral("--adapter"), QStringLiteral("eth0"), QStringLiteral("discover")});
    ASSERT_EQ(run.nExitCode, 0);
    EXPECT_TRUE(run.strOut.contains(QLatin1String("Unnamed")));
    EXPECT_TRUE(run.strOut.contains(QLatin1String("lab-pc-7 [10.77.1.77]")));
    EXPECT_TRUE(run.strOut.endsWith(QLatin1String("3 instruments found\n")))
        << run.strOut.toStdString();
}

TEST_F(EndToEndCli, CliClaim) {
    // An unnamed instrument needs a name; the refusal writes nothing.
    SCtlRun run = Ctl({QStringLiteral("claim"), QStringLiteral("tavik-a101")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, QStringLiteral("tavikctl: Please enter an instrument name.\n"));
    EXPECT_FALSE(m_lab.ReadConfiguration(QStringLiteral("Tavik.conf")).bPresent);
    // The name rule is checked before anything is sent.
    run = Ctl({QStringLiteral("claim"), QStringLiteral("tavik-a101"), QStringLiteral("--name"),
               QStringLiteral("UNNAMED")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_TRUE(run.strErr.contains(QLatin1String("\"UNNAMED\" is not a valid instrument name.")));
    EXPECT_LT(run.nElapsedMs, 1000);

    run = Ctl({QStringLiteral("claim"), QStringLiteral("TAVIK-A101"), QStringLiteral("--name"),
               QStringLiteral("Alpha")});
    ASSERT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    EXPECT_EQ(run.strOut, CLAIMED + QLatin1Char('\n'));
    ExpectStored(QStringLiteral("Alpha"), QStringLiteral("tavik-a101"), LabInstrumentAddress(1));
    run = Ctl({QStringLiteral("status"), QStringLiteral("--json")});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_EQ(run.Field("state"), QStringLiteral("ready"));
    EXPECT_EQ(run.Field("name"), QStringLiteral("Alpha"));
    EXPECT_EQ(run.Field("owner_host"), m_lab.ClientHostName());

    // A named instrument is claimed under its own name. By its address, the first reply decides:
    // no need to wait for the collection's end.
    run = Ctl({QStringLiteral("--json"), QStringLiteral("claim"), QStringLiteral("10.77.1.12")});
    ASSERT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    EXPECT_EQ(run.Field("result"), QStringLiteral("done"));
    EXPECT_EQ(run.Field("message"), CLAIMED);
    EXPECT_EQ(run.Field("name"), QStringLiteral("Bench-2"));
    EXPECT_LT(run.nElapsedMs, 1000);
    ExpectStored(QStringLiteral("Bench-2"), QStringLiteral("tavik-b202"), LabInstrumentAddress(2));

    // Refused by the instrument (another client holds it), and refused before sending (in use):
    // the configuration stays.
    run = Ctl({QStringLiteral("claim"), QStringLiteral("Spectro-3")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, QStringLiteral("tavikctl: The instrument is no longer available.\n"));
    run = Ctl({QStringLiteral("--json"), QStringLiteral("claim"), QStringLiteral("Busy-4")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.Field("result"), QStringLiteral("refused"));
    EXPECT_EQ(run.Field("message"),
              QStringLiteral("The selected instrument is in use, and cannot be claimed."));
    ExpectStored(QStringLiteral("Bench-2"), QStringLiteral("tavik-b202"), LabInstrumentAddress(2));

    // A name of two instruments, and a name of none.
    run = Ctl({QStringLiteral("claim"), QStringLiteral("Twin")});
    EXPECT_EQ(run.nExitCode, 2);
    EXPECT_TRUE(run.strErr.contains(QLatin1String("tavik-f606")) &&
                run.strErr.contains(QLatin1String("tavik-g707")))
        << run.strErr.toStdString();
    run = Ctl({QStringLiteral("claim"), QStringLiteral("Nowhere-9"), QStringLiteral("--name"),
               QStringLiteral("X")});
    EXPECT_EQ(run.nExitCode, 4);
    EXPECT_EQ(run.strErr.count(QLatin1Char('\n')), 1);
}

TEST_F(EndToEndCli, CliStatus) {
    SCtlRun run = Ctl({QStringLiteral("status"), QStringLiteral("--json")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.Field("state"), QStringLiteral("not_configured"));

    Configure("Lab-7", "tavik-a101", LabInstrumentAddress(1));
    run = Ctl({QStringLiteral("status")});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_TRUE(run.strOut.startsWith(QLatin1String("Ready\n"))) << run.strOut.toStdString();
    EXPECT_LT(run.nElapsedMs, 1000); // the reply decides, not the 515 ms timer

    Configure("Bench-2", "tavik-b202", LabInstrumentAddress(2));
    run = Ctl({QStringLiteral("status"), QStringLiteral("--json")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.Field("state"), QStringLiteral("claimed_by_other"));
    EXPECT_EQ(run.Field("message"), QStringLiteral("Claimed by lab-pc-7 [10.77.1.77]"));

    Configure("Free-3", "tavik-c303", LabInstrumentAddress(3));
    run = Ctl({QStringLiteral("status")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_TRUE(run.strOut.startsWith(QLatin1String("Not claimed\n")));

    // No answer: two requests 515 ms apart, then "Not ready".
    Configure("Mute-4", "tavik-d404", LabInstrumentAddress(4));
    run = Ctl({QStringLiteral("--json"), QStringLiteral("status")});
    EXPECT_EQ(run.nExitCode, 3);
    EXPECT_EQ(run.Field("state"), QStringLiteral("not_ready"));
    EXPECT_GE(run.nElapsedMs, 1000);
    EXPECT_LT(run.nElapsedMs, 4000);
    EXPECT_EQ(run.strErr,
              QStringLiteral("tavikctl: The instrument connection could not be verified.\n"));

    // Ctrl+C ends the wait at once and leaves the configuration as it was.
    QProcess process;
    QElapsedTimer elapsed;
    elapsed.start();
    Start(process, {QStringLiteral("status")});
    // Once it listens for Ctrl+C (a slow start, under a sanitizer, may take longer than a wait).
    while (!CatchesInterrupt(process.processId()) && elapsed.elapsed() < 10000) {
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(100ms);
    const qint64 nSignalled = elapsed.elapsed();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    run = Finish(process, elapsed);
    EXPECT_EQ(run.nExitCode, 130);
    EXPECT_LT(run.nElapsedMs - nSignalled, 500);
    EXPECT_EQ(run.strErr, QStringLiteral("tavikctl: interrupted\n"));
    const SConfiguration configuration = Loaded();
    EXPECT_EQ(configuration.strInstrumentName, QStringLiteral("Mute-4"));
    EXPECT_EQ(configuration.dwInstrumentIPAddress, LabInstrumentAddress(4));
}

TEST_F(EndToEndCli, CliRelease) {
    SCtlRun run = Ctl({QStringLiteral("release")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, QStringLiteral("tavikctl: Not configured\n"));

    // The checks of the claim selection window, on what the instrument says of itself: nothing
    // is released and the configuration stays.
    Configure("Bench-2", "tavik-b202", LabInstrumentAddress(2));
    run = Ctl({QStringLiteral("release")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, QStringLiteral("tavikctl: The selected instrument is owned by another "
                                         "client, and can only be released by its owner.\n"));
    Configure("Free-3", "tavik-c303", LabInstrumentAddress(3));
    run = Ctl({QStringLiteral("release")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr,
              QStringLiteral("tavikctl: The selected instrument has not been claimed yet.\n"));
    Configure("Busy-4", "tavik-d404", LabInstrumentAddress(4));
    run = Ctl({QStringLiteral("release")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(
        run.strErr,
        QStringLiteral("tavikctl: The selected instrument is in use, and cannot be released.\n"));
    EXPECT_EQ(Loaded().strInstrumentName, QStringLiteral("Busy-4"));

    // Owned here: released, and the configuration is forgotten under every key.
    Configure("Lab-7", "tavik-a101", LabInstrumentAddress(1));
    run = Ctl({QStringLiteral("--json"), QStringLiteral("release")});
    ASSERT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    EXPECT_EQ(run.Field("result"), QStringLiteral("done"));
    EXPECT_EQ(run.Field("message"), RELEASED);
    ExpectStored(QString(), QString(), 0);
    run = Ctl({QStringLiteral("--adapter"), QStringLiteral("eth0"), QStringLiteral("--json"),
               QStringLiteral("discover")});
    EXPECT_EQ(ByAddress(run.json)[QStringLiteral("10.77.1.11")][QStringLiteral("claimed")],
              QJsonValue(false));
    run = Ctl({QStringLiteral("status")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strOut, QStringLiteral("Not configured\n"));
}

TEST_F(EndToEndCli, CliReleaseStatuses) {
    // The verification gets no answer here ("Not ready"), so the release goes out as the main
    // window's button sends it, and the instrument's status decides; every status forgets the
    // configuration.
    Configure("Bench-2", "tavik-b202", LabInstrumentAddress(2));
    SCtlRun run = Ctl({QStringLiteral("release")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, QStringLiteral("tavikctl: The instrument is in use and the other "
                                         "client's claim may not be overridden.\n"));
    ExpectStored(QString(), QString(), 0);

    Configure("Spectro-3", "tavik-c303", LabInstrumentAddress(3));
    run = Ctl({QStringLiteral("--json"), QStringLiteral("release")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.Field("result"), QStringLiteral("refused"));
    EXPECT_EQ(run.Field("message"), QStringLiteral("The instrument is claimed by another client, "
                                                   "but that claim may be overridden."));
    ExpectStored(QString(), QString(), 0);

    Configure("Lab-7", "tavik-a101", LabInstrumentAddress(1));
    run = Ctl({QStringLiteral("release")});
    EXPECT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    EXPECT_EQ(run.strOut, RELEASED + QLatin1Char('\n'));
    ExpectStored(QString(), QString(), 0);
}

TEST_F(EndToEndCli, CliRename) {
    SCtlRun run = Ctl({QStringLiteral("rename"), QStringLiteral("Bench-2"), QString()});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, QStringLiteral("tavikctl: Please enter a new instrument name.\n"));
    run = Ctl({QStringLiteral("rename"), QStringLiteral("Bench-2"), QString(64, QLatin1Char('n'))});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(
        run.strErr,
        QStringLiteral("tavikctl: An instrument name must be less than 64 characters long.\n"));
    run = Ctl({QStringLiteral("rename"), QStringLiteral("Spectro-3"), QStringLiteral("X")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(
        run.strErr,
        QStringLiteral("tavikctl: The selected instrument is in use, and cannot be renamed.\n"));
    EXPECT_FALSE(m_lab.ReadConfiguration(QStringLiteral("Tavik.conf")).bPresent);

    run = Ctl({QStringLiteral("rename"), QStringLiteral("Bench-2"), QStringLiteral("Bench Two")});
    ASSERT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    EXPECT_EQ(run.strOut, RENAMED + QLatin1Char('\n'));
    ExpectStored(QStringLiteral("Bench Two"), QStringLiteral("tavik-b202"),
                 LabInstrumentAddress(1));
    run = Ctl({QStringLiteral("--json"), QStringLiteral("status")});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_EQ(run.Field("name"), QStringLiteral("Bench Two"));
    EXPECT_EQ(run.Field("owner_address"), Dotted(LAB_CLIENT_ADDRESS));
}

TEST_F(EndToEndCli, CliRepairAfterMove) {
    Configure("Lab-7", "tavik-a101", LabInstrumentAddress(1));
    ASSERT_TRUE(m_lab.Lab(QStringLiteral("move"), {QStringLiteral("1"), QStringLiteral("60")}));
    SCtlRun run = Ctl({QStringLiteral("status")});
    EXPECT_EQ(run.nExitCode, 3);
    EXPECT_TRUE(run.strOut.startsWith(QLatin1String("Not ready\n")));

    run = Ctl({QStringLiteral("repair")});
    ASSERT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
    EXPECT_EQ(run.strOut, REPAIRED + QLatin1Char('\n'));
    EXPECT_LT(run.nElapsedMs, 1000); // the first reply decides
    ExpectStored(QStringLiteral("Lab-7"), QStringLiteral("tavik-a101"), 0x0A4D013C); // 10.77.1.60
    run = Ctl({QStringLiteral("status")});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_TRUE(run.strOut.contains(QLatin1String("tavik-a101 [10.77.1.60]")));

    // Nothing answers to a name no instrument has: the attempts run out, nothing changes.
    Configure("Ghost-9", "tavik-z999", LabInstrumentAddress(9));
    run = Ctl({QStringLiteral("repair")});
    EXPECT_EQ(run.nExitCode, 3);
    EXPECT_EQ(run.strErr, QStringLiteral("tavikctl: The connection could not be repaired.  Is the "
                                         "instrument turned on and connected to the network?\n"));
    EXPECT_EQ(Loaded().strInstrumentName, QStringLiteral("Ghost-9"));
}

TEST_F(EndToEndCli, CliNoAnswer) {
    // The instruments answer discovery only: four claim requests 485 ms apart go unanswered.
    SCtlRun run = Ctl({QStringLiteral("claim"), QStringLiteral("Bench-2")});
    EXPECT_EQ(run.nExitCode, 3);
    EXPECT_EQ(run.strErr,
              QStringLiteral("tavikctl: The instrument failed to respond to the claim request.\n"));
    EXPECT_GE(run.nElapsedMs, 185 + 4 * 485);
    EXPECT_FALSE(m_lab.ReadConfiguration(QStringLiteral("Tavik.conf")).bPresent);

    run = Ctl({QStringLiteral("--json"), QStringLiteral("rename"), QStringLiteral("10.77.1.11"),
               QStringLiteral("Alpha")});
    EXPECT_EQ(run.nExitCode, 3);
    EXPECT_EQ(run.Field("result"), QStringLiteral("no_answer"));
    EXPECT_EQ(run.Field("message"),
              QStringLiteral("The instrument failed to respond to the rename request."));
    EXPECT_GE(run.nElapsedMs, 185 + 4 * 535);

    // An unanswered release forgets the configuration all the same, as the window's does.
    Configure("Bench-2", "tavik-b202", LabInstrumentAddress(2));
    run = Ctl({QStringLiteral("release")});
    EXPECT_EQ(run.nExitCode, 3);
    ExpectStored(QString(), QString(), 0);
}

TEST_F(EndToEndCli, CliPortHeld) {
    Configure("Lab-7", "tavik-a101", LabInstrumentAddress(1));
    CHeldPort held(19798);
    ASSERT_TRUE(held.IsHeld());
    SCtlRun run = Ctl({QStringLiteral("status")});
    EXPECT_EQ(run.nExitCode, 5);
    EXPECT_EQ(run.strErr,
              QStringLiteral("tavikctl: port 19798 is in use (is tavik-connection open?)\n"));
    EXPECT_TRUE(run.strOut.isEmpty());
    held.Free();
    run = Ctl({QStringLiteral("status")});
    EXPECT_EQ(run.nExitCode, 0) << run.strErr.toStdString();
}

TEST_F(EndToEndCli, CliDoctor) {
    Configure("Lab-7", "tavik-a101", LabInstrumentAddress(1));
    SCtlRun run = Ctl({QStringLiteral("doctor")});
    EXPECT_EQ(run.nExitCode, 0) << run.strOut.toStdString();
    EXPECT_TRUE(run.strOut.contains(QLatin1String("2 instruments answered the broadcasts")));
    EXPECT_GE(run.nElapsedMs, 1000); // one discovery cycle
    EXPECT_LT(run.nElapsedMs, 4000);

    // This client namespace lets in only what answers its own requests, as desktop firewalls do.
    // Bench-2, not asked directly before, still answers its own address.
    QProcess nft;
    nft.start(QStringLiteral("nft"), {QStringLiteral("-f"), QStringLiteral("-")});
    nft.write("table inet tavik_lab { chain input { type filter hook input priority filter; "
              "policy drop; iif lo accept; ct state established,related accept; }\n}\n");
    nft.closeWriteChannel();
    ASSERT_TRUE(nft.waitForFinished(10000) && nft.exitCode() == 0);
    Configure("Bench-2", "tavik-b202", LabInstrumentAddress(2));
    run = Ctl({QStringLiteral("doctor")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_TRUE(run.strOut.contains(
        QRegularExpression(QStringLiteral("^problem +firewall .*UDP to port 19798 .* is dropped"),
                           QRegularExpression::MultilineOption)))
        << run.strOut.toStdString();
    EXPECT_TRUE(run.strOut.contains(QLatin1String(
        "Bench-2 (10.77.1.12) answers at its address but not the broadcast: a firewall")));
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
