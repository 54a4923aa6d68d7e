// What tavikctl doctor prints of its checks, and the exit status they give.
#pragma once

#include "cli/CliOutput.h"
#include "cli/doctor/DoctorCheck.h"

#include <QJsonObject>
#include <QString>
#include <vector>

class CDoctorReport {
public:
    static constexpr int JSON_VERSION = CCliOutput::JSON_VERSION;
    static constexpr int EXIT_NO_PROBLEM = 0;
    static constexpr int EXIT_PROBLEM = 1;

    // "ok", "warning", "problem", "unknown".
    static QString ResultWord(EDoctorResult nResult);
    // One line per check: its result, its name and what was seen; under each check that is not
    // ok, what to do, after an arrow. Foreign text is shown escaped.
    static QString Text(const std::vector<SDoctorCheck>& listChecks);
    // {"version": 1, "checks": [{"name", "result", "detail", "hint"}]}; the hint null where there
    // is nothing to do.
    static QJsonObject Json(const std::vector<SDoctorCheck>& listChecks);
    // 1 when a check found a problem, else 0.
    static int ExitStatus(const std::vector<SDoctorCheck>& listChecks);
};
