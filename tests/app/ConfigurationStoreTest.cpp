// The configuration store: what a load makes of each thing it may find under "Software\Tavik",
// and a save that writes every key it can.
#include "app/ConfigurationStore.h"

#include "tests/support/TestSettingsHome.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

// Writes a key's file by hand, as another program (or an older version) may have left it.
void WriteKeyFile(const QString& strPath, const QByteArray& strContent) {
    QDir().mkpath(QFileInfo(strPath).path());
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[General]\n" + strContent);
}

// What a save left under a key, read back the way the family's other software reads it.
SConfiguration ReadBack(const SSettingsKey& key) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, key.pszOrganization,
                       key.pszApplication);
    return {settings.value(CConfigurationStore::VALUE_INSTRUMENT_NAME).toString(),
            settings.value(CConfigurationStore::VALUE_INSTRUMENT_HOST_NAME).toString(),
            settings.value(CConfigurationStore::VALUE_INSTRUMENT_IP_ADDRESS).toUInt()};
}

// Each in a home of its own: QSettings keeps what it parsed while a file's size and time stay
// the same, and hand-written files follow each other quickly here.
SConfiguration Loaded(const QByteArray& strContent, bool* pbLoaded = nullptr) {
    const CTestSettingsHome home;
    WriteKeyFile(CConfigurationStore::FileName(CConfigurationStore::KEY_TAVIK), strContent);
    SConfiguration configuration{"before", "before", 99};
    const bool bLoaded = CConfigurationStore::Load(configuration);
    if (pbLoaded != nullptr) {
        *pbLoaded = bLoaded;
    }
    return configuration;
}

// Collects the warnings of "tavik.app" while it lives.
class CWarningCollector {
public:
    CWarningCollector() {
        s_pCollector = this;
        m_fnPrevious = qInstallMessageHandler(&CWarningCollector::Handle);
    }
    ~CWarningCollector() {
        qInstallMessageHandler(m_fnPrevious);
        s_pCollector = nullptr;
    }
    std::vector<QString> m_listWarnings;

private:
    static void Handle(QtMsgType nType, const QMessageLogContext& context,
                       const QString& strMessage) {
        if (nType == QtWarningMsg && context.category != nullptr &&
            qstrcmp(context.category, "tavik.app") == 0) {
            s_pCollector->m_listWarnings.push_back(strMessage);
        }
    }
    static inline CWarningCollector* s_pCollector = nullptr;
    QtMessageHandler m_fnPrevious;
};

TEST(ConfigurationStore, TheKeysLiveWhereTheFamilysOtherSoftwareLooks) {
    CTestSettingsHome home;
    EXPECT_EQ(CConfigurationStore::FileName(CConfigurationStore::KEY_TAVIK),
              home.FilePath("Tavik.conf"));
    EXPECT_EQ(CConfigurationStore::FileName(CConfigurationStore::KEY_NORVASK_TAVIK),
              home.FilePath("Norvask/Tavik.conf"));
    EXPECT_EQ(CConfigurationStore::FileName(CConfigurationStore::KEY_QUORITH_MOLVAR),
              home.FilePath("Quorith/Molvar.conf"));
}

TEST(ConfigurationStore, NoKeyLeavesTheConfigurationAndTheFirstSaveCreatesAllThree) {
    CTestSettingsHome home;
    SConfiguration configuration;
    EXPECT_FALSE(CConfigurationStore::Load(configuration));
    EXPECT_TRUE(configuration.strInstrumentName.isEmpty());
    EXPECT_TRUE(configuration.strInstrumentHostName.isEmpty());
    EXPECT_EQ(configuration.dwInstrumentIPAddress, 0u);

    EXPECT_TRUE(CConfigurationStore::Save(configuration));
    for (const SSettingsKey& key : CConfigurationStore::SAVED_KEYS) {
        ASSERT_TRUE(QFileInfo::exists(CConfigurationStore::FileName(key))) << key.pszKeyName;
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, key.pszOrganization,
                           key.pszApplication);
        EXPECT_EQ(settings.value("strInstrumentName"), QVariant(QString()));
        EXPECT_EQ(settings.value("strInstrumentHostName"), QVariant(QString()));
        EXPECT_EQ(settings.value("dwInstrumentIPAddress").toString(), "0");
    }
    // An empty name reads back as an empty name, not as "{none}".
    SConfiguration reloaded{"x", "y", 5};
    EXPECT_TRUE(CConfigurationStore::Load(reloaded));
    EXPECT_TRUE(reloaded.strInstrumentName.isEmpty());
    EXPECT_TRUE(reloaded.strInstrumentHostName.isEmpty());
    EXPECT_EQ(reloaded.dwInstrumentIPAddress, 0u);
}

