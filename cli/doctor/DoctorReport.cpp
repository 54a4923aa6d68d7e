#include "cli/doctor/DoctorReport.h"

#include "cli/CliOutput.h"

#include <QJsonArray>
#include <QJsonValue>
#include <algorithm>

QString CDoctorReport::ResultWord(EDoctorResult nResult) {
    switch (nResult) {
    case EDoctorResult::Ok:
        return QStringLiteral("ok");
    case EDoctorResult::Warning:
        return QStringLiteral("warning");
    case EDoctorResult::Problem:
        return QStringLiteral("problem");
    case EDoctorResult::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString CDoctorReport::Text(const std::vector<SDoctorCheck>& listChecks) {
    qsizetype nNameWidth = 0;
    for (const SDoctorCheck& check : listChecks) {
        nNameWidth = std::max(nNameWidth, check.strName.size());
    }
    QString strText;
    for (const SDoctorCheck& check : listChecks) {
        strText += ResultWord(check.nResult).leftJustified(8) +
                   CCliOutput::Escaped(check.strName).leftJustified(nNameWidth + 1) +
                   CCliOutput::Escaped(check.strDetail) + QLatin1Char('\n');
        if (check.nResult != EDoctorResult::Ok && !check.strHint.isEmpty()) {
            strText += QString(8 + nNameWidth + 1, QLatin1Char(' ')) + QStringLiteral("-> ") +
                       CCliOutput::Escaped(check.strHint) + QLatin1Char('\n');
        }
    }
    return strText;
}

QJsonObject CDoctorReport::Json(const std::vector<SDoctorCheck>& listChecks) {
    QJsonArray checks;
    for (const SDoctorCheck& check : listChecks) {
        checks.append(QJsonObject{{QStringLiteral("name"), check.strName},
                                  {QStringLiteral("result"), ResultWord(check.nResult)},
                                  {QStringLiteral("detail"), check.strDetail},
                                  {QStringLiteral("hint"), check.strHint.isEmpty()
                                                               ? QJsonValue(QJsonValue::Null)
                                                               : QJsonValue(check.strHint)}});
    }
    return QJsonObject{{QStringLiteral("version"), JSON_VERSION},
                       {QStringLiteral("checks"), checks}};
}

int CDoctorReport::ExitStatus(const std::vector<SDoctorCheck>& listChecks) {
    const bool bProblem =
        std::any_of(listChecks.begin(), listChecks.end(), [](const SDoctorCheck& check) {
            return check.nResult == EDoctorResult::Problem;
        });
    return bProblem ? EXIT_PROBLEM : EXIT_NO_PROBLEM;
}
