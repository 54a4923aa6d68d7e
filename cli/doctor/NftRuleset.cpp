#include "cli/doctor/NftRuleset.h"

#include <algorithm>
#include <arpa/inet.h>
#include <optional>

namespace {

constexpr int MAX_DEPTH = 16; // chains jumped into, one within the other
constexpr std::size_t MAX_WAYS = 64;

// What the datagram holds where a match looks.
struct SValue {
    enum EKind : std::uint8_t {
        Number,
        Word,      // any of listWords
        Address,   // somewhere in dwLow..dwHigh
        Interface, // not known, but not loopback: the adapters listed never are
        Unknown,
        Absent, // a header it does not have: a match on it fails
    } nKind = Unknown;
    qint64 nNumber = 0;
    QStringList listWords;
    std::uint32_t dwLow = 0, dwHigh = 0xFFFFFFFF;
};

SValue Words(const QStringList& listWords) {
    SValue value;
    value.nKind = SValue::Word;
    value.listWords = listWords;
    return value;
}

SValue AddressIn(std::uint32_t dwAddress, std::uint32_t dwMask) {
    SValue value;
    value.nKind = SValue::Address;
    value.dwLow = dwAddress & dwMask;
    value.dwHigh = value.dwLow | ~dwMask;
    return value;
}

SValue ValueOf(const QJsonObject& left, const SInboundDatagram& datagram) {
    SValue value;
    if (left.contains(QLatin1String("payload"))) {
        const QJsonObject payload = left[QLatin1String("payload")].toObject();
        const QString strProtocol = payload[QLatin1String("protocol")].toString();
        const QString strField = payload[QLatin1String("field")].toString();
        static const QStringList listOtherHeaders = {
            QStringLiteral("tcp"),  QStringLiteral("sctp"),    QStringLiteral("dccp"),
            QStringLiteral("icmp"), QStringLiteral("icmpv6"),  QStringLiteral("ip6"),
            QStringLiteral("arp"),  QStringLiteral("udplite"), QStringLiteral("esp"),
            QStringLiteral("ah"),   QStringLiteral("igmp"),    QStringLiteral("comp")};
        if ((strProtocol == QLatin1String("udp") || strProtocol == QLatin1String("th")) &&
            (strField == QLatin1String("dport") || strField == QLatin1String("sport"))) {
            value.nKind = SValue::Number;
            value.nNumber = datagram.nPort;
        } else if (strProtocol == QLatin1String("ip") && strField == QLatin1String("saddr")) {
            value = AddressIn(datagram.dwSubnet, datagram.dwSubnetMask);
        } else if (strProtocol == QLatin1String("ip") && strField == QLatin1String("daddr")) {
            value = AddressIn(datagram.dwDestination, datagram.dwDestination != 0 ? ~0u : 0u);
        } else if (strProtocol == QLatin1String("ip") && strField == QLatin1String("protocol")) {
            value = Words({QStringLiteral("udp"), QStringLiteral("17")});
        } else if (listOtherHeaders.contains(strProtocol)) {
            value.nKind = SValue::Absent;
        }
    } else if (left.contains(QLatin1String("meta"))) {
        const QString strKey =
            left[QLatin1String("meta")].toObject()[QLatin1String("key")].toString();
        if (strKey == QLatin1String("l4proto")) {
            value = Words({QStringLiteral("udp"), QStringLiteral("17")});
        } else if (strKey == QLatin1String("protocol")) {
            value = Words({QStringLiteral("ip"), QStringLiteral("2048")});
        } else if (strKey == QLatin1String("nfproto")) {
            value = Words({QStringLiteral("ipv4"), QStringLiteral("2")});
        } else if (strKey == QLatin1String("pkttype")) {
            value = Words({QStringLiteral("host")});
        } else if (strKey == QLatin1String("iifname") || strKey == QLatin1String("iif")) {
            value = Words({datagram.strInterface});
            value.nKind = datagram.strInterface.isEmpty() ? SValue::Interface : SValue::Word;
        }
    } else if (left.contains(QLatin1String("ct"))) {
        // A reply to a broadcast: conntrack relates it to no request, so it is new.
        const QString strKey =
            left[QLatin1String("ct")].toObject()[QLatin1String("key")].toString();
        if (strKey == QLatin1String("state")) {
            value = Words({QStringLiteral("new")});
        } else if (strKey == QLatin1String("status")) {
            value = Words({});
        } else if (strKey == QLatin1String("direction")) {
            value = Words({QStringLiteral("original")});
        }
    } else if (left.contains(QLatin1String("fib"))) {
        const QJsonObject fib = left[QLatin1String("fib")].toObject();
        if (fib[QLatin1String("result")].toString() == QLatin1String("type") &&
            fib[QLatin1String("flags")].toVariant().toStringList().contains(
                QStringLiteral("daddr"))) {
            value = Words({QStringLiteral("local")}); // sent to this computer's own address
        }
    }
    return value;
}

QString ValueText(const QJsonValue& right) {
    if (right.isString()) {
        return right.toString();
    }
    if (right.isDouble()) {
        return QString::number(right.toInteger());
    }
    if (right.isArray()) {
        QStringList listTexts;
        for (const QJsonValue& element : right.toArray()) {
            listTexts << ValueText(element);
        }
        return listTexts.join(QLatin1Char(','));
    }
    const QJsonObject object = right.toObject();
    if (object.contains(QLatin1String("set"))) {
        return QStringLiteral("{ %1 }").arg(ValueText(object[QLatin1String("set")])
                                                .replace(QLatin1Char(','), QStringLiteral(", ")));
    }
    if (object.contains(QLatin1String("prefix"))) {
        const QJsonObject prefix = object[QLatin1String("prefix")].toObject();
        return QStringLiteral("%1/%2").arg(ValueText(prefix[QLatin1String("addr")]),
                                           ValueText(prefix[QLatin1String("len")]));
    }
    if (object.contains(QLatin1String("range"))) {
        const QJsonArray range = object[QLatin1String("range")].toArray();
        return QStringLiteral("%1-%2").arg(ValueText(range[0]), ValueText(range[1]));
    }
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString LeftText(const QJsonObject& left) {
    const QString strKind = left.keys().value(0);
    const QJsonObject inner = left[strKind].toObject();
    if (strKind == QLatin1String("payload")) {
        return inner[QLatin1String("protocol")].toString() + QLatin1Char(' ') +
               inner[QLatin1String("field")].toString();
    }
    if (strKind == QLatin1String("meta") || strKind == QLatin1String("ct")) {
        const QString strKey = inner[QLatin1String("key")].toString();
        return strKind == QLatin1String("meta") && strKey.startsWith(QLatin1String("iif"))
                   ? strKey
                   : strKind + QLatin1Char(' ') + strKey;
    }
    return QString::fromUtf8(QJsonDocument(left).toJson(QJsonDocument::Compact));
}

std::optional<std::uint32_t> Ipv4(const QJsonValue& value) {
    in_addr address{};
    if (inet_pton(AF_INET, value.toString().toLatin1().constData(), &address) != 1) {
        return std::nullopt;
    }
    return ntohl(address.s_addr);
}

// 1 when the value's span lies within first..last, 0 when outside, 2 when across.
int Span(const SValue& value, std::uint32_t dwFirst, std::uint32_t dwLast) {
    if (value.dwLow >= dwFirst && value.dwHigh <= dwLast) {
        return 1;
    }
    return value.dwHigh < dwFirst || value.dwLow > dwLast ? 0 : 2;
}

// 1 when the value is the element, 0 when it is not, 2 when that cannot be told.
int ElementHolds(const SValue& value, const QJsonValue& element) {
    const QJsonObject object = element.toObject();
    switch (value.nKind) {
    case SValue::Number:
        if (element.isDouble() || (element.isString() && element.toString().toLongLong() != 0)) {
            return (element.isDouble() ? element.toInteger() : element.toString().toLongLong()) ==
                   value.nNumber;
        }
        if (object.contains(QLatin1String("range"))) {
            const QJsonArray range = object[QLatin1String("range")].toArray();
            return range[0].toInteger() <= value.nNumber && value.nNumber <= range[1].toInteger();
        }
        return 2; // a service name, or what else this check does not read
    case SValue::Word: {
        const QString strElement =
            element.isDouble() ? QString::number(element.toInteger()) : element.toString();
        if (!element.isString() && !element.isDouble()) {
            return 2;
        }
        if (strElement.endsWith(QLatin1Char('*'))) {
            const QString strStart = strElement.chopped(1);
            return std::any_of(
                value.listWords.begin(), value.listWords.end(),
                [&](const QString& strWord) { return strWord.startsWith(strStart); });
        }
        return value.listWords.contains(strElement);
    }
    case SValue::Address:
        if (const std::optional<std::uint32_t> dwAddress = Ipv4(element)) {
            return Span(value, *dwAddress, *dwAddress);
        }
        if (object.contains(QLatin1String("prefix"))) {
            const QJsonObject prefix = object[QLatin1String("prefix")].toObject();
            const std::optional<std::uint32_t> dwAddress = Ipv4(prefix[QLatin1String("addr")]);
            const int nLength = static_cast<int>(prefix[QLatin1String("len")].toInteger());
            if (!dwAddress) {
                return 0; // an IPv6 prefix
            }
            const std::uint32_t dwMask = nLength <= 0 ? 0 : ~0u << (32 - std::min(nLength, 32));
            return Span(value, *dwAddress & dwMask, (*dwAddress & dwMask) | ~dwMask);
        }
        if (object.contains(QLatin1String("range"))) {
            const QJsonArray range = object[QLatin1String("range")].toArray();
            const std::optional<std::uint32_t> dwFirst = Ipv4(range[0]);
            const std::optional<std::uint32_t> dwLast = Ipv4(range[1]);
            return dwFirst && dwLast ? Span(value, *dwFirst, *dwLast) : 0;
        }
        return element.isString() && element.toString().contains(QLatin1Char(':')) ? 0 : 2;
    case SValue::Interface:
        return element.toString() == QLatin1String("lo") ? 0 : 2;
    case SValue::Unknown:
    case SValue::Absent:
        break;
    }
    return 2;
}

QString ChainText(const QString& strFamily, const QString& strTable, const QString& strName) {
    return strFamily + QLatin1Char(' ') + strTable + QLatin1Char(' ') + strName;
}

bool IsVerdict(const QJsonObject& expression) {
    static const QStringList listVerdicts = {
        QStringLiteral("accept"),   QStringLiteral("drop"),  QStringLiteral("reject"),
        QStringLiteral("jump"),     QStringLiteral("goto"),  QStringLiteral("return"),
        QStringLiteral("continue"), QStringLiteral("queue"), QStringLiteral("vmap")};
    const QString strKey = expression.keys().value(0);
    if (strKey == QLatin1String("xt")) {
        const QJsonObject xt = expression[strKey].toObject();
        return xt[QLatin1String("type")].toString() == QLatin1String("target") &&
               QStringList({QStringLiteral("ACCEPT"), QStringLiteral("DROP"),
                            QStringLiteral("REJECT"), QStringLiteral("RETURN")})
                   .contains(xt[QLatin1String("name")].toString());
    }
    return listVerdicts.contains(strKey);
}

QString ExpressionText(const QJsonObject& expression) {
    const QString strKey = expression.keys().value(0);
    const QJsonValue inner = expression[strKey];
    if (strKey == QLatin1String("match")) {
        const QJsonObject match = inner.toObject();
        const QString strOp = match[QLatin1String("op")].toString();
        return LeftText(match[QLatin1String("left")].toObject()) + QLatin1Char(' ') +
               (strOp == QLatin1String("==") || strOp == QLatin1String("in")
                    ? QString()
                    : strOp + QLatin1Char(' ')) +
               ValueText(match[QLatin1String("right")]);
    }
    if (strKey == QLatin1String("jump") || strKey == QLatin1String("goto")) {
        return strKey + QLatin1Char(' ') + inner.toObject()[QLatin1String("target")].toString();
    }
    if (strKey == QLatin1String("xt")) {
        return QStringLiteral("xt %1 %2")
            .arg(inner.toObject()[QLatin1String("type")].toString(),
                 inner.toObject()[QLatin1String("name")].toString());
    }
    if (strKey == QLatin1String("vmap")) {
        return LeftText(inner.toObject()[QLatin1String("key")].toObject()) +
               QStringLiteral(" vmap");
    }
    return strKey;
}

} // namespace

CNftRuleset::CNftRuleset(const QJsonDocument& document) {
    const QJsonArray objects = document.object()[QLatin1String("nftables")].toArray();
    m_bValid = document.isObject() && document.object()[QLatin1String("nftables")].isArray();
    for (const QJsonValue& entry : objects) {
        const QJsonObject object = entry.toObject();
        if (object.contains(QLatin1String("chain"))) {
            const QJsonObject chain = object[QLatin1String("chain")].toObject();
            SChain record;
            record.strFamily = chain[QLatin1String("family")].toString();
            record.strTable = chain[QLatin1String("table")].toString();
            record.strName = chain[QLatin1String("name")].toString();
            record.strHook = chain[QLatin1String("hook")].toString();
            record.strPolicy = chain[QLatin1String("policy")].toString();
            record.nPriority = chain[QLatin1String("prio")].toInt();
            m_listChains.push_back(record);
        } else if (object.contains(QLatin1String("rule"))) {
            const QJsonObject rule = object[QLatin1String("rule")].toObject();
            for (SChain& chain : m_listChains) {
                if (chain.strFamily == rule[QLatin1String("family")].toString() &&
                    chain.strTable == rule[QLatin1String("table")].toString() &&
                    chain.strName == rule[QLatin1String("chain")].toString()) {
                    chain.listRules.push_back(rule[QLatin1String("expr")].toArray());
                }
            }
        } else if (object.contains(QLatin1String("set")) || object.contains(QLatin1String("map"))) {
            m_listSets.push_back(object.begin().value().toObject());
        }
    }
}

bool CNftRuleset::HasTable(const QString& strFamily, const QString& strName) const {
    return std::any_of(m_listChains.begin(), m_listChains.end(), [&](const SChain& chain) {
        return chain.strFamily == strFamily && chain.strTable == strName;
    });
}

bool CNftRuleset::HasChain(const QString& strName) const {
    return std::any_of(m_listChains.begin(), m_listChains.end(),
                       [&](const SChain& chain) { return chain.strName == strName; });
}

const CNftRuleset::SChain* CNftRuleset::FindChain(const SChain& from,
                                                  const QString& strName) const {
    for (const SChain& chain : m_listChains) {
        if (chain.strFamily == from.strFamily && chain.strTable == from.strTable &&
            chain.strName == strName) {
            return &chain;
        }
    }
    return nullptr;
}

QJsonArray CNftRuleset::Elements(const SChain& from, const QJsonValue& right, bool* pbKnown) const {
    *pbKnown = true;
    if (right.isArray()) {
        return right.toArray();
    }
    if (right.isObject() && right.toObject().contains(QLatin1String("set"))) {
        const QJsonValue set = right.toObject()[QLatin1String("set")];
        return set.isArray() ? set.toArray() : QJsonArray{set};
    }
    if (right.isString() && right.toString().startsWith(QLatin1Char('@'))) {
        const QString strName = right.toString().mid(1);
        for (const QJsonObject& set : m_listSets) {
            if (set[QLatin1String("family")].toString() == from.strFamily &&
                set[QLatin1String("table")].toString() == from.strTable &&
                set[QLatin1String("name")].toString() == strName) {
                QJsonArray elements;
                for (const QJsonValue& element : set[QLatin1String("elem")].toArray()) {
                    const QJsonObject wrapped =
                        element.toObject()[QLatin1String("elem")].toObject();
                    elements.append(wrapped.isEmpty() ? element : wrapped[QLatin1String("val")]);
                }
                return elements;
            }
        }
        *pbKnown = false;
        return {};
    }
    return QJsonArray{right};
}

CNftRuleset::ETruth CNftRuleset::Test(const SChain& chain, const QJsonObject& expression,
                                      const QString& strVerdict, const SInboundDatagram& datagram,
                                      QString* pstrCondition) const {
    const QString strKey = expression.keys().value(0);
    *pstrCondition = ExpressionText(expression);
    static const QStringList listStatements = {QStringLiteral("counter"), QStringLiteral("log"),
                                               QStringLiteral("mangle"), QStringLiteral("notrack"),
                                               QStringLiteral("set")};
    if (listStatements.contains(strKey)) {
        return ETruth::True; // acts, but does not decide the datagram's fate
    }
    if (strKey == QLatin1String("xt")) {
        // nft -j shows an iptables match without its arguments; these are read as ufw and the
        // other iptables front ends use them.
        const QString strName = expression[strKey].toObject()[QLatin1String("name")].toString();
        if (strName == QLatin1String("comment")) {
            return ETruth::True;
        }
        if (strName == QLatin1String("conntrack") || strName == QLatin1String("state")) {
            return ETruth::False; // ESTABLISHED,RELATED accepted, INVALID dropped
        }
        if (strName == QLatin1String("addrtype")) {
            // ufw returns from ufw-not-local for this computer's own addresses, and skips
            // broadcasts elsewhere: the reply is sent to this computer's own address.
            return strVerdict == QLatin1String("return") ? ETruth::True : ETruth::False;
        }
        if (strName == QLatin1String("icmp") || strName == QLatin1String("icmp6")) {
            return ETruth::False;
        }
        return ETruth::Maybe;
    }
    if (strKey != QLatin1String("match")) {
        return ETruth::Maybe; // limit, quota and what else this check does not read
    }
    const QJsonObject match = expression[strKey].toObject();
    const SValue value = ValueOf(match[QLatin1String("left")].toObject(), datagram);
    if (value.nKind == SValue::Absent) {
        return ETruth::False;
    }
    bool bKnown = false;
    const QJsonArray elements = Elements(chain, match[QLatin1String("right")], &bKnown);
    const QString strOp = match[QLatin1String("op")].toString();
    if (!bKnown || value.nKind == SValue::Unknown) {
        return ETruth::Maybe;
    }
    if (strOp.startsWith(QLatin1Char('<')) || strOp.startsWith(QLatin1Char('>'))) {
        if (value.nKind != SValue::Number || elements.size() != 1 || !elements[0].isDouble()) {
            return ETruth::Maybe;
        }
        const qint64 nBound = elements[0].toInteger();
        const bool bHolds = strOp == QLatin1String("<")    ? value.nNumber < nBound
                            : strOp == QLatin1String("<=") ? value.nNumber <= nBound
                            : strOp == QLatin1String(">")  ? value.nNumber > nBound
                                                           : value.nNumber >= nBound;
        return bHolds ? ETruth::True : ETruth::False;
    }
    ETruth nTruth = ETruth::False;
    for (const QJsonValue& element : elements) {
        const int nHolds = ElementHolds(value, element);
        if (nHolds == 1) {
            nTruth = ETruth::True;
            break;
        }
        if (nHolds == 2) {
            nTruth = ETruth::Maybe;
        }
    }
    if (strOp == QLatin1String("!=") && nTruth != ETruth::Maybe) {
        return nTruth == ETruth::True ? ETruth::False : ETruth::True;
    }
    return nTruth;
}

std::vector<CNftRuleset::SWay> CNftRuleset::Walk(const SChain& chain, const SWay& way, int nDepth,
                                                 const SInboundDatagram& datagram) const {
    const QString strChain = ChainText(chain.strFamily, chain.strTable, chain.strName);
    if (nDepth > MAX_DEPTH) {
        SWay ended = way;
        ended.nEnd = SWay::Unknown;
        ended.strWhere = strChain + QStringLiteral(": chains jump deeper than this check follows");
        return {ended};
    }
    std::vector<SWay> listGoing{way};
    std::vector<SWay> listEnded;
    for (const QJsonArray& rule : chain.listRules) {
        qsizetype nVerdict = rule.size() - 1;
        while (nVerdict >= 0 && !IsVerdict(rule[nVerdict].toObject())) {
            --nVerdict;
        }
        if (nVerdict < 0) {
            continue; // counts or logs, but decides nothing
        }
        const QJsonObject verdict = rule[nVerdict].toObject();
        const QString strVerdict = verdict.keys().value(0);
        bool bApplies = true;
        QStringList listMaybe;
        QStringList listTexts;
        for (qsizetype i = 0; i < rule.size(); ++i) {
            QString strCondition;
            if (i < nVerdict && bApplies) {
                const ETruth nTruth =
                    Test(chain, rule[i].toObject(), strVerdict, datagram, &strCondition);
                bApplies = nTruth != ETruth::False;
                if (nTruth == ETruth::Maybe) {
                    listMaybe << strCondition;
                }
            }
            const QString strKey = rule[i].toObject().keys().value(0);
            if (strKey != QLatin1String("counter")) {
                listTexts << ExpressionText(rule[i].toObject());
            }
        }
        if (!bApplies) {
            continue;
        }
        const QString strRule = listTexts.join(QLatin1Char(' '));
        std::vector<SWay> listNext;
        for (const SWay& going : listGoing) {
            std::vector<SWay> listResults;
            if (listMaybe.isEmpty()) {
                listResults = Apply(chain, verdict, going, strRule, nDepth, datagram);
            } else {
                SWay taken = going;
                taken.listConditions << listMaybe;
                listResults = Apply(chain, verdict, taken, strRule, nDepth, datagram);
                const bool bNoEffect = listResults.size() == 1 &&
                                       listResults[0].nEnd == SWay::Going &&
                                       listResults[0].listConditions == taken.listConditions;
                if (bNoEffect) {
                    listResults = {going};
                } else {
                    SWay passed = going;
                    passed.listConditions
                        << QStringLiteral("not ") +
                               (listMaybe.size() == 1
                                    ? listMaybe[0]
                                    : QLatin1Char('(') + listMaybe.join(QStringLiteral(" and ")) +
                                          QLatin1Char(')'));
                    listResults.push_back(passed);
                }
            }
            for (const SWay& result : listResults) {
                std::vector<SWay>& list = result.nEnd == SWay::Going ? listNext : listEnded;
                const bool bSeen = std::any_of(list.begin(), list.end(), [&](const SWay& other) {
                    return other.nEnd == result.nEnd &&
                           other.listConditions == result.listConditions;
                });
                if (!bSeen) {
                    list.push_back(result);
                }
            }
        }
        listGoing = std::move(listNext);
        if (listGoing.size() + listEnded.size() > MAX_WAYS) {
            SWay ended = way;
            ended.nEnd = SWay::Unknown;
            ended.strWhere = strChain + QStringLiteral(": more ways through it than this check "
                                                       "follows");
            return {ended};
        }
    }
    for (SWay& going : listGoing) {
        going.nEnd = SWay::Return;
        listEnded.push_back(going);
    }
    return listEnded;
}

std::vector<CNftRuleset::SWay> CNftRuleset::Apply(const SChain& chain, const QJsonObject& verdict,
                                                  const SWay& way, const QString& strRule,
                                                  int nDepth,
                                                  const SInboundDatagram& datagram) const {
    const QString strKey = verdict.keys().value(0);
    SWay result = way;
    result.strWhere =
        ChainText(chain.strFamily, chain.strTable, chain.strName) + QStringLiteral(": ") + strRule;
    QString strTarget = strKey;
    if (strKey == QLatin1String("xt")) {
        strTarget = verdict[strKey].toObject()[QLatin1String("name")].toString().toLower();
    }
    if (strTarget == QLatin1String("accept")) {
        result.nEnd = SWay::Accept;
    } else if (strTarget == QLatin1String("drop") || strTarget == QLatin1String("reject")) {
        result.nEnd = SWay::Drop;
    } else if (strTarget == QLatin1String("return")) {
        result.nEnd = SWay::Return;
    } else if (strTarget == QLatin1String("continue")) {
        result = way;
    } else if (strTarget == QLatin1String("jump") || strTarget == QLatin1String("goto")) {
        const SChain* pTarget =
            FindChain(chain, verdict[strKey].toObject()[QLatin1String("target")].toString());
        if (pTarget == nullptr) {
            result.nEnd = SWay::Unknown;
            return {result};
        }
        std::vector<SWay> listWays = Walk(*pTarget, way, nDepth + 1, datagram);
        for (SWay& after : listWays) {
            if (after.nEnd == SWay::Return && strTarget == QLatin1String("jump")) {
                after.nEnd = SWay::Going; // back in this chain, after the rule
            }
        }
        return listWays;
    } else if (strTarget == QLatin1String("vmap")) {
        // One verdict per key: the entries in turn, as a rule each.
        const QJsonObject map = verdict[strKey].toObject();
        bool bKnown = false;
        const QJsonArray entries = Elements(chain, map[QLatin1String("data")], &bKnown);
        std::vector<SWay> listResults;
        std::vector<SWay> listRest{way};
        for (const QJsonValue& entry : entries) {
            const QJsonArray pair = entry.toArray();
            const QJsonObject match{
                {QStringLiteral("match"),
                 QJsonObject{{QStringLiteral("op"), QStringLiteral("==")},
                             {QStringLiteral("left"), map[QLatin1String("key")]},
                             {QStringLiteral("right"), pair[0]}}}};
            QString strCondition;
            const ETruth nTruth = Test(chain, match, QString(), datagram, &strCondition);
            if (nTruth == ETruth::False) {
                continue;
            }
            std::vector<SWay> listNotTaken;
            for (SWay rest : listRest) {
                if (nTruth == ETruth::Maybe) {
                    SWay passed = rest;
                    passed.listConditions << QStringLiteral("not ") + strCondition;
                    listNotTaken.push_back(passed);
                    rest.listConditions << strCondition;
                }
                for (const SWay& taken :
                     Apply(chain, pair[1].toObject(), rest,
                           strRule + QLatin1Char(' ') + ValueText(pair[0]), nDepth, datagram)) {
                    listResults.push_back(taken);
                }
            }
            listRest = std::move(listNotTaken);
        }
        listResults.insert(listResults.end(), listRest.begin(), listRest.end());
        if (!bKnown) {
            result.nEnd = SWay::Unknown;
            listResults.push_back(result);
        }
        return listResults;
    } else {
        result.nEnd = SWay::Unknown; // queued to a program, or what this check does not read
    }
    return {result};
}

SRulesetVerdict CNftRuleset::Judge(const SInboundDatagram& datagram) const {
    std::vector<const SChain*> listBase;
    for (const SChain& chain : m_listChains) {
        if (chain.strHook == QLatin1String("input") &&
            (chain.strFamily == QLatin1String("ip") || chain.strFamily == QLatin1String("inet"))) {
            listBase.push_back(&chain);
        }
    }
    std::stable_sort(listBase.begin(), listBase.end(), [](const SChain* pA, const SChain* pB) {
        return pA->nPriority < pB->nPriority;
    });
    SRulesetVerdict verdict;
    verdict.strWhere = QStringLiteral("no input chain");
    bool bDepends = false;
    for (const SChain* pChain : listBase) {
        const QString strChain = ChainText(pChain->strFamily, pChain->strTable, pChain->strName);
        std::vector<SWay> listWays = Walk(*pChain, SWay{}, 0, datagram);
        bool bAllAccept = true;
        bool bAllDrop = true;
        QString strDropWhere;
        QString strAcceptWhere;
        QStringList listAcceptIf;
        for (SWay& way : listWays) {
            if (way.nEnd == SWay::Return || way.nEnd == SWay::Going) {
                const bool bDrop = pChain->strPolicy == QLatin1String("drop");
                way.nEnd = bDrop ? SWay::Drop : SWay::Accept;
                way.strWhere = strChain + QStringLiteral(": policy ") +
                               (bDrop ? QStringLiteral("drop") : QStringLiteral("accept"));
            }
            bAllAccept = bAllAccept && way.nEnd == SWay::Accept;
            bAllDrop = bAllDrop && way.nEnd == SWay::Drop;
            if (way.nEnd == SWay::Accept) {
                strAcceptWhere = strAcceptWhere.isEmpty() ? way.strWhere : strAcceptWhere;
                listAcceptIf << way.listConditions.join(QStringLiteral(" and "));
            } else if (strDropWhere.isEmpty()) {
                strDropWhere = way.strWhere;
            }
        }
        if (bAllDrop) {
            return {SRulesetVerdict::Dropped, strDropWhere, {}, strChain};
        }
        if (!bAllAccept && !bDepends) {
            bDepends = true;
            verdict = {SRulesetVerdict::Depends, strDropWhere, listAcceptIf, strChain};
        } else if (!bDepends) {
            verdict.strWhere = strAcceptWhere;
        }
    }
    return verdict;
}
