#include "cli/commands/DiscoverCommand.h"

#include "cli/CliOutput.h"
#include "cli/CommandLineOptions.h"
#include "cli/ExitStatus.h"
#include "cli/TavikctlSession.h"

#include <QCommandLineParser>

namespace {

const QString CYCLES_OPTION = QStringLiteral("cycles");
const QString WATCH_OPTION = QStringLiteral("watch");

} // namespace

CDiscoverCommand::CDiscoverCommand()
    : m_discovery([](const CInstrumentList&) {},
                  [this](const CInstrumentList& list) { OnCollectionEnd(list); }) {}

const char* CDiscoverCommand::Summary() const {
    return "the instruments that answer a discovery cycle";
}

QList<QCommandLineOption> CDiscoverCommand::Options() const {
    return {QCommandLineOption({CYCLES_OPTION},
                               QStringLiteral("Run N discovery cycles (5015 ms apart) and list "
                                              "every instrument that answered (default 1)."),
                               QStringLiteral("N")),
            DirectAddressOption(QStringLiteral("Also ask this address directly, for an "
                                               "instrument that no broadcast reaches "
                                               "(repeatable).")),
            QCommandLineOption({WATCH_OPTION},
                               QStringLiteral("Discover every 5015 ms until interrupted, printing "
                                              "the list after each collection."))};
}

const char* CDiscoverCommand::OptionsSyntax() const {
    return "[--cycles N] [--to ADDRESS]... [--watch]";
}

QString CDiscoverCommand::ReadArguments(const QCommandLineParser& parser,
                                        const QStringList& /*listArguments*/) {
    m_options.bWatch = parser.isSet(WATCH_OPTION);
    if (parser.isSet(CYCLES_OPTION)) {
        if (m_options.bWatch) {
            return QStringLiteral("--cycles and --watch exclude each other");
        }
        bool bNumber = false;
        const QString strCycles = parser.value(CYCLES_OPTION);
        const uint nCycles = strCycles.toUInt(&bNumber);
        if (!bNumber || nCycles < 1 || nCycles > MAX_CYCLES ||
            strCycles.startsWith(QLatin1Char('+'))) {
            return QStringLiteral("--cycles takes a number from 1 to %1, not '%2'")
                .arg(MAX_CYCLES)
                .arg(strCycles);
        }
        m_options.nCycles = nCycles;
    }
    return ReadDirectAddresses(parser, &m_options.listDirectAddresses);
}

void CDiscoverCommand::Start() {
    m_discovery.Start(Session(), m_options.listDirectAddresses);
}

void CDiscoverCommand::OnTimer(unsigned nTimerId) {
    m_discovery.OnTimer(nTimerId);
}

void CDiscoverCommand::OnInterrupted() {
    if (m_options.bWatch) {
        Session().Finish(EXIT_DONE);
        return;
    }
    CCliCommand::OnInterrupted();
}

void CDiscoverCommand::OnCollectionEnd(const CInstrumentList& listDisplayed) {
    ++m_nCollections;
    if (m_options.bWatch) {
        PrintList(listDisplayed, true);
        return;
    }
    for (const CMolvarInstrument& instrument : listDisplayed) {
        m_listFound.MergeDiscovered(instrument);
    }
    if (m_nCollections >= m_options.nCycles) {
        m_discovery.Stop();
        PrintList(m_listFound, false);
        Session().Finish(EXIT_DONE);
    }
}

void CDiscoverCommand::PrintList(const CInstrumentList& list, bool bOneLine) {
    Session().Output().Json(CCliOutput::ListObject(list), bOneLine);
    Session().Output().Text(CCliOutput::ListTable(list) +
                            (bOneLine ? QStringLiteral("\n") : QString()));
}
