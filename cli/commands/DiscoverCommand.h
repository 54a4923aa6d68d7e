// tavikctl discover [--cycles N] [--to ADDRESS]... [--watch]: the instruments that answer the
// selection windows' discovery cycle, listed as the claim window lists them.
#pragma once

#include "cli/CliCommand.h"
#include "cli/CliDiscovery.h"
#include "model/InstrumentList.h"

#include <cstdint>
#include <vector>

class CDiscoverCommand final : public CCliCommand {
public:
    static constexpr unsigned MAX_CYCLES = 1000;

    struct SOptions {
        unsigned nCycles = 1;
        std::vector<std::uint32_t> listDirectAddresses; // --to
        bool bWatch = false;
    };

    CDiscoverCommand();

    const char* Summary() const override;
    QList<QCommandLineOption> Options() const override;
    const char* OptionsSyntax() const override;
    QString ReadArguments(const QCommandLineParser& parser,
                          const QStringList& listArguments) override;
    const SOptions& GetOptions() const { return m_options; }

    void Start() override;
    void OnTimer(unsigned nTimerId) override;
    // A watch ends this way, with status 0.
    void OnInterrupted() override;

private:
    void OnCollectionEnd(const CInstrumentList& listDisplayed);
    void PrintList(const CInstrumentList& list, bool bOneLine);

    SOptions m_options;
    CCliDiscovery m_discovery;
    unsigned m_nCollections = 0;
    CInstrumentList m_listFound; // every instrument of the cycles so far
};
