// tavikctl doctor's checks over data handed to them: rulesets as nft -j prints them, adapter
// listings, /proc tables, buffer sizes and discovery results; and how the report shows them.
#include "cli/doctor/AdaptersCheck.h"
#include "cli/doctor/DiscoveryCheck.h"
#include "cli/doctor/DoctorReport.h"
#include "cli/doctor/FirewallCheck.h"
#include "cli/doctor/PortCheck.h"
#include "cli/doctor/ReceiveBufferCheck.h"

#include <QFile>
#include <QJsonArray>
#include <gtest/gtest.h>

namespace {

QJsonDocument Ruleset(const char* pszName) {
    QFile file(QStringLiteral(TAVIK_RULESETS "/%1.json").arg(QLatin1String(pszName)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << pszName;
    return QJsonDocument::fromJson(file.readAll());
}

SInboundDatagram Reply(const char* pszInterface, const char* pszAddress, const char* pszMask) {
    return CFirewallCheck::ReplyThrough({ADAPTER_TYPE_ETHERNET, pszInterface, pszAddress, pszMask});
}

CMolvarInstrument Instrument(const char* pszName, std::uint32_t dwAddress) {
    CMolvarInstrument instrument;
    instrument.SetName(pszName);
    instrument.m_dwIPAddress = dwAddress;
    return instrument;
}

} // namespace

TEST(DoctorFirewall, AnUnrelatedReplyIsJudgedThroughTheInputChains) {
    const SInboundDatagram unknown{19798, QString(), 0, 0, 0};
    const SInboundDatagram eth0 = Reply("eth0", "10.77.1.1", "255.255.255.0");
    const SInboundDatagram eth1 = Reply("eth1", "10.77.1.1", "255.255.255.0");
    const struct {
        const char* pszRuleset;
        SInboundDatagram datagram;
        SRulesetVerdict::EVerdict nVerdict;
        const char* pszWhere;
    } aCases[] = {
        {"drop-established", unknown, SRulesetVerdict::Dropped, "inet filter input: policy drop"},
        {"drop-established-open", unknown, SRulesetVerdict::Accepted, "udp dport 19798 accept"},
        {"accept-all", unknown, SRulesetVerdict::Accepted, "input: policy accept"},
        {"limited", unknown, SRulesetVerdict::Depends, "udp dport 19798 reject"},
        {"limited", eth0, SRulesetVerdict::Accepted,
         "iifname eth0 udp dport @instrument_ports accept"},
        {"limited", eth1, SRulesetVerdict::Dropped, "ip lab input: udp dport 19798 reject"},
        {"limited", Reply("eth1", "10.20.5.1", "255.255.255.0"), SRulesetVerdict::Accepted,
         "ip saddr 10.20.0.0/16"},
        {"firewalld", eth0, SRulesetVerdict::Dropped, "filter_INPUT: reject"},
        {"firewalld", eth1, SRulesetVerdict::Accepted, "filter_IN_trusted"},
        {"firewalld-open", eth0, SRulesetVerdict::Accepted,
         "filter_IN_public_allow: udp dport 19798 accept"},
        {"ufw", eth0, SRulesetVerdict::Dropped, "ip filter INPUT: policy drop"},
        {"ufw-open", eth0, SRulesetVerdict::Accepted,
         "ufw-user-input: udp dport 19798 xt match comment accept"},
    };
    for (const auto& test : aCases) {
        const CNftRuleset ruleset(Ruleset(test.pszRuleset));
        ASSERT_TRUE(ruleset.IsValid()) << test.pszRuleset;
        const SRulesetVerdict verdict = ruleset.Judge(test.datagram);
        EXPECT_EQ(verdict.nVerdict, test.nVerdict)
            << test.pszRuleset << ": " << verdict.strWhere.toStdString();
        EXPECT_TRUE(verdict.strWhere.contains(QLatin1String(test.pszWhere)))
            << test.pszRuleset << ": " << verdict.strWhere.toStdString();
    }
    // Not knowing the interface or the sender, the ways in are named.
    const SRulesetVerdict depends = CNftRuleset(Ruleset("limited")).Judge(unknown);
    EXPECT_EQ(depends.listAcceptIf,
              QStringList({QStringLiteral("iifname eth0"),
                           QStringLiteral("not iifname eth0 and ip saddr 10.20.0.0/16")}));
}

TEST(DoctorFirewall, TheCheckNamesTheFirewallAndTheCommandThatOpensThePort) {
    const SInboundDatagram datagram = Reply("eth0", "10.77.1.1", "255.255.255.0");
    const SDoctorCheck firewalld =
        CFirewallCheck::Check({Ruleset("firewalld"), {}, false, false}, datagram);
    EXPECT_EQ(firewalld.nResult, EDoctorResult::Problem);
    EXPECT_TRUE(firewalld.strDetail.contains(QLatin1String("firewalld is active")));
    EXPECT_TRUE(firewalld.strHint.contains(CFirewallCheck::FIREWALLD_COMMAND));
    const SDoctorCheck ufw = CFirewallCheck::Check({Ruleset("ufw"), {}, false, false}, datagram);
    EXPECT_TRUE(ufw.strHint.contains(CFirewallCheck::UFW_COMMAND));
    EXPECT_FALSE(ufw.strHint.contains(QLatin1String("firewall-cmd")));
    const SDoctorCheck plain =
        CFirewallCheck::Check({Ruleset("drop-established"), {}, false, false}, datagram);
    EXPECT_TRUE(plain.strHint.contains(
        QLatin1String("nft insert rule inet filter input udp dport 19798 accept")));
    EXPECT_EQ(CFirewallCheck::Check({Ruleset("ufw-open"), {}, false, false}, datagram).nResult,
              EDoctorResult::Ok);
    EXPECT_EQ(
        CFirewallCheck::Check({Ruleset("limited"), {}, false, false}, {19798, QString(), 0, 0, 0})
            .nResult,
        EDoctorResult::Warning);

    // Unread, as an ordinary user: why, and what to run; a manager seen otherwise is named.
    const SDoctorCheck unread = CFirewallCheck::Check(
        {std::nullopt, QStringLiteral("the firewall's rules can be read by root only"), false,
         true},
        datagram);
    EXPECT_EQ(unread.nResult, EDoctorResult::Unknown);
    EXPECT_TRUE(unread.strDetail.contains(QLatin1String("root only")));
    EXPECT_TRUE(unread.strDetail.contains(QLatin1String("ufw is enabled")));
    EXPECT_TRUE(unread.strHint.contains(CFirewallCheck::UFW_COMMAND));
}

TEST(DoctorAdapters, EachProgramsChoiceAndWhatKeepsItFromTheInstruments) {
    const SNetworkAdapter eth0{ADAPTER_TYPE_ETHERNET, "eth0 (e1000e)", "10.77.1.1",
                               "255.255.255.0"};
    const SNetworkAdapter eth1{ADAPTER_TYPE_ETHERNET, "eth1 (igb)", "10.78.1.1", "255.255.0.0"};
    const SNetworkAdapter tun0{ADAPTER_TYPE_OTHER, "tun0", "10.8.0.2", "255.255.255.255"};
    const SNetworkAdapter wlan0{ADAPTER_TYPE_ETHERNET, "wlan0 (iwlwifi), wireless", "0.0.0.0",
                                "0.0.0.0"};
    const std::map<QString, SLinkState> mapUp = {{QStringLiteral("eth0"), {true, true}},
                                                 {QStringLiteral("wlan0"), {true, false}}};
    const struct {
        std::vector<SNetworkAdapter> listAdapters;
        std::map<QString, SLinkState> mapStates;
        EDoctorResult nResult;
        std::vector<const char*> listSeen;
    } aCases[] = {
        {{wlan0, eth0},
         mapUp,
         EDoctorResult::Ok,
         {"eth0 (e1000e): Ethernet, 10.77.1.1/24, carrier",
          "wlan0 (iwlwifi), wireless: Ethernet, no address, no carrier", "tavikctl uses eth0",
          "tavik-connection uses eth0"}},
        {{eth0, eth1},
         mapUp,
         EDoctorResult::Warning,
         {"tavikctl needs --adapter: eth0, eth1 qualify",
          "asks \"Select Adapter\" for eth0 in turn, and uses eth1"}},
        {{eth0, tun0},
         mapUp,
         EDoctorResult::Warning,
         {"tun0: other, 10.8.0.2/32", "tavikctl uses eth0"}},
        {{tun0},
         mapUp,
         EDoctorResult::Warning,
         {"tun0 has a point-to-point mask (/32)", "tun0 is not an Ethernet adapter"}},
        {{eth0},
         {{QStringLiteral("eth0"), {true, false}}},
         EDoctorResult::Problem,
         {"eth0 has no carrier"}},
        {{eth0},
         {{QStringLiteral("eth0"), {false, std::nullopt}}},
         EDoctorResult::Problem,
         {"eth0 is down"}},
        {{}, mapUp, EDoctorResult::Problem, {"no network adapter but loopback"}},
    };
    for (const auto& test : aCases) {
        const SDoctorCheck check =
            CAdaptersCheck::Check(test.listAdapters, test.mapStates, QString());
        EXPECT_EQ(check.nResult, test.nResult) << check.strDetail.toStdString();
        for (const char* pszSeen : test.listSeen) {
            EXPECT_TRUE(check.strDetail.contains(QLatin1String(pszSeen)))
                << check.strDetail.toStdString();
        }
    }
    // The wireless adapter, last, is what the desktop program falls back to: "Select Adapter"
    // offers only qualifying adapters that others follow.
    EXPECT_EQ(CAdaptersCheck::DesktopChoice({eth0, eth1, wlan0}).listOffered,
              (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(
        CAdaptersCheck::Check(std::vector<SNetworkAdapter>{eth0}, mapUp, QStringLiteral("eth9"))
            .nResult,
        EDoctorResult::Problem);
    EXPECT_EQ(CAdaptersCheck::Check(std::nullopt, mapUp, QString()).nResult,
              EDoctorResult::Unknown);
}

TEST(DoctorPort, TheHolderOfThePortIsNamedWhereProcShowsIt) {
    const QByteArray abUdp = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when "
                             "retrnsmt   uid  timeout inode ref pointer drops\n"
                             "  7: 0100007F:0035 00000000:0000 07 00000000:00000000 00:00000000 "
                             "00000000   102        0 1111 2 0 0\n"
                             " 12: 0B014D0A:4D56 00000000:0000 07 00000000:00000000 00:00000000 "
                             "00000000  1000        0 2222 2 0 0\n";
    const std::vector<SUDPSocketEntry> listSockets = CPortCheck::SocketsOnPort(abUdp, 19798);
    ASSERT_EQ(listSockets.size(), 1u);
    EXPECT_EQ(listSockets[0].strLocal, QStringLiteral("10.77.1.11:19798"));
    EXPECT_EQ(listSockets[0].nInode, 2222u);

    EXPECT_EQ(CPortCheck::Check({}, {}, false).nResult, EDoctorResult::Ok);
    const SDoctorCheck desktop =
        CPortCheck::Check(listSockets, {{2222, 4242, QStringLiteral("tavik-connection")}}, false);
    EXPECT_EQ(desktop.nResult, EDoctorResult::Warning);
    EXPECT_TRUE(desktop.strDetail.contains(
        QLatin1String("tavik-connection (PID 4242) holds 10.77.1.11:19798")));
    const SDoctorCheck unseen = CPortCheck::Check(listSockets, {}, false);
    EXPECT_EQ(unseen.nResult, EDoctorResult::Problem);
    EXPECT_TRUE(unseen.strDetail.contains(QLatin1String("root only")));
    EXPECT_FALSE(
        CPortCheck::Check(listSockets, {}, true).strDetail.contains(QLatin1String("root only")));
}

TEST(DoctorReceiveBuffer, TheGrantIsSetAgainstTheLinksWishInReplies) {
    const SDoctorCheck small = CReceiveBufferCheck::Check({425984, 212992});
    EXPECT_EQ(small.nResult, EDoctorResult::Warning);
    EXPECT_TRUE(small.strDetail.contains(QLatin1String("208 KiB of the 4096 KiB")))
        << small.strDetail.toStdString();
    EXPECT_TRUE(small.strDetail.contains(QLatin1String("about 184 to 332 instruments' replies")));
    EXPECT_TRUE(small.strHint.contains(QLatin1String("sudo sysctl -w net.core.rmem_max=4194304")));
    EXPECT_EQ(CReceiveBufferCheck::Check({8388608, 4194304}).nResult, EDoctorResult::Ok);
    EXPECT_EQ(CReceiveBufferCheck::Check({0, std::nullopt}).nResult, EDoctorResult::Unknown);
    EXPECT_GT(CReceiveBufferCheck::Measure().nGrantedBytes, 0); // an unbound socket sends nothing
}

TEST(DoctorDiscovery, ADirectAnswerWithoutABroadcastOnePointsAtTheFirewallOrTheSubnet) {
    SDiscoveryFindings findings{
        QStringLiteral("eth0"), 0x0A4D0101, 0xFFFFFF00, {Instrument("Bench-2", 0x0A4D010C)}, {}};
    EXPECT_EQ(CDiscoveryCheck::Check(findings).nResult, EDoctorResult::Ok);

    findings.listDirect = {{QStringLiteral("the configured instrument Lab-7"), 0x0A4D010B,
                            Instrument("Lab-7", 0x0A4D010B)}};
    const SDoctorCheck firewall = CDiscoveryCheck::Check(findings);
    EXPECT_EQ(firewall.nResult, EDoctorResult::Problem);
    EXPECT_TRUE(firewall.strDetail.contains(QLatin1String(
        "Lab-7 (10.77.1.11) answers at its address but not the broadcast: a firewall")));

    findings.listDirect = {
        {QStringLiteral("10.20.0.5"), 0x0A140005, Instrument("Far", 0x0A140005)}};
    findings.listBroadcast.push_back(Instrument("Routed", 0x0A150007));
    const SDoctorCheck subnet = CDiscoveryCheck::Check(findings);
    EXPECT_EQ(subnet.nResult, EDoctorResult::Warning);
    EXPECT_TRUE(subnet.strDetail.contains(
        QLatin1String("outside eth0's subnet 10.77.1.0/24: Routed (10.21.0.7), Far (10.20.0.5)")));
    EXPECT_TRUE(subnet.strHint.contains(QLatin1String("discover --to 10.20.0.5")));

    findings.listDirect = {
        {QStringLiteral("the configured instrument Lab-7"), 0x0A4D010B, std::nullopt}};
    EXPECT_EQ(CDiscoveryCheck::Check(findings).nResult, EDoctorResult::Problem);
    EXPECT_EQ(
        CDiscoveryCheck::Check({QStringLiteral("eth0"), 0x0A4D0101, 0xFFFFFF00, {}, {}}).nResult,
        EDoctorResult::Warning);
}

TEST(DoctorReport, OneLinePerCheckWhatToDoAndTheDocument) {
    const std::vector<SDoctorCheck> listChecks = {
        {QStringLiteral("port"), EDoctorResult::Ok, QStringLiteral("UDP port 19798 is free"),
         QString()},
        {QStringLiteral("discovery"), EDoctorResult::Problem,
         QStringLiteral("Evil\x1b[2J\ndid not answer"), QStringLiteral("check it")}};
    EXPECT_EQ(CDoctorReport::Text(listChecks).toStdString(),
              "ok      port      UDP port 19798 is free\n"
              "problem discovery Evil\\x1b[2J\\ndid not answer\n"
              "                  -> check it\n");
    const QJsonObject document = CDoctorReport::Json(listChecks);
    EXPECT_EQ(document[QStringLiteral("version")].toInt(), 1);
    const QJsonArray checks = document[QStringLiteral("checks")].toArray();
    ASSERT_EQ(checks.size(), 2);
    EXPECT_TRUE(checks[0].toObject()[QStringLiteral("hint")].isNull());
    EXPECT_EQ(checks[1].toObject()[QStringLiteral("result")].toString(), QStringLiteral("problem"));
    EXPECT_EQ(checks[1].toObject()[QStringLiteral("detail")].toString(), listChecks[1].strDetail);
    EXPECT_EQ(CDoctorReport::ExitStatus(listChecks), 1);
    EXPECT_EQ(CDoctorReport::ExitStatus({listChecks[0]}), 0);
}
