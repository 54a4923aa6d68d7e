#include "tests/support/TestSettingsHome.h"

#include <QSettings>

namespace {
QString& ProcessHome() {
    static QString strHome;
    return strHome;
}
} // namespace

CTestSettingsHome::CTestSettingsHome() {
    UseHome(m_dirHome.path());
}

CTestSettingsHome::~CTestSettingsHome() {
    UseHome(ProcessHome());
}

void CTestSettingsHome::SetProcessHome(const QString& strPath) {
    ProcessHome() = strPath;
    UseHome(strPath);
}

void CTestSettingsHome::UseHome(const QString& strPath) {
    for (const QSettings::Format nFormat : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(nFormat, QSettings::UserScope, strPath);
        // The system scope is read as a fallback; keep it inside the test's folder too.
        QSettings::setPath(nFormat, QSettings::SystemScope, strPath + QStringLiteral("/system"));
    }
}
