#include "app/ConfigurationStore.h"

#include "app/Logging.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <memory>

namespace {

std::unique_ptr<QSettings> OpenKey(const SSettingsKey& key) {
    auto pSettings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                 QString::fromLatin1(key.pszOrganization),
                                                 QString::fromLatin1(key.pszApplication));
    // The user's own store only, as the per-user hive is: no system-wide defaults.
    pSettings->setFallbacksEnabled(false);
    return pSettings;
}

// A string value is one that reads back as a plain string.
QString ReadText(const QSettings& settings, const char* pszName) {
    const QVariant value = settings.value(QString::fromLatin1(pszName));
    if (value.metaType().id() != QMetaType::QString) {
        return QString::fromLatin1(CConfigurationStore::NO_VALUE_TEXT);
    }
    return value.toString();
}

// A 32-bit value is one that reads back as an unsigned 32-bit decimal number. The file holds
// it as text; a value this process wrote is read back from QSettings' cache as it was written.
std::uint32_t ReadNumber(const QSettings& settings, const char* pszName) {
    const QVariant value = settings.value(QString::fromLatin1(pszName));
    switch (value.metaType().id()) {
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const qlonglong nValue = value.toLongLong();
        const bool bUnsigned = value.metaType().id() == QMetaType::UInt ||
                               value.metaType().id() == QMetaType::ULongLong;
        if (bUnsigned ? value.toULongLong() > 0xFFFFFFFFull
                      : (nValue < 0 || nValue > 0xFFFFFFFFll)) {
            return 0;
        }
        return static_cast<std::uint32_t>(value.toULongLong());
    }
    case QMetaType::QString:
        break;
    default:
        return 0;
    }
    const QString strText = value.toString();
    if (strText.isEmpty()) {
        return 0;
    }
    for (const QChar c : strText) {
        if (c < u'0' || c > u'9') {
            return 0;
        }
    }
    bool bOk = false;
    const qulonglong nValue = strText.toULongLong(&bOk);
    if (!bOk || nValue > 0xFFFFFFFFull) {
        return 0;
    }
    return static_cast<std::uint32_t>(nValue);
}

// The file that stands for a key, found without opening it: QSettings parses a file as it opens
// it, and a hostile one can make that parse exhaust the memory.
QString KeyFilePath(const SSettingsKey& key) {
    const QSettings probe(QSettings::NativeFormat, QSettings::UserScope,
                          QStringLiteral(".tavik-settings-path"));
    QString strPath = QFileInfo(probe.fileName()).path() + QLatin1Char('/') +
                      QString::fromLatin1(key.pszOrganization);
    if (*key.pszApplication != '\0') {
        strPath += QLatin1Char('/') + QString::fromLatin1(key.pszApplication);
    }
    return strPath + QStringLiteral(".conf");
}

QByteArray ReadFileBytes(const QString& strFile) {
    QFile file(strFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// None of the three values is ever stored as a serialised variant, and reading one runs
// QDataStream over the file's bytes: an image among them may ask for gigabytes. Such a file is
// not handed to QSettings.
bool HoldsSerialisedValue(const QByteArray& abFile) {
    // A text that begins with "@" is written with "@@": "@@Variant(" is a plain text.
    static const QByteArray MARK = QByteArrayLiteral("@Variant(");
    for (qsizetype nAt = abFile.indexOf(MARK); nAt >= 0; nAt = abFile.indexOf(MARK, nAt + 1)) {
        if (nAt == 0 || abFile.at(nAt - 1) != '@') {
            return true;
        }
    }
    return false;
}

// What could not be read is kept beside the file before the file is written anew.
void KeepAside(const QString& strFile, const QByteArray& abOriginal) {
    QFile kept(strFile + QStringLiteral(".unreadable"));
    if (kept.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        kept.write(abOriginal);
    }
    qCWarning(AppCategory).noquote()
        << "The unreadable" << strFile << "is kept as" << kept.fileName() << "and written anew";
}

QSettings::Status WriteKey(const SSettingsKey& key, const SConfiguration& configuration) {
    const std::unique_ptr<QSettings> pSettings = OpenKey(key);
    pSettings->setValue(QString::fromLatin1(CConfigurationStore::VALUE_INSTRUMENT_NAME),
                        configuration.strInstrumentName);
    pSettings->setValue(QString::fromLatin1(CConfigurationStore::VALUE_INSTRUMENT_HOST_NAME),
                        configuration.strInstrumentHostName);
    pSettings->setValue(QString::fromLatin1(CConfigurationStore::VALUE_INSTRUMENT_IP_ADDRESS),
                        static_cast<uint>(configuration.dwInstrumentIPAddress));
    pSettings->sync();
    return pSettings->status();
}

} // namespace

QString CConfigurationStore::FileName(const SSettingsKey& key) {
    return KeyFilePath(key);
}

bool CConfigurationStore::Load(SConfiguration& configuration) {
    const QString strFile = KeyFilePath(KEY_TAVIK);
    if (HoldsSerialisedValue(ReadFileBytes(strFile))) {
        qCWarning(AppCategory).noquote()
            << "The configuration in" << strFile
            << "is not read: it holds serialised values, which no configuration has";
        return false;
    }
    const std::unique_ptr<QSettings> pSettings = OpenKey(KEY_TAVIK);
    if (!QFileInfo(pSettings->fileName()).isFile() || pSettings->status() != QSettings::NoError) {
        qCDebug(AppCategory) << "no configuration in" << pSettings->fileName();
        return false;
    }
    configuration.strInstrumentName = ReadText(*pSettings, VALUE_INSTRUMENT_NAME);
    configuration.strInstrumentHostName = ReadText(*pSettings, VALUE_INSTRUMENT_HOST_NAME);
    configuration.dwInstrumentIPAddress = ReadNumber(*pSettings, VALUE_INSTRUMENT_IP_ADDRESS);
    return true;
}

bool CConfigurationStore::Save(const SConfiguration& configuration) {
    bool bAllWritten = true;
    for (const SSettingsKey& key : SAVED_KEYS) {
        // Every key is written, whatever became of the keys before it: a key that cannot be
        // written must not cost the others, least of all the one that is read back.
        const QString strFile = KeyFilePath(key);
        const QByteArray abOriginal = ReadFileBytes(strFile);
        if (HoldsSerialisedValue(abOriginal)) {
            KeepAside(strFile, abOriginal);
            QFile::remove(strFile);
        }
        QSettings::Status nStatus = WriteKey(key, configuration);
        if (nStatus == QSettings::FormatError) {
            // A file that did not parse is written over, and QSettings reports the error it met
            // reading it. What it could not read is kept beside it, and a second write, to the
            // file now its own, tells whether the key holds the configuration.
            KeepAside(strFile, abOriginal);
            nStatus = WriteKey(key, configuration);
        }
        if (nStatus != QSettings::NoError) {
            qCWarning(AppCategory).noquote() << "The configuration could not be written to"
                                             << strFile << "(" << key.pszKeyName << ")";
            bAllWritten = false;
        }
    }
    return bAllWritten;
}
