#include "tests/support/TestSettingsHome.h"

#include <QSettings>

namespace {
QString& CurrentHomePath() {
    static QString strHome;
    return strHome;
}
} // namespace

CTestSettingsHome::CTestSettingsHome() : m_strPreviousHome(CurrentHome()) {
    UseHome(m_dirHome.path());
}

CTestSettingsHome::~CTestSettingsHome() {
    UseHome(m_strPreviousHome);
}

void CTestSettingsHome::SetProcessHome(const QString& strPath) {
    UseHome(strPath);
}

QString CTestSettingsHome::CurrentHome() {
    return CurrentHomePath();
}

void CTestSettingsHome::UseHome(const QString& strPath) {
    CurrentHomePath() = strPath;
    for (const QSettings::Format nFormat : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(nFormat, QSettings::UserScope, strPath);
        // The system scope is read as a fallback; keep it inside the test's folder too.
        QSettings::setPath(nFormat, QSettings::SystemScope, strPath + QStringLiteral("/system"));
    }
}
