// What tavikctl prints: the instrument as JSON and as the list view's table, and which stream
// each kind of output reaches with --json and --quiet.
#include "cli/CliOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace {

CMolvarInstrument Instrument(const char* pszHost, std::uint32_t dwAddress, const char* pszName,
                             std::uint8_t bInUse = 0, std::uint8_t bClaimed = 0,
                             const char* pszOwner = "", std::uint32_t dwOwner = 0) {
    CMolvarInstrument instrument;
    instrument.SetHostName(pszHost);
    instrument.SetName(pszName);
    instrument.SetOwnerHostName(pszOwner);
    instrument.m_dwIPAddress = dwAddress;
    instrument.m_bInUse = bInUse;
    instrument.m_bClaimed = bClaimed;
    instrument.m_dwOwnerIPAddress = dwOwner;
    return instrument;
}

// What a stream received.
class CCapturedStream {
public:
    CCapturedStream() : m_pFile(std::tmpfile()) {}
    ~CCapturedStream() { std::fclose(m_pFile); }
    std::FILE* File() const { return m_pFile; }
    std::string Text() const {
        std::fflush(m_pFile);
        std::rewind(m_pFile);
        std::string strText;
        char ach[256];
        std::size_t n = 0;
        while ((n = std::fread(ach, 1, sizeof(ach), m_pFile)) > 0) {
            strText.append(ach, n);
        }
        return strText;
    }

private:
    std::FILE* m_pFile;
};

} // namespace

TEST(CliOutput, AnInstrumentIsSevenFieldsAsTheListsShowIt) {
    const QJsonObject unnamed =
        CCliOutput::InstrumentObject(Instrument("tavik-a101", 0x0A4D010B, "", 2));
    EXPECT_EQ(unnamed.size(), 7);
    EXPECT_EQ(unnamed[QStringLiteral("name")], QJsonValue(QString()));
    EXPECT_EQ(unnamed[QStringLiteral("host")], QJsonValue(QStringLiteral("tavik-a101")));
    EXPECT_EQ(unnamed[QStringLiteral("address")], QJsonValue(QStringLiteral("10.77.1.11")));
    EXPECT_EQ(unnamed[QStringLiteral("in_use")], QJsonValue(true)); // "Yes" for any nonzero flag
    EXPECT_EQ(unnamed[QStringLiteral("claimed")], QJsonValue(false));
    EXPECT_TRUE(unnamed[QStringLiteral("owner_host")].isNull());
    EXPECT_TRUE(unnamed[QStringLiteral("owner_address")].isNull());

    // Claimed: the owner as the instrument reports it; the name decoded as Windows-1252.
    const QJsonObject claimed = CCliOutput::InstrumentObject(
        Instrument("tavik-b202", 0x0A4D010C, "B\xE9nch\x80", 0, 7, "lab-pc-7", 0x0A4D014D));
    EXPECT_EQ(claimed[QStringLiteral("name")], QJsonValue(QStringLiteral("B\u00E9nch\u20AC")));
    EXPECT_EQ(claimed[QStringLiteral("claimed")], QJsonValue(true));
    EXPECT_EQ(claimed[QStringLiteral("owner_host")], QJsonValue(QStringLiteral("lab-pc-7")));
    EXPECT_EQ(claimed[QStringLiteral("owner_address")], QJsonValue(QStringLiteral("10.77.1.77")));

    // The configured instrument without a reply: what is not known is null.
    const QJsonObject configured = CCliOutput::ConfiguredObject(
        {QStringLiteral("Lab-7"), QStringLiteral("tavik-a101"), 0x0A4D010B});
    EXPECT_EQ(configured.size(), 7);
    EXPECT_EQ(configured[QStringLiteral("address")], QJsonValue(QStringLiteral("10.77.1.11")));
    EXPECT_TRUE(configured[QStringLiteral("in_use")].isNull());
    EXPECT_TRUE(configured[QStringLiteral("claimed")].isNull());
}

