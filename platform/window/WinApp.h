// The application object's base: the one QApplication of the process must exist first.
#pragma once

#include <QString>

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    // The application object of the process (the last constructed and not yet destroyed).
    static CWinApp* GetCurrent();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The framework's initialisation of the application; false ends the program.
    virtual bool InitInstance();

    // The default caption of the framework's message boxes.
    void SetAppName(const QString& strName);
    const QString& GetAppName() const { return m_strAppName; }
    // The company of the framework's own per-user settings area (which holds nothing here).
    void SetRegistryKey(const QString& strCompany);

private:
    QString m_strAppName;
};
