#include "app/ConfigurationStore.h"

#include "app/Logging.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>
#include <algorithm>
#include <cstdio>
#include <iterator>
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

// A configuration is a few hundred bytes: a file beyond this is none, and is not read.
constexpr qsizetype MAX_FILE_SIZE = 1 << 20;

enum class EKeyFile : std::uint8_t {
    Absent,
    NotRegular, // a folder, a FIFO, a device: opening or reading one may block or never end
    TooLarge,
    Read, // also when it could not be opened: QSettings then says so itself
};

struct SKeyFile {
    EKeyFile nKind = EKeyFile::Absent;
    QByteArray abContents;
};

// A key's file, read only when it is a regular one and only as far as a configuration goes.
SKeyFile ReadKeyFile(const QString& strFile) {
    const QFileInfo info(strFile);
    if (!info.exists()) {
        return {};
    }
    if (!info.isFile()) {
        return {EKeyFile::NotRegular, {}};
    }
    SKeyFile keyFile{info.size() > MAX_FILE_SIZE ? EKeyFile::TooLarge : EKeyFile::Read, {}};
    QFile file(strFile);
    if (keyFile.nKind == EKeyFile::Read && file.open(QIODevice::ReadOnly)) {
        keyFile.abContents = file.read(MAX_FILE_SIZE + 1);
        if (keyFile.abContents.size() > MAX_FILE_SIZE) {
            keyFile = {EKeyFile::TooLarge, {}}; // grown since
        }
    }
    return keyFile;
}

// ---- The file as QSettings' reader (INI, the native format here) would read it -----------------
// Followed as far as it decides whether a value would be decoded from a serialised form, or a
// format error reported, so that a file is judged exactly as QSettings would read it.

bool IsIniSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The next line: white space and comment lines (';' first) before it are skipped; it ends at a
// line break or a ';' outside quotes, and a backslash takes the character after it along (a line
// break with its partner). nEquals is its first '=' outside quotes, -1 when it has none.
bool NextIniLine(QByteArrayView abData, qsizetype& nPos, QByteArrayView& line, qsizetype& nEquals) {
    const qsizetype nSize = abData.size();
    qsizetype nStart = nPos;
    while (nStart < nSize && IsIniSpace(abData[nStart])) {
        ++nStart;
    }
    bool bInQuotes = false;
    nEquals = -1;
    qsizetype i = nStart;
    while (i < nSize) {
        const char c = abData[i++];
        if (c == ';' && i - 1 == nStart) {
            while (i < nSize && abData[i] != '\n' && abData[i] != '\r') {
                ++i;
            }
            while (i < nSize && IsIniSpace(abData[i])) {
                ++i;
            }
            nStart = i;
        } else if ((c == '\n' || c == '\r' || c == ';') && !bInQuotes) {
            --i;
            break;
        } else if (c == '=' && !bInQuotes && nEquals < 0) {
            nEquals = i - 1 - nStart;
        } else if (c == '"') {
            bInQuotes = !bInQuotes;
        } else if (c == '\\' && i < nSize) {
            const char cEscaped = abData[i++];
            if (i < nSize && ((cEscaped == '\n' && abData[i] == '\r') ||
                              (cEscaped == '\r' && abData[i] == '\n'))) {
                ++i;
            }
        }
    }
    nPos = i;
    line = abData.sliced(nStart, i - nStart);
    return !line.isEmpty();
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
        return (c | 0x20) - 'a' + 10;
    }
    return -1;
}