TEST(ConfigurationStore, OnlyTheTavikKeyIsReadAndASaveOverwritesTheOthers) {
    CTestSettingsHome home;
    WriteKeyFile(home.FilePath("Norvask/Tavik.conf"),
                 "strInstrumentName=Old\nstrInstrumentHostName=old\ndwInstrumentIPAddress=5\n");
    WriteKeyFile(home.FilePath("Quorith/Molvar.conf"),
                 "strInstrumentName=Old\nstrInstrumentHostName=old\ndwInstrumentIPAddress=5\n");
    SConfiguration configuration;
    EXPECT_FALSE(CConfigurationStore::Load(configuration));
    EXPECT_TRUE(configuration.strInstrumentName.isEmpty());

    CConfigurationStore::Save(configuration);
    for (const SSettingsKey& key : CConfigurationStore::SAVED_KEYS) {
        const SConfiguration saved = ReadBack(key);
        EXPECT_TRUE(saved.strInstrumentName.isEmpty()) << key.pszKeyName;
        EXPECT_TRUE(saved.strInstrumentHostName.isEmpty()) << key.pszKeyName;
        EXPECT_EQ(saved.dwInstrumentIPAddress, 0u) << key.pszKeyName;
    }
}

TEST(ConfigurationStore, AConfigurationSurvivesASaveAndALoad) {
    CTestSettingsHome home;
    const QString astrNames[] = {"Lab-1",
                                 "a, b",
                                 "@Variant(x)",
                                 "{none}",
                                 QString::fromUtf8("Mess-Stand ä € 測"),
                                 "  spaced  ",
                                 "semi;colon=\"quoted\"\\",
                                 "Lab @Variant(1)",
                                 "@DateTime(2)",
                                 "\\x40Variant(3) \\@Variant(4)",
                                 " \"@Variant(5)\", @Variant(6)",
                                 "\x01@Variant(7)\x1f"};
    for (const QString& strName : astrNames) {
        const SConfiguration saved{strName, strName, 0x0A000005};
        ASSERT_TRUE(CConfigurationStore::Save(saved));
        SConfiguration loaded;
        ASSERT_TRUE(CConfigurationStore::Load(loaded)) << strName.toStdString();
        EXPECT_EQ(loaded.strInstrumentName, strName);
        EXPECT_EQ(loaded.strInstrumentHostName, strName);
        EXPECT_EQ(loaded.dwInstrumentIPAddress, 0x0A000005u);
    }
    // 10.0.0.5 is kept as the unsigned number 0x0A000005, first octet most significant.
    QFile file(home.FilePath("Tavik.conf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("dwInstrumentIPAddress=167772165"));

    ASSERT_TRUE(CConfigurationStore::Save({"x", "y", 0xFFFFFFFF}));
    SConfiguration loaded;
    ASSERT_TRUE(CConfigurationStore::Load(loaded));
    EXPECT_EQ(loaded.dwInstrumentIPAddress, 0xFFFFFFFFu);
}

TEST(ConfigurationStore, TextsThatAreNotPlainStringsReadAsNone) {
    // A list and a byte array are values of other types; a missing value too. (A file with a
    // serialised variant is not read at all: see below.)
    for (const QByteArray& strValue :
         {QByteArray("a, b"), QByteArray("@ByteArray(Lab-1)"), QByteArray("@Invalid()")}) {
        const SConfiguration loaded =
            Loaded("strInstrumentName=" + strValue + "\ndwInstrumentIPAddress=7\n");
        EXPECT_EQ(loaded.strInstrumentName, "{none}") << strValue.constData();
        EXPECT_EQ(loaded.strInstrumentHostName, "{none}") << strValue.constData();
        EXPECT_EQ(loaded.dwInstrumentIPAddress, 7u);
    }
    const SConfiguration loaded = Loaded("strInstrumentName=\nstrInstrumentHostName=h\n");
    EXPECT_EQ(loaded.strInstrumentName, "");
    EXPECT_EQ(loaded.strInstrumentHostName, "h");
    EXPECT_EQ(loaded.dwInstrumentIPAddress, 0u); // missing
}

TEST(ConfigurationStore, AnAddressThatIsNotAnUnsigned32BitNumberReadsAsZero) {
    for (const QByteArray& strValue :
         {QByteArray("10.0.0.5"), QByteArray("abc"), QByteArray("-5"), QByteArray("+5"),
          QByteArray("4294967296"), QByteArray("0x0A000005"), QByteArray("@ByteArray(5)"),
          QByteArray("1, 2"), QByteArray("")}) {
        const SConfiguration loaded =
            Loaded("strInstrumentName=Lab-1\ndwInstrumentIPAddress=" + strValue + "\n");
        EXPECT_EQ(loaded.dwInstrumentIPAddress, 0u) << strValue.constData();
        EXPECT_EQ(loaded.strInstrumentName, "Lab-1");
    }
    EXPECT_EQ(Loaded("dwInstrumentIPAddress=4294967295\n").dwInstrumentIPAddress, 0xFFFFFFFFu);
    EXPECT_EQ(Loaded("dwInstrumentIPAddress=007\n").dwInstrumentIPAddress, 7u);
}

TEST(ConfigurationStore, AnUnreadableTavikKeyLeavesTheConfigurationAsItWas) {
    CTestSettingsHome home;
    ASSERT_TRUE(QDir().mkpath(home.FilePath("Tavik.conf"))); // a folder where the file goes
    SConfiguration configuration{"kept", "kept", 3};
    EXPECT_FALSE(CConfigurationStore::Load(configuration));
    EXPECT_EQ(configuration.strInstrumentName, "kept");
    EXPECT_EQ(configuration.dwInstrumentIPAddress, 3u);
}

// A file that does not parse (damaged, or left by another program) is one QSettings never
// writes over: it is kept aside, and the key is written afresh, so that what the user chose
// this run is what the next start reads.
TEST(ConfigurationStore, AFileThatDoesNotParseIsKeptAsideAndTheKeyWrittenAfresh) {
    CTestSettingsHome home;
    const QByteArray damaged = "[Gen=0\nGeneral]\nstrInstrumentName=old\n";
    for (const char* pszFile : {"Tavik.conf", "Norvask/Tavik.conf"}) {
        QDir().mkpath(QFileInfo(home.FilePath(pszFile)).path());
        QFile file(home.FilePath(pszFile));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }
    SConfiguration loaded{"kept", "kept", 3};
    EXPECT_FALSE(CConfigurationStore::Load(loaded));

    CWarningCollector warnings;
    EXPECT_TRUE(CConfigurationStore::Save({"Lab-1", "inst7", 0xC0A80114}));
    SConfiguration reloaded;
    ASSERT_TRUE(CConfigurationStore::Load(reloaded));
    EXPECT_EQ(reloaded.strInstrumentName, "Lab-1");
    EXPECT_EQ(ReadBack(CConfigurationStore::KEY_NORVASK_TAVIK).strInstrumentName, "Lab-1");
    for (const char* pszFile : {"Tavik.conf", "Norvask/Tavik.conf"}) {
        QFile kept(home.FilePath(pszFile) + ".unreadable");
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << pszFile;
        EXPECT_EQ(kept.readAll(), damaged);
    }
    EXPECT_EQ(warnings.m_listWarnings.size(), 2u);
}

// A serialised value is read by QDataStream, and an image among them can ask for gigabytes as
// QSettings opens the file; no configuration holds one, so such a file is never opened.
TEST(ConfigurationStore, AFileHoldingASerialisedValueIsNeitherReadNorParsedButKeptAside) {
    CTestSettingsHome home;
    const QByteArray hostile = "[General]\nstrInstrumentName=old\n"
                               "dwInstrumentIPAddress=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\0)\n";
    QFile file(home.FilePath("Tavik.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(hostile);
    file.close();
    SConfiguration loaded{"kept", "kept", 3};
    CWarningCollector warnings;
    EXPECT_FALSE(CConfigurationStore::Load(loaded));
    EXPECT_EQ(loaded.strInstrumentName, "kept");

    EXPECT_TRUE(CConfigurationStore::Save({"Lab-1", "inst7", 0xC0A80114}));
    SConfiguration reloaded;
    ASSERT_TRUE(CConfigurationStore::Load(reloaded));
    EXPECT_EQ(reloaded.dwInstrumentIPAddress, 0xC0A80114u);
    QFile kept(home.FilePath("Tavik.conf") + ".unreadable");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), hostile);
    EXPECT_EQ(warnings.m_listWarnings.size(), 2u);
}

// QSettings decodes every value of the [General] section as it reads one, and every value of the
// file as it writes: a file is kept from it exactly when one of them, unescaped as it does,
// begins with the marker of a serialised value, never for a plain text that mentions one.
TEST(ConfigurationStore, AFileIsKeptFromQSettingsExactlyWhenItWouldDecodeASerialisedValue) {
    const std::tuple<const char*, bool, bool> cases[] = {
        // lines, read at start, set aside
        {"strInstrumentName=\\x40Variant(\\0)\n", false, true},
        {"strInstrumentName= \"@DateTime(\\0)\" \n", false, true},
        {"other=a, \\100Variant(\\0)\n", false, true},
        {"[Other]\nx=@Variant(\\0)\n", true, true},
        {"strInstrumentName=x;@Variant(\\0)\n", true, false},
        {"strInstrumentName=@@Variant(\\0)\nx=@Variant(\\0\n", true, false}};
    for (const auto& [pszLines, bRead, bSetAside] : cases) {
        SCOPED_TRACE(pszLines);
        const CTestSettingsHome home;
        WriteKeyFile(home.FilePath("Tavik.conf"), pszLines);
        SConfiguration loaded;
        EXPECT_EQ(CConfigurationStore::Load(loaded), bRead);
        EXPECT_TRUE(CConfigurationStore::Save(loaded));
        EXPECT_EQ(QFileInfo::exists(home.FilePath("Tavik.conf.unreadable")), bSetAside);
    }
}

// A byte order mark (as some editors write one) is read with the line that follows it; where
// that line is no key, QSettings cannot write over the file, which is then kept aside.
TEST(ConfigurationStore, AFileOpeningWithAByteOrderMarkIsReadAndKeptAsideWhenQSettingsWouldFail) {
    const std::tuple<const char*, bool> cases[] = {
        // file, set aside
        {"\xEF\xBB\xBFstrInstrumentName=Lab-1\n", false},
        {"\xEF\xBB\xBF[General]\nstrInstrumentName=Lab-1\n", true},
        {"\xEF\xBB\xBF\n; comment\nstrInstrumentName=Lab-1\n", true}};
    for (const auto& [pszFile, bSetAside] : cases) {
        SCOPED_TRACE(pszFile);
        const CTestSettingsHome home;
        QFile file(home.FilePath("Tavik.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(pszFile);
        file.close();
        SConfiguration loaded;
        ASSERT_TRUE(CConfigurationStore::Load(loaded));
        EXPECT_EQ(loaded.strInstrumentName, "Lab-1");
        EXPECT_TRUE(CConfigurationStore::Save(loaded));
        EXPECT_EQ(QFileInfo::exists(home.FilePath("Tavik.conf.unreadable")), bSetAside);
        EXPECT_EQ(ReadBack(CConfigurationStore::KEY_TAVIK).strInstrumentName, "Lab-1");
    }
}

// A key's file that is no configuration: a FIFO would block the start (a device fill the memory)
// and is neither read nor written over; a file too large is not read, but set aside whole before
// the key is written anew; one that cannot be set aside stays as it was.
TEST(ConfigurationStore, AFileThatIsNoConfigurationNeitherBlocksNorIsLost) {
    CTestSettingsHome home;
    const QByteArray fifo = QFile::encodeName(home.FilePath("Tavik.conf"));
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    const QByteArray large = "strInstrumentName=big\n" + QByteArray(1 << 20, ';');
    WriteKeyFile(home.FilePath("Norvask/Tavik.conf"), large);
    const QByteArray hostile = "strInstrumentName=@Variant(\\0)\n";
    WriteKeyFile(home.FilePath("Quorith/Molvar.conf"), hostile);
    ASSERT_TRUE(QDir().mkpath(home.FilePath("Quorith/Molvar.conf.unreadable/in-the-way")));
    CWarningCollector warnings;
    SConfiguration loaded;
    alarm(30); // a start that blocks on the FIFO ends the test
    EXPECT_FALSE(CConfigurationStore::Load(loaded));
    EXPECT_FALSE(CConfigurationStore::Save({"Lab-1", "inst7", 1}));
    alarm(0);
    EXPECT_FALSE(QFileInfo(home.FilePath("Tavik.conf")).isFile()); // the FIFO, left as it is
    EXPECT_EQ(ReadBack(CConfigurationStore::KEY_NORVASK_TAVIK).strInstrumentName, "Lab-1");
    QFile kept(home.FilePath("Norvask/Tavik.conf.unreadable"));
    QFile stayed(home.FilePath("Quorith/Molvar.conf"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly) && stayed.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "[General]\n" + large);
    EXPECT_EQ(stayed.readAll(), "[General]\n" + hostile);
    EXPECT_EQ(warnings.m_listWarnings.size(), 4u); // one per file
}

// The program was meant to stop at the first key it could not write; it writes the others all
// the same, so that the key it reads back at the next start is not lost to the first one.
TEST(ConfigurationStore, AKeyThatCannotBeWrittenCostsNoOtherKeyAndIsLogged) {
    CTestSettingsHome home;
    QFile blocker(home.FilePath("Norvask"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder must go
    blocker.close();

    CWarningCollector warnings;
    EXPECT_FALSE(CConfigurationStore::Save({"Lab-1", "inst7", 0xC0A80114}));
    EXPECT_FALSE(QFileInfo::exists(home.FilePath("Norvask/Tavik.conf")));
    for (const SSettingsKey& key :
         {CConfigurationStore::KEY_TAVIK, CConfigurationStore::KEY_QUORITH_MOLVAR}) {
        const SConfiguration saved = ReadBack(key);
        EXPECT_EQ(saved.strInstrumentName, "Lab-1") << key.pszKeyName;
        EXPECT_EQ(saved.strInstrumentHostName, "inst7") << key.pszKeyName;
        EXPECT_EQ(saved.dwInstrumentIPAddress, 0xC0A80114u) << key.pszKeyName;
    }
    ASSERT_EQ(warnings.m_listWarnings.size(), 1u);
    EXPECT_TRUE(warnings.m_listWarnings[0].contains(home.FilePath("Norvask/Tavik.conf")))
        << warnings.m_listWarnings[0].toStdString();

    // The same for the key that is read, blocked by a folder in the file's place.
    blocker.remove();
    ASSERT_TRUE(QFile::remove(home.FilePath("Tavik.conf")));
    ASSERT_TRUE(QDir().mkpath(home.FilePath("Tavik.conf")));
    warnings.m_listWarnings.clear();
    EXPECT_FALSE(CConfigurationStore::Save({"Lab-2", "inst8", 1}));
    EXPECT_EQ(ReadBack(CConfigurationStore::KEY_NORVASK_TAVIK).strInstrumentName, "Lab-2");
    EXPECT_EQ(ReadBack(CConfigurationStore::KEY_QUORITH_MOLVAR).strInstrumentName, "Lab-2");
    ASSERT_EQ(warnings.m_listWarnings.size(), 1u);
    EXPECT_TRUE(warnings.m_listWarnings[0].contains(home.FilePath("Tavik.conf")));
}

} // namespace
