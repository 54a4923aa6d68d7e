// tavikctl repair: the configured instrument asked for by its name on the segment, as the main
// connection window's repair asks, and the address of the first that answers stored.
#pragma once

#include "cli/ConnectionCommand.h"

class CRepairCommand final : public CConnectionCommand {
public:
    const char* Summary() const override;
    void Start() override;

private:
    void OnOutcome(const SConnectionStep& step) override;
};
