#include "tests/e2e/LabEnvironment.h"

#include "platform/NetworkAdapters.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <sys/stat.h>

namespace {

const char* const STRING_NAME = "strInstrumentName";
const char* const STRING_HOST_NAME = "strInstrumentHostName";
const char* const NUMBER_ADDRESS = "dwInstrumentIPAddress";

QString Environment(const char* pszName) {
    return qEnvironmentVariable(pszName);
}

// The network namespace of a process, as the inode of its handle.
bool NetworkNamespaceOf(const char* pszPath, ino_t* pnInode) {
    struct stat info {};
    if (::stat(pszPath, &info) != 0) {
        return false;
    }
    *pnInode = info.st_ino;
    return true;
}

} // namespace

CLabEnvironment::CLabEnvironment()
    : m_strLabName(Environment("TAVIK_E2E_LAB")),
      m_strLabScript(Environment("TAVIK_E2E_LAB_SCRIPT")),
      m_strClientHostName(Environment("TAVIK_E2E_CLIENT_HOST")),
      m_strConfigurationHome(Environment("XDG_CONFIG_HOME")) {}

QString CLabEnvironment::WhyNotInsideLab() const {
    if (m_strLabName.isEmpty() || m_strLabScript.isEmpty() || m_strClientHostName.isEmpty() ||
        m_strConfigurationHome.isEmpty()) {
        return QStringLiteral("not started by tests/e2e/run-case (TAVIK_E2E_LAB and the like "
                              "are not set)");
    }
    // run-case names the namespace it started in; init's is checked too where it is readable.
    ino_t nSelf = 0;
    if (!NetworkNamespaceOf("/proc/self/ns/net", &nSelf)) {
        return QStringLiteral("cannot tell which network namespace this is");
    }
    bool bNumber = false;
    const qulonglong nOuter = qEnvironmentVariable("TAVIK_E2E_OUTER_NETNS").toULongLong(&bNumber);
    if (!bNumber || nOuter == static_cast<qulonglong>(nSelf)) {
        return QStringLiteral("this is the network namespace run-case started in, not a lab's");
    }
    ino_t nInit = 0;
    if (NetworkNamespaceOf("/proc/1/ns/net", &nInit) && nInit == nSelf) {
        return QStringLiteral("this is the machine's own network namespace");
    }
    // Every adapter must be one of the lab's, so nothing can leave the lab.
    const auto adapters = ListNetworkAdapters();
    if (!adapters || adapters->empty()) {
        return QStringLiteral("no network adapter here");
    }
    for (const SNetworkAdapter& adapter : *adapters) {
        const QString strAddress = QString::fromStdString(adapter.strIpAddress);
        // 10.77.8.1 is the client of a farm lab.
        if (!strAddress.startsWith(QLatin1String("10.77.1.")) &&
            !strAddress.startsWith(QLatin1String("10.78.1.")) &&
            strAddress != QLatin1String("10.77.8.1")) {
            return QStringLiteral("adapter %1 has the address %2, which is not the lab's")
                .arg(QString::fromStdString(adapter.strDescription), strAddress);
        }
    }
    return {};
}

bool CLabEnvironment::Lab(const QString& strCommand, const QStringList& listArguments,
                          QString* pstrOutput) const {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(m_strLabScript, QStringList{strCommand, m_strLabName} + listArguments);
    const bool bFinished = process.waitForFinished(30000);
    if (pstrOutput != nullptr) {
        *pstrOutput = QString::fromUtf8(process.readAll());
    }
    return bFinished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

SStoredConfiguration CLabEnvironment::ReadConfiguration(const QString& strRelativePath) const {
    SStoredConfiguration stored;
    const QString strPath = QDir(m_strConfigurationHome).filePath(strRelativePath);
    stored.bPresent = QFileInfo(strPath).isFile();
    if (!stored.bPresent) {
        return stored;
    }
    const QSettings settings(strPath, QSettings::IniFormat);
    stored.strInstrumentName = settings.value(QLatin1String(STRING_NAME)).toString();
    stored.strInstrumentHostName = settings.value(QLatin1String(STRING_HOST_NAME)).toString();
    stored.strInstrumentIPAddress = settings.value(QLatin1String(NUMBER_ADDRESS)).toString();
    return stored;
}

void CLabEnvironment::WriteConfiguration(const QString& strName, const QString& strHostName,
                                         std::uint32_t dwAddress) const {
    QSettings settings(QDir(m_strConfigurationHome).filePath(QStringLiteral("Tavik.conf")),
                       QSettings::IniFormat);
    settings.setValue(QLatin1String(STRING_NAME), strName);
    settings.setValue(QLatin1String(STRING_HOST_NAME), strHostName);
    settings.setValue(QLatin1String(NUMBER_ADDRESS), static_cast<quint32>(dwAddress));
    settings.sync();
}
