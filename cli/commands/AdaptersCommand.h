// tavikctl adapters: the network adapters as the program sees them, and the one it would use.
// Sends nothing and needs no link.
#pragma once

#include "cli/CliCommand.h"

class CAdaptersCommand final : public CCliCommand {
public:
    const char* Summary() const override;
    int RunWithoutLink() override;
};
