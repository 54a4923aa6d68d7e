// An nftables ruleset as `nft -j list ruleset` prints it, asked what becomes of one inbound IPv4
// UDP datagram that answers no request of this computer (conntrack state new): a reply of an
// instrument to a broadcast, which connection tracking does not relate to the request.
#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

struct SInboundDatagram {
    std::uint16_t nPort = 0;         // its source and destination port
    QString strInterface;            // the interface it arrives on; empty: not known
    std::uint32_t dwSubnet = 0;      // the sender lies in this subnet...
    std::uint32_t dwSubnetMask = 0;  // ...of this mask (0: anywhere)
    std::uint32_t dwDestination = 0; // this computer's address it is sent to; 0: not known
};

struct SRulesetVerdict {
    enum EVerdict : std::uint8_t {
        Accepted,
        Dropped,
        Depends, // accepted on some conditions only, or a rule could not be read
    } nVerdict = Accepted;
    QString strWhere;         // the chain and rule that accept or drop it
    QStringList listAcceptIf; // Depends: what the accepting ways require, one per way
    QString strDropChain;     // Dropped, Depends: "inet filter input", the base chain that drops
};

class CNftRuleset {
public:
    // The document of `nft -j list ruleset`; IsValid() false when it is none.
    explicit CNftRuleset(const QJsonDocument& document);
    bool IsValid() const { return m_bValid; }
    bool HasTable(const QString& strFamily, const QString& strName) const;
    bool HasChain(const QString& strName) const;

    // Walks every input chain of the ip and inet families, through jumps, gotos and verdict
    // maps: the datagram is let in when each of them lets it in. Where a match cannot be told
    // (an interface or sender not known, a limit, a match nft -j shows without its arguments)
    // the walk goes both ways, and the ways that let it in are named. iptables' conntrack,
    // addrtype and comment matches, which nft -j shows by name only, are read as ufw and the
    // other iptables front ends write them.
    SRulesetVerdict Judge(const SInboundDatagram& datagram) const;

private:
    struct SChain {
        QString strFamily, strTable, strName, strHook, strPolicy;
        int nPriority = 0;
        std::vector<QJsonArray> listRules; // each rule's expressions
    };
    // A way through the rules: the conditions it took, and how it ended.
    struct SWay {
        enum EEnd : std::uint8_t { Going, Accept, Drop, Return, Unknown } nEnd = Going;
        QStringList listConditions;
        QString strWhere;
    };

    enum class ETruth : std::uint8_t { False, True, Maybe };

    // Whether a match expression holds for the datagram; pstrCondition gets it as text.
    ETruth Test(const SChain& chain, const QJsonObject& expression, const QString& strVerdict,
                const SInboundDatagram& datagram, QString* pstrCondition) const;
    std::vector<SWay> Walk(const SChain& chain, const SWay& way, int nDepth,
                           const SInboundDatagram& datagram) const;
    std::vector<SWay> Apply(const SChain& chain, const QJsonObject& verdict, const SWay& way,
                            const QString& strRule, int nDepth,
                            const SInboundDatagram& datagram) const;
    const SChain* FindChain(const SChain& from, const QString& strName) const;
    // The elements of an anonymous set, a list, a named set ("@name") or a single value.
    QJsonArray Elements(const SChain& from, const QJsonValue& right, bool* pbKnown) const;

    bool m_bValid = false;
    std::vector<SChain> m_listChains;
    std::vector<QJsonObject> m_listSets; // named sets and maps, with their elements
};
