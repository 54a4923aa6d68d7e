// The configuration store on hostile files: the input's bytes stand in turn for each of the
// three files, the other two holding a sound configuration. Only "Software\Tavik" is read, so
// bytes in either of the others must change nothing that is loaded; whatever is loaded is saved
// under all three keys and must read back exactly as it was saved; no serialised value is ever
// decoded. A name and a host name that a claim can store must read back at the next start.
#include "app/ConfigurationStore.h"
#include "fuzz/FuzzCheck.h"
#include "platform/AnsiCodePage.h"
#include "protocol/InstrumentName.h"
#include "tests/support/TestSettingsHome.h"

#include <QApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cstring>
#include <memory>

// Built only when QSettings decodes a serialised value (seeds hide some behind escapes, quotes).
struct SDecodeTrap {
    static inline bool s_bDecoded = false;
};
Q_DECLARE_METATYPE(SDecodeTrap)
QDataStream& operator<<(QDataStream& stream, const SDecodeTrap&) {
    return stream;
}
QDataStream& operator>>(QDataStream& stream, SDecodeTrap&) {
    SDecodeTrap::s_bDecoded = true;
    return stream;
}

namespace {

const char* const FILES[3] = {"Norvask/Tavik.conf", "Tavik.conf", "Quorith/Molvar.conf"};

const QByteArray SOUND_FILE = "[General]\n"
                              "strInstrumentName=Lab-1\n"
                              "strInstrumentHostName=inst7\n"
                              "dwInstrumentIPAddress=3232235796\n";

bool Equal(const SConfiguration& a, const SConfiguration& b) {
    return a.strInstrumentName == b.strInstrumentName &&
           a.strInstrumentHostName == b.strInstrumentHostName &&
           a.dwInstrumentIPAddress == b.dwInstrumentIPAddress;
}

void WriteFile(const QString& strPath, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(strPath).path());
    QFile file(strPath);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
}

// What one of the other keys holds, read as the family's other programs read it.
SConfiguration ReadKey(const SSettingsKey& key) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromLatin1(key.pszOrganization),
                       QString::fromLatin1(key.pszApplication));
    SConfiguration configuration;
    configuration.strInstrumentName =
        settings.value(CConfigurationStore::VALUE_INSTRUMENT_NAME).toString();
    configuration.strInstrumentHostName =
        settings.value(CConfigurationStore::VALUE_INSTRUMENT_HOST_NAME).toString();
    configuration.dwInstrumentIPAddress =
        settings.value(CConfigurationStore::VALUE_INSTRUMENT_IP_ADDRESS).toUInt();
    return configuration;
}

void TryFile(int nFile, const QByteArray& bytes) {
    // A folder of its own for every try: QSettings keeps what it parsed per file path.
    const CTestSettingsHome home;
    for (int i = 0; i < 3; ++i) {
        WriteFile(home.FilePath(QString::fromLatin1(FILES[i])), i == nFile ? bytes : SOUND_FILE);
    }

    SConfiguration untouched;
    untouched.strInstrumentName = QStringLiteral("untouched");
    untouched.dwInstrumentIPAddress = 7;
    SConfiguration loaded = untouched;
    const bool bLoaded = CConfigurationStore::Load(loaded);
    if (FILES[nFile] != QLatin1String("Tavik.conf")) {
        const SConfiguration sound{QStringLiteral("Lab-1"), QStringLiteral("inst7"), 0xC0A80114};
        FUZZ_CHECK(bLoaded && Equal(loaded, sound));
    } else if (!bLoaded) {
        FUZZ_CHECK(Equal(loaded, untouched));
    }

    FUZZ_CHECK(CConfigurationStore::Save(loaded));
    SConfiguration reloaded;
    FUZZ_CHECK(CConfigurationStore::Load(reloaded));
    FUZZ_CHECK(Equal(reloaded, loaded));
    FUZZ_CHECK(Equal(ReadKey(CConfigurationStore::KEY_NORVASK_TAVIK), loaded));
    FUZZ_CHECK(Equal(ReadKey(CConfigurationStore::KEY_QUORITH_MOLVAR), loaded));
    FUZZ_CHECK(!SDecodeTrap::s_bDecoded);
}

// A name as typed (UTF-16, if the name rule takes it) or reported (8-bit text), and a reported host
// name, read at the next start: each file as saved, in a home where QSettings has cached nothing.
void TryNames(const QByteArray& bytes) {
    std::u16string strTyped(std::min<std::size_t>(bytes.size() / 2, 63), u'\0');
    std::memcpy(strTyped.data(), bytes.constData(), strTyped.size() * 2);
    const QString strReported = QString::fromStdU16String(
        AnsiToWide(std::string_view(bytes.constData(), qstrnlen(bytes.constData(), 63))));
    const bool bTyped = CheckInstrumentName(strTyped) == ENameCheck::Valid;
    const SConfiguration saved{bTyped ? QString::fromStdU16String(strTyped) : strReported,
                               strReported, 0x0A4D010B};
    const CTestSettingsHome home;
    FUZZ_CHECK(CConfigurationStore::Save(saved));
    for (const SSettingsKey& key : CConfigurationStore::SAVED_KEYS) {
        QFile file(CConfigurationStore::FileName(key));
        FUZZ_CHECK(file.open(QIODevice::ReadOnly));
        const CTestSettingsHome next;
        WriteFile(CConfigurationStore::FileName(key), file.readAll());
        SConfiguration loaded = ReadKey(key);
        FUZZ_CHECK(std::strcmp(key.pszKeyName, "Software\\Tavik") != 0 ||
                   CConfigurationStore::Load(loaded));
        FUZZ_CHECK(Equal(loaded, saved));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* pnArgc, char*** pppArgv) {
    // Every try writes six files, each synced to its disk: in memory where there is room.
    if (qEnvironmentVariableIsEmpty("TMPDIR") &&
        QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
        qputenv("TMPDIR", "/dev/shm");
    }
    // The store's warnings about the files the input damaged would cost more than the try.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    // The program reads the files with its windows' application object in place, and a value
    // stored as a serialised variant may be of any type that Qt's libraries register, images
    // among them, which need it.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static QApplication app(*pnArgc, *pppArgv);
    qRegisterMetaType<SDecodeTrap>("SDecodeTrap");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbData, std::size_t nSize) {
    const QByteArray bytes(reinterpret_cast<const char*>(pbData), static_cast<qsizetype>(nSize));
    for (int nFile = 0; nFile < 3; ++nFile) {
        TryFile(nFile, bytes);
    }
    TryNames(bytes);
    return 0;
}
