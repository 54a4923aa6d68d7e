// tavikctl repair: the configured instrument asked for by its name on the segment, as the main
// connection window's repair asks, and the address of the first that answers stored.
#pragma once

#include "cli/CliCommand.h"
#include "cli/CliConnectionExchange.h"

class CRepairCommand final : public CCliCommand {
public:
    CRepairCommand();

    const char* Summary() const override;
    void Start() override;
    void OnTimer(unsigned nTimerId) override;

private:
    void OnOutcome(const SConnectionStep& step);

    CCliConnectionExchange m_exchange;
};
