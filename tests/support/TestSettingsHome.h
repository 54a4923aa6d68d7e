// Window tests' settings home. The test main points every per-user QSettings of the process at
// a temporary folder; CTestSettingsHome gives one test a fresh, empty folder of its own and puts
// back the one before it (homes nest) when it goes.
//
//   CTestSettingsHome home;                       // QSettings("Tavik") now lives in home.Path()
//   home.FilePath("Norvask/Tavik.conf");          // where a key's file lies
#pragma once

#include <QString>
#include <QTemporaryDir>

class CTestSettingsHome {
public:
    CTestSettingsHome();
    ~CTestSettingsHome();
    CTestSettingsHome(const CTestSettingsHome&) = delete;
    CTestSettingsHome& operator=(const CTestSettingsHome&) = delete;

    QString Path() const { return m_dirHome.path(); }
    // A file or folder under the home, e.g. "Tavik.conf", "Norvask/Tavik.conf", "Quorith".
    QString FilePath(const QString& strRelative) const { return m_dirHome.filePath(strRelative); }

    // The test main's folder, used whenever no CTestSettingsHome is alive.
    static void SetProcessHome(const QString& strPath);
    // Points the per-user (and system) QSettings of both file formats at a folder.
    static void UseHome(const QString& strPath);
    static QString CurrentHome();

private:
    QTemporaryDir m_dirHome;
    QString m_strPreviousHome;
};
