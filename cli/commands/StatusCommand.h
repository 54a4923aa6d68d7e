// tavikctl status: the configured instrument verified as the main connection window verifies
// it at start, and its connection state in the window's words; the exit status tells the state
// (0 Ready, 1 not claimed or not configured, 3 Not ready).
#pragma once

#include "cli/ConnectionCommand.h"
#include "protocol/ConnectionState.h"

#include <cstdint>
#include <string_view>

class CStatusCommand final : public CConnectionCommand {
public:
    const char* Summary() const override;
    void Start() override;
    void ReportNotConfigured() override;

private:
    void OnOutcome(const SConnectionStep& step) override;
    // The state in words, with the owner the verification reported (address 0: none).
    void ReportState(EConnectionState nState, std::u16string_view strOwnerHostName = {},
                     std::uint32_t dwOwnerAddress = 0);
};