TEST(CliOutput, TheTableHasTheListViewsColumnsAndStatusLine) {
    CInstrumentList list;
    list.MergeDiscovered(
        Instrument("tavik-b202", 0x0A4D010C, "Bench-2", 0, 1, "lab-pc-7", 0x0A4D014D));
    list.MergeDiscovered(Instrument("tavik-a101", 0x0A4D010B, "", 1));
    const QString strTable = CCliOutput::ListTable(list);
    const QStringList listLines = strTable.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(listLines.size(), 4);
    EXPECT_TRUE(listLines[0].startsWith(QLatin1String("Instrument name")));
    EXPECT_TRUE(listLines[0].contains(QLatin1String("Owner address")));
    // By address, as the list keeps them; the columns line up.
    EXPECT_EQ(listLines[1].simplified(),
              QStringLiteral("Unnamed tavik-a101 [10.77.1.11] Yes {none}"));
    EXPECT_EQ(listLines[2].simplified(),
              QStringLiteral("Bench-2 tavik-b202 [10.77.1.12] No lab-pc-7 [10.77.1.77]"));
    EXPECT_EQ(listLines[1].indexOf(QLatin1String("tavik-")),
              listLines[2].indexOf(QLatin1String("tavik-")));
    EXPECT_EQ(listLines[3], QStringLiteral("2 instruments found"));

    EXPECT_EQ(CCliOutput::ListTable(CInstrumentList()), QStringLiteral("No instruments found\n"));

    const QJsonArray instruments =
        CCliOutput::ListObject(list)[QStringLiteral("instruments")].toArray();
    ASSERT_EQ(instruments.size(), 2);
    EXPECT_EQ(instruments[0].toObject()[QStringLiteral("host")].toString(),
              QStringLiteral("tavik-a101"));
}

TEST(CliOutput, JsonAndQuietDecideWhatReachesStandardOutput) {
    const QJsonObject document{{QStringLiteral("result"), QStringLiteral("done")}};
    {
        CCapturedStream out, err;
        const CCliOutput output(false, false, out.File(), err.File());
        output.Text(QStringLiteral("You have claimed the instrument."));
        output.Json(document);
        output.Error(QStringLiteral("two\nlines"));
        EXPECT_EQ(out.Text(), "You have claimed the instrument.\n");
        EXPECT_EQ(err.Text(), "tavikctl: two lines\n"); // an error is one line
    }
    {
        CCapturedStream out, err;
        const CCliOutput output(true, false, out.File(), err.File());
        output.Text(QStringLiteral("not with --json"));
        output.Json(document);
        const QJsonDocument parsed = QJsonDocument::fromJson(QByteArray::fromStdString(out.Text()));
        QJsonObject versioned = document; // every document carries its format's version
        versioned[QStringLiteral("version")] = 1;
        EXPECT_EQ(parsed.object(), versioned);
        EXPECT_EQ(err.Text(), "");
        CCapturedStream line;
        const CCliOutput watch(true, false, line.File(), err.File());
        watch.Json(document, true);
        watch.Json(document, true);
        EXPECT_EQ(line.Text(),
                  "{\"result\":\"done\",\"version\":1}\n{\"result\":\"done\",\"version\":1}\n");
    }
    {
        CCapturedStream out, err;
        const CCliOutput output(false, true, out.File(), err.File());
        output.Text(QStringLiteral("nothing with --quiet"));
        output.Json(document);
        output.Error(QStringLiteral("errors still"));
        EXPECT_EQ(out.Text(), "");
        EXPECT_EQ(err.Text(), "tavikctl: errors still\n");
    }
}

