// The firewall check of tavikctl doctor: whether this computer's nftables rules (which firewalld,
// ufw and iptables-nft all write) let in an instrument's reply to a broadcast, which connection
// tracking does not relate to the request; and which of firewalld and ufw is active, with the
// command that opens the port through the files the package installs for them.
#pragma once

#include "cli/doctor/DoctorCheck.h"
#include "cli/doctor/NftRuleset.h"
#include "platform/NetworkAdapters.h"

#include <QJsonDocument>
#include <QString>
#include <optional>

struct SFirewallState {
    std::optional<QJsonDocument> ruleset; // `nft -j list ruleset`
    QString strWhyUnread;                 // without a ruleset: why
    bool bFirewalldActive = false;
    bool bUfwActive = false;
};

class CFirewallCheck {
public:
    static const QString FIREWALLD_COMMAND;
    static const QString UFW_COMMAND;

    // An instrument's reply to a broadcast sent through the adapter.
    static SInboundDatagram ReplyThrough(const SNetworkAdapter& adapter);
    // The ruleset (root only) and the firewall managers' states, read from this computer.
    static SFirewallState Read();
    static SDoctorCheck Check(const SFirewallState& state, const SInboundDatagram& datagram);
};
