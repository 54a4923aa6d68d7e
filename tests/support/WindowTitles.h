// The titles of the program's windows, by which a window script picks each window's step.
#pragma once

#include <QString>

inline const QString MAIN_WINDOW = QStringLiteral("Tavik Instrument Connection v2.1.0");
inline const QString CLAIM_SELECTION_WINDOW =
    QStringLiteral("Select an Instrument to Claim or Release");
inline const QString RENAME_SELECTION_WINDOW = QStringLiteral("Select an Instrument to Rename");
inline const QString CLAIM_WINDOW = QStringLiteral("Claim Instrument");
inline const QString RENAME_WINDOW = QStringLiteral("Rename Instrument");