TEST(CliOutput, AdaptersAreListedWithTheOneInUse) {
    const std::vector<SNetworkAdapter> listAdapters = {
        {ADAPTER_TYPE_ETHERNET, "eth0 (veth)", "10.77.1.1", "255.255.255.0"},
        {ADAPTER_TYPE_OTHER, "tun0", "10.8.0.2", "255.255.255.255"}};
    const QJsonObject document = CCliOutput::AdaptersObject(listAdapters, 0);
    EXPECT_EQ(document[QStringLiteral("chosen")], QJsonValue(QStringLiteral("eth0")));
    const QJsonArray adapters = document[QStringLiteral("adapters")].toArray();
    ASSERT_EQ(adapters.size(), 2);
    EXPECT_EQ(adapters[0].toObject()[QStringLiteral("broadcast")].toString(),
              QStringLiteral("10.77.1.255"));
    EXPECT_TRUE(adapters[0].toObject()[QStringLiteral("qualifies")].toBool());
    EXPECT_FALSE(adapters[1].toObject()[QStringLiteral("ethernet")].toBool());
    EXPECT_EQ(adapters[1].toObject()[QStringLiteral("broadcast")].toString(),
              QStringLiteral("255.255.255.255"));
    EXPECT_TRUE(
        CCliOutput::AdaptersObject(listAdapters, std::nullopt)[QStringLiteral("chosen")].isNull());
    EXPECT_TRUE(CCliOutput::AdaptersTable(listAdapters, 0).contains(QLatin1String("in use: eth0")));
    EXPECT_TRUE(
        CCliOutput::AdaptersTable(listAdapters, std::nullopt).contains(QLatin1String("--adapter")));
}

TEST(CliOutput, ForeignTextIsShownEscapedNeverAsTerminalControl) {
    using namespace std::literals;
    const struct {
        std::u16string_view strText;
        const char* pszShown;
    } aCases[] = {
        {u"\x1b]0;owned\a"sv, R"(\x1b]0;owned\a)"},       // sets the terminal's title
        {u"\x1b[2J"sv, R"(\x1b[2J)"},                     // clears the screen
        {u"Lab-7\nForged row"sv, R"(Lab-7\nForged row)"}, // a row of its own in the table
        {u"\x9b"
         u"8m hidden"sv,
         R"(\x9b8m hidden)"},                          // CSI as one C1 character
        {u"Del\x7f\t\r\0!"sv, R"(Del\x7f\t\r\x00!)"},  // DEL, the C escapes, NUL
        {u"C:\\x1b"sv, R"(C:\\x1b)"},                  // a backslash is not an escape
        {u"B\u00e9nch \u20ac"sv, "B\u00e9nch \u20ac"}, // printable text as it is
    };
    for (const auto& test : aCases) {
        EXPECT_EQ(CCliOutput::Escaped(QString::fromStdU16String(std::u16string(test.strText)))
                      .toStdString(),
                  test.pszShown);
    }

    // In the table a name and an owner stay within their row, and in JSON they are data.
    CInstrumentList list;
    list.MergeDiscovered(Instrument("tavik-a101\x1b[2J", 0x0A4D010B, "Evil\n10.77.1.9 No {none}", 0,
                                    1, "pc\x1b]0;x\x07", 0x0A4D014D));
    const QStringList listLines =
        CCliOutput::ListTable(list).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(listLines.size(), 3);
    EXPECT_EQ(listLines[1].simplified(),
              QStringLiteral(R"(Evil\n10.77.1.9 No {none} tavik-a101\x1b[2J [10.77.1.11] No )"
                             R"(pc\x1b]0;x\a [10.77.1.77])"));
    EXPECT_EQ(CCliOutput::InstrumentObject(*list.begin())[QStringLiteral("name")].toString(),
              QStringLiteral("Evil\n10.77.1.9 No {none}"));

    // Whatever text reaches standard output or error, no control character but a line's end.
    CCapturedStream out, err;
    const CCliOutput output(false, false, out.File(), err.File());
    output.Text(QStringLiteral("Claimed by pc\x1b[2J\nInstrument name: \x9b"));
    output.Error(QStringLiteral("the instrument is named '\x07\n'"));
    EXPECT_EQ(out.Text(), "Claimed by pc\\x1b[2J\nInstrument name: \\x9b\n");
    EXPECT_EQ(err.Text(), "tavikctl: the instrument is named '\\a '\n");
}