int OctalDigitValue(char c) {
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

// A value unescaped as QSettings does: blanks around it dropped unless quoted or escaped, quotes
// removed, C escapes (\n, \x41, \101, ...) replaced, the rest read as UTF-8 by one decoder. A
// comma outside quotes makes it a list (the result true, the items in listItems).
bool UnescapeIniValue(QByteArrayView abValue, QString& strText, QStringList& listItems) {
    static constexpr char SIMPLE_ESCAPES[][2] = {
        {'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},  {'r', '\r'}, {'t', '\t'},
        {'v', '\v'}, {'"', '"'},  {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    QStringDecoder fromUtf8(QStringDecoder::Utf8);
    const qsizetype nSize = abValue.size();
    qsizetype i = 0;
    bool bList = false;
    bool bInQuotes = false;
    bool bQuoted = false;
    bool bChopAtEnd = true;   // a value that ends inside an escape keeps its trailing blanks
    qsizetype nChopLimit = 0; // blanks before this, escaped or quoted, stay
    const auto skipBlanks = [&] {
        while (i < nSize && (abValue[i] == ' ' || abValue[i] == '\t')) {
            ++i;
        }
        nChopLimit = strText.size();
    };
    const auto chopBlanks = [&] {
        while (!bQuoted && strText.size() > nChopLimit &&
               (strText.back() == u' ' || strText.back() == u'\t')) {
            strText.chop(1);
        }
    };
    // A numeric escape's digits; false when the value ends with them.
    const auto numericEscape = [&](char16_t chValue, int nShift, int (*fnDigit)(char)) {
        while (i < nSize && fnDigit(abValue[i]) >= 0) {
            chValue = static_cast<char16_t>((chValue << nShift) + fnDigit(abValue[i++]));
        }
        strText += QChar(chValue);
        nChopLimit = strText.size();
        return i < nSize;
    };
    skipBlanks();
    while (i < nSize) {
        const char c = abValue[i];
        if (c == '\\') {
            if (++i >= nSize) {
                bChopAtEnd = false;
                break;
            }
            const char cEscaped = abValue[i++];
            const auto* pSimple = std::find_if(std::begin(SIMPLE_ESCAPES), std::end(SIMPLE_ESCAPES),
                                               [&](const char* p) { return p[0] == cEscaped; });
            if (pSimple != std::end(SIMPLE_ESCAPES)) {
                strText += QLatin1Char((*pSimple)[1]);
            } else if (cEscaped == 'x' && i >= nSize) {
                bChopAtEnd = false;
            } else if (cEscaped == 'x' && HexDigitValue(abValue[i]) >= 0) {
                bChopAtEnd = numericEscape(0, 4, HexDigitValue);
            } else if (OctalDigitValue(cEscaped) >= 0) {
                bChopAtEnd = numericEscape(static_cast<char16_t>(OctalDigitValue(cEscaped)), 3,
                                           OctalDigitValue);
            } else if ((cEscaped == '\n' || cEscaped == '\r') && i < nSize &&
                       (abValue[i] == '\n' || abValue[i] == '\r') && abValue[i] != cEscaped) {
                ++i; // a line continued
            }
            nChopLimit = strText.size();
        } else if (c == '"') {
            ++i;
            bQuoted = true;
            bInQuotes = !bInQuotes;
            if (!bInQuotes) {
                skipBlanks();
            }
        } else if (c == ',' && !bInQuotes) {
            chopBlanks();
            bList = true;
            listItems.append(strText);
            strText.clear();
            bQuoted = false;
            ++i;
            skipBlanks();
        } else {
            qsizetype nEnd = i + 1;
            while (nEnd < nSize && abValue[nEnd] != '\\' && abValue[nEnd] != '"' &&
                   abValue[nEnd] != ',') {
                ++nEnd;
            }
            strText += fromUtf8(abValue.sliced(i, nEnd - i));
            i = nEnd;
        }
    }
    if (bChopAtEnd) {
        chopBlanks();
    }
    if (bList) {
        listItems.append(strText);
    }
    return bList;
}

// A text that QSettings reads with QDataStream, which may ask for any amount of memory or build
// any type Qt registers (an image, a nested list...).
bool IsSerialisedText(const QString& strText) {
    return (strText.startsWith(u"@Variant(") || strText.startsWith(u"@DateTime(")) &&
           strText.endsWith(u')');
}

bool DecodesSerialisedValue(QByteArrayView abValue) {
    QString strText;
    QStringList listItems;
    if (!UnescapeIniValue(abValue, strText, listItems)) {
        return IsSerialisedText(strText);
    }
    // A list's items are read as values only when one begins with a single '@'.
    const bool bItemsAreValues =
        std::any_of(listItems.cbegin(), listItems.cend(), [](const QString& strItem) {
            return strItem.startsWith(u'@') && !strItem.startsWith(u"@@");
        });
    return bItemsAreValues && std::any_of(listItems.cbegin(), listItems.cend(), IsSerialisedText);
}

struct SIniScan {
    bool bParses = true;            // QSettings reports no format error
    bool bDecodesInGeneral = false; // the [General] section, which a value of the three reads
    bool bDecodesElsewhere = false; // another section, read whole when the file is written
};

SIniScan ScanIniFile(QByteArrayView abFile) {
    SIniScan scan;
    // QSettings reads a leading byte order mark as the start of the first line, and drops it
    // from that line's key; it still sees a section header right after it, which leaves the
    // mark a line of its own without '=', a format error when the file is written.
    if (abFile.startsWith("\xEF\xBB\xBF[")) {
        scan.bParses = false;
        abFile = abFile.sliced(3);
    }
    bool bGeneral = true; // the lines before any section header belong to it
    qsizetype nPos = 0;
    QByteArrayView line;
    qsizetype nEquals = -1;
    while (NextIniLine(abFile, nPos, line, nEquals)) {
        if (line.startsWith('[')) {
            qsizetype nClose = line.indexOf(']');
            if (nClose < 0) {
                scan.bParses = false;
                nClose = line.size();
            }
            bGeneral =
                line.sliced(1, nClose - 1).trimmed().compare("general", Qt::CaseInsensitive) == 0;
        } else if (nEquals < 0) {
            scan.bParses = false;
        } else if (DecodesSerialisedValue(line.sliced(nEquals + 1))) {
            (bGeneral ? scan.bDecodesInGeneral : scan.bDecodesElsewhere) = true;
        }
    }
    return scan;
}

// What could not be read is moved aside whole, in one step, before the key is written anew;
// when that fails, the file stays as it is and the key is not written.
bool SetAside(const QString& strFile) {
    const QString strKept = strFile + QStringLiteral(".unreadable");
    if (std::rename(QFile::encodeName(strFile).constData(),
                    QFile::encodeName(strKept).constData()) != 0) {
        return false;
    }
    qCWarning(AppCategory).noquote()
        << "The unreadable" << strFile << "is kept as" << strKept << "and written anew";
    return true;
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
    const SKeyFile file = ReadKeyFile(strFile);
    const char* pszNotRead = nullptr;
    switch (file.nKind) {
    case EKeyFile::Absent:
        break;
    case EKeyFile::NotRegular:
        pszNotRead = "it is not a regular file";
        break;
    case EKeyFile::TooLarge:
        pszNotRead = "it is larger than any configuration";
        break;
    case EKeyFile::Read:
        if (ScanIniFile(file.abContents).bDecodesInGeneral) {
            pszNotRead = "it holds serialised values, which no configuration has";
        }
        break;
    }
    if (pszNotRead != nullptr) {
        qCWarning(AppCategory).noquote()
            << "The configuration in" << strFile << "is not read:" << pszNotRead;
        return false;
    }
    const std::unique_ptr<QSettings> pSettings = OpenKey(KEY_TAVIK);
    if (file.nKind == EKeyFile::Absent || pSettings->status() != QSettings::NoError) {
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
        const SKeyFile file = ReadKeyFile(strFile);
        const SIniScan scan = ScanIniFile(file.abContents);
        // Writing reads the whole file: one that holds a serialised value anywhere, or does not
        // parse (what QSettings could not read would be lost), is first set aside.
        const bool bSetAside = file.nKind == EKeyFile::TooLarge || !scan.bParses ||
                               scan.bDecodesInGeneral || scan.bDecodesElsewhere;
        const char* pszWhy = "";
        if (file.nKind == EKeyFile::NotRegular) {
            // Left as it is: QSettings would block on a FIFO, and a folder is nobody's file.
            pszWhy = ": it is not a regular file";
        } else if (bSetAside && !SetAside(strFile)) {
            pszWhy = ": it is unreadable, and could not be kept aside";
        } else if (WriteKey(key, configuration) == QSettings::NoError) {
            continue;
        }
        qCWarning(AppCategory).noquote()
            << "The configuration could not be written to" << strFile
            << QStringLiteral("(%1)%2").arg(QLatin1String(key.pszKeyName), QLatin1String(pszWhy));
        bAllWritten = false;
    }
    return bAllWritten;
}
