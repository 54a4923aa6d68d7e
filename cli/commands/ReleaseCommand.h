// tavikctl release: the configured instrument verified, checked as the claim selection window
// checks a release (claimed, by this computer under the configured name and address, not in use)
// and released as the main connection window releases it; whatever the instrument answers, and
// when it answers nothing, the configuration is then forgotten.
#pragma once

#include "cli/ConnectionCommand.h"

#include <QJsonObject>

class CReleaseCommand final : public CConnectionCommand {
public:
    const char* Summary() const override;
    void Start() override;

private:
    void OnOutcome(const SConnectionStep& step) override;
    void OnVerified(const SConnectionStep& step);
    void OnReleaseEnded(const SConnectionStep& step);
    // The instrument as its verification described it, else as configured.
    QJsonObject InstrumentObject() const;
};
