#include "cli/doctor/FirewallCheck.h"

#include "app/AdapterAddress.h"
#include "cli/AdapterChoice.h"
#include "link/Messages.h"

#include <QFile>
#include <QJsonParseError>
#include <QProcess>
#include <QStringList>
#include <unistd.h>

namespace {

constexpr int NFT_TIMEOUT_MS = 10000;

bool UfwEnabled() {
    QFile file(QStringLiteral("/etc/ufw/ufw.conf"));
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (const QByteArray& abLine : file.readAll().split('\n')) {
        if (abLine.trimmed().toLower() == "enabled=yes") {
            return true;
        }
    }
    return false;
}

bool FirewalldActive() {
    QProcess process;
    process.start(QStringLiteral("systemctl"),
                  {QStringLiteral("is-active"), QStringLiteral("--quiet"),
                   QStringLiteral("firewalld.service")});
    return process.waitForFinished(NFT_TIMEOUT_MS) &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

const QString CFirewallCheck::FIREWALLD_COMMAND = QStringLiteral(
    "firewall-cmd --permanent --add-service=tavik-connection && firewall-cmd --reload");
const QString CFirewallCheck::UFW_COMMAND = QStringLiteral("ufw allow tavik-connection");

SInboundDatagram CFirewallCheck::ReplyThrough(const SNetworkAdapter& adapter) {
    SInboundDatagram datagram;
    datagram.nPort = INSTRUMENT_PORT;
    datagram.strInterface = CAdapterChoice::InterfaceName(adapter);
    datagram.dwDestination = DottedQuadValue(adapter.strIpAddress);
    datagram.dwSubnetMask = DottedQuadValue(adapter.strIpMask);
    datagram.dwSubnet = datagram.dwDestination & datagram.dwSubnetMask;
    return datagram;
}

SFirewallState CFirewallCheck::Read() {
    SFirewallState state;
    state.bFirewalldActive = FirewalldActive();
    state.bUfwActive = UfwEnabled();
    if (geteuid() != 0) {
        state.strWhyUnread = QStringLiteral("the firewall's rules can be read by root only");
        return state;
    }
    QProcess process;
    process.start(QStringLiteral("nft"),
                  {QStringLiteral("-j"), QStringLiteral("list"), QStringLiteral("ruleset")});
    if (!process.waitForStarted(NFT_TIMEOUT_MS)) {
        state.strWhyUnread = QStringLiteral("nft is not installed (Debian package nftables)");
        return state;
    }
    if (!process.waitForFinished(NFT_TIMEOUT_MS) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        const QString strError = QString::fromLocal8Bit(process.readAllStandardError())
                                     .trimmed()
                                     .section(QLatin1Char('\n'), 0, 0);
        state.strWhyUnread = QStringLiteral("nft -j list ruleset failed: %1")
                                 .arg(strError.isEmpty() ? QStringLiteral("no answer") : strError);
        return state;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(process.readAllStandardOutput(), &error);
    if (error.error != QJsonParseError::NoError) {
        state.strWhyUnread =
            QStringLiteral("nft's answer could not be read: %1").arg(error.errorString());
        return state;
    }
    state.ruleset = document;
    return state;
}

SDoctorCheck CFirewallCheck::Check(const SFirewallState& state, const SInboundDatagram& datagram) {
    const QString strName = QStringLiteral("firewall");
    std::optional<CNftRuleset> ruleset;
    if (state.ruleset) {
        ruleset.emplace(*state.ruleset);
    }
    const bool bFirewalld =
        state.bFirewalldActive ||
        (ruleset && ruleset->HasTable(QStringLiteral("inet"), QStringLiteral("firewalld")));
    const bool bUfw =
        state.bUfwActive || (ruleset && ruleset->HasChain(QStringLiteral("ufw-user-input")));
    QStringList listManagers;
    QStringList listCommands;
    if (bFirewalld) {
        listManagers << QStringLiteral("firewalld is active");
        listCommands << QStringLiteral("firewalld: ") + FIREWALLD_COMMAND;
    }
    if (bUfw) {
        listManagers << QStringLiteral("ufw is enabled");
        listCommands << QStringLiteral("ufw: ") + UFW_COMMAND;
    }
    const QString strManagers =
        listManagers.isEmpty()
            ? QString()
            : QStringLiteral(" (%1)").arg(listManagers.join(QStringLiteral(", ")));

    if (!ruleset || !ruleset->IsValid()) {
        const QString strWhy =
            ruleset ? QStringLiteral("nft's answer is no ruleset") : state.strWhyUnread;
        QString strHint = QStringLiteral("run it as root to read the rules: sudo tavikctl doctor");
        if (!listCommands.isEmpty()) {
            strHint += QStringLiteral("; to open port %1 as root: %2")
                           .arg(INSTRUMENT_PORT)
                           .arg(listCommands.join(QStringLiteral("; ")));
        }
        return {strName, EDoctorResult::Unknown, strWhy + strManagers, strHint};
    }

    const QString strDatagram =
        QStringLiteral("inbound UDP to port %1 that answers no request (an instrument's reply to "
                       "a broadcast)")
            .arg(INSTRUMENT_PORT);
    const SRulesetVerdict verdict = ruleset->Judge(datagram);
    if (verdict.nVerdict == SRulesetVerdict::Accepted) {
        return {
            strName, EDoctorResult::Ok,
            QStringLiteral("%1 is let in (%2)%3").arg(strDatagram, verdict.strWhere, strManagers),
            QString()};
    }
    if (listCommands.isEmpty()) {
        if (verdict.strDropChain == QLatin1String("ip filter INPUT")) {
            listCommands << QStringLiteral("iptables -I INPUT -p udp --dport %1 -j ACCEPT")
                                .arg(INSTRUMENT_PORT);
        } else {
            listCommands << QStringLiteral("nft insert rule %1 udp dport %2 accept")
                                .arg(verdict.strDropChain)
                                .arg(INSTRUMENT_PORT);
        }
        listCommands.last() += QStringLiteral(", and keep it in the firewall's saved rules");
    }
    const QString strHint = QStringLiteral("let UDP port %1 in, as root: %2")
                                .arg(INSTRUMENT_PORT)
                                .arg(listCommands.join(QStringLiteral("; ")));
    if (verdict.nVerdict == SRulesetVerdict::Dropped) {
        return {strName, EDoctorResult::Problem,
                QStringLiteral("%1 is dropped (%2)%3: discovery finds nothing")
                    .arg(strDatagram, verdict.strWhere, strManagers),
                strHint};
    }
    const QString strIf = verdict.listAcceptIf.isEmpty()
                              ? QStringLiteral("may be dropped")
                              : QStringLiteral("is let in only if %1; otherwise dropped")
                                    .arg(verdict.listAcceptIf.join(QStringLiteral(", or if ")));
    return {strName, EDoctorResult::Warning,
            QStringLiteral("%1 %2 (%3)%4").arg(strDatagram, strIf, verdict.strWhere, strManagers),
            strHint};
}
