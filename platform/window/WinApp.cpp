#include "platform/window/WinApp.h"

#include <QCoreApplication>

namespace {
CWinApp* s_pCurrentApp = nullptr;
} // namespace

CWinApp::CWinApp() {
    s_pCurrentApp = this;
}

CWinApp::~CWinApp() {
    if (s_pCurrentApp == this) {
        s_pCurrentApp = nullptr;
    }
}

CWinApp* CWinApp::GetCurrent() {
    return s_pCurrentApp;
}

bool CWinApp::InitInstance() {
    return true;
}

void CWinApp::SetAppName(const QString& strName) {
    // Only the caption: QCoreApplication's name would name the framework's settings file, and
    // the configuration's QSettings name their organisation and application themselves anyway.
    m_strAppName = strName;
}

void CWinApp::SetRegistryKey(const QString& strCompany) {
    // The framework's own settings area; the configuration never uses the default QSettings.
    QCoreApplication::setOrganizationName(strCompany);
}
