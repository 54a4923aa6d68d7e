// What the claim and rename commands share: the INSTRUMENT argument, found by a discovery cycle
// (an address also asked directly, its first reply deciding), the check that it is not in use,
// then the named request with its retries, as the claim and rename windows send it, and a
// granted request made the configuration.
#pragma once

#include "cli/CliCommand.h"
#include "cli/CliDiscovery.h"
#include "cli/InstrumentMatch.h"
#include "cli/ReplyCallback.h"
#include "model/MolvarInstrument.h"
#include "protocol/NamingExchange.h"

#include <memory>
#include <optional>
#include <string>

class CNamingCommand : public CCliCommand {
public:
    // The INSTRUMENT argument as given.
    const QString& Instrument() const { return m_strInstrument; }

    QString ReadArguments(const QCommandLineParser& parser,
                          const QStringList& listArguments) override;
    void Start() override;
    void OnTimer(unsigned nTimerId) override;

protected:
    // strInUseText: "The selected instrument is in use, and cannot be ...".
    CNamingCommand(const SNamingKind& kind, std::u16string_view strInUseText);

    // The command's own arguments after INSTRUMENT (and its options); a usage error, or empty.
    virtual QString ReadNameArguments(const QCommandLineParser& parser,
                                      const QStringList& listArguments) = 0;
    // The name the request carries for this instrument, or none once the command has ended
    // (refused or a usage error).
    virtual std::optional<std::u16string> ChooseName(const CMolvarInstrument& instrument) = 0;

private:
    void OnDiscoveryReply(const CInstrumentList& listCollected);
    void OnCollectionEnd(const CInstrumentList& listDisplayed);
    void ResolveFromList(const CInstrumentList& list);
    void OnInstrumentChosen(const CMolvarInstrument& instrument);
    void Apply(const SNamingStep& step);

    const SNamingKind& m_kind;
    const std::u16string_view m_strInUseText;
    QString m_strInstrument;
    std::optional<CInstrumentMatch> m_match;
    bool m_bResolved = false;
    CCliDiscovery m_discovery;
    CMolvarInstrument m_chosen;
    std::u16string m_strName; // the name the request carries
    std::unique_ptr<CNamingExchange> m_pExchange;
    CReplyCallback m_receiver;
};
