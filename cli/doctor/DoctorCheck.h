// One finding of tavikctl doctor: what was looked at, how it stands, what was seen and what to
// do about it. Every check builds one from data handed to it, so that each can be tried without
// a network.
#pragma once

#include <QString>
#include <cstdint>

enum class EDoctorResult : std::uint8_t {
    Ok,
    Warning, // works, but not as well as it could, or not in every case
    Problem, // stops discovery or the connection
    Unknown, // could not be seen; strDetail says why
};

struct SDoctorCheck {
    QString strName; // "adapters", "port", "receive-buffer", "firewall", "discovery"
    EDoctorResult nResult = EDoctorResult::Unknown;
    QString strDetail; // one line: what was seen, or why it could not be
    QString strHint;   // one line: what to do; empty where nothing is to be done
};

// The graver of two results: a problem over a warning over unknown over ok.
inline EDoctorResult Graver(EDoctorResult nA, EDoctorResult nB) {
    auto Rank = [](EDoctorResult nResult) {
        constexpr int anRanks[] = {0, 2, 3, 1}; // Ok, Warning, Problem, Unknown
        return anRanks[static_cast<int>(nResult)];
    };
    return Rank(nA) >= Rank(nB) ? nA : nB;
}
