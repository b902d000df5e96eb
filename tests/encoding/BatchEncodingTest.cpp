// The executable end to end on index, code and description files saved in
// each encoding, read back with an independent SQLite connection; the summary
// on stdout and the listing on stderr compared as text.
#include "encoding/EncodedText.h"
#include "support/BatchRunner.h"
#include "support/SqliteReader.h"
#include "support/PrintQString.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::string>;

const QStringList kIndex = {
    QString::fromUtf16(u"M\u00E9ni\u00E8re's Guide"),
    QString::fromUtf16(u"  Friedl\u00E4nder pneumonia~friedl\u00E4nder.pdf~"),
    QString::fromUtf16(u"  Children's \u201CEar\u201D care \u2013 \u20AC5~children.doc~"),
    QString::fromUtf16(u"    Caf\u00E9~caf\u00E9.pdf~"),
};

const QStringList kCodes = {
    QString::fromUtf16(u"m\u00E9ni\u00E8re.doc, H81.0 H81.01"),
    QString::fromUtf16(u"friedl\u00E4nder.pdf, J15.0 \u00C41"),
};

const QStringList kDescriptions = {
    QString::fromUtf16(u"\"H81.0 \",\"M\u00E9ni\u00E8re's disease\""),
    QString::fromUtf16(u"\"J15.0 \",\"Friedl\u00E4nder's pneumonia\""),
    QString::fromUtf16(u"\"H81.01\",\"Children's vertigo \u2013 right ear\""),
};

// What the three files give, whatever they were saved as (UTF-8 as SQLite
// holds it). Topics after the first are stored with one trailing space.
const Rows kTopics = {
    "M\xC3\xA9ni\xC3\xA8re's Guide||0|1",
    "Friedl\xC3\xA4nder pneumonia |ADU_friedl\xC3\xA4nder_pdf.htm|1|0",
    "Children's \xE2\x80\x9C"
    "Ear\xE2\x80\x9D care \xE2\x80\x93 \xE2\x82\xAC"
    "5 |ADU_children_doc.htm|1|1",
    "Caf\xC3\xA9 |ADU_caf\xC3\xA9_pdf.htm|3|0",
};

const Rows kCodeRows = {
    "H81.0|doc\\m\xC3\xA9ni\xC3\xA8re.htm|M\xC3\xA9ni\xC3\xA8re's disease",
    "H81.01|doc\\m\xC3\xA9ni\xC3\xA8re.htm|Children's vertigo \xE2\x80\x93 right ear",
    "J15.0|pdf\\friedl\xC3\xA4nder.htm|Friedl\xC3\xA4nder's pneumonia",
    "\xC3\x84"
    "1|pdf\\friedl\xC3\xA4nder.htm|",
};

struct BatchEncoding : ::testing::Test {
    QTemporaryDir dir;
    QString db;
    QString folder;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        db = dir.filePath(QStringLiteral("velk.db"));
        folder = dir.path() + u'/';
    }

    void write(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    BatchResult run(const QString& action, const QString& file = QString())
    {
        QStringList args = { db };
        args << action.split(u' ');
        if (!file.isEmpty())
            args << folder << file;
        return runVelkindex(args);
    }

    // Creates the database with the coding system ICD in it.
    void seed()
    {
        write(QStringLiteral("seed.txt"), "Seed\r\n");
        const BatchResult r = run(QStringLiteral("topic create SEED SEE"), QStringLiteral("seed.txt"));
        ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
        SqliteReader admin(db.toStdString());
        ASSERT_TRUE(admin.exec("INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD')")) << admin.error();
    }

    Rows topics()
    {
        // Parents by position within the module, so the rows do not depend on identifiers.
        SqliteReader reader(db.toStdString());
        return reader.rows("SELECT t.Description, t.PatEdDocument, "
                           "coalesce((SELECT count(*) FROM topics p WHERE p.ModuleID = t.ModuleID AND p.TopicID <= "
                           "t.ParentID), 0), t.HasChild FROM topics t JOIN modules m USING (ModuleID) "
                           "WHERE m.ModuleName = 'ADULT' ORDER BY t.TopicID");
    }

    Rows codes()
    {
        SqliteReader reader(db.toStdString());
        return reader.rows("SELECT trim(c.Code), c.PatEdDocument, c.Description FROM codes c JOIN codingsystems s "
                           "USING (CodingSystemID) WHERE s.CodingSystemName = 'ICD' ORDER BY c.Code");
    }

    Rows dump()
    {
        SqliteReader reader(db.toStdString());
        Rows all;
        for (const char* table : { "modules", "topics", "codingsystems", "codes", "patEdDefaults" })
            for (const auto& row : reader.rows(std::string("SELECT * FROM ") + table + " ORDER BY 1"))
                all.push_back(std::string(table) + ": " + row);
        return all;
    }

    // Stores the three files in `form`: the module ADULT and the codes of ICD.
    void loadAll(SavedAs form)
    {
        write(QStringLiteral("index.txt"), savedText(kIndex, form));
        write(QStringLiteral("codes.txt"), savedText(kCodes, form));
        write(QStringLiteral("descriptions.txt"), savedText(kDescriptions, form));

        BatchResult r = run(QStringLiteral("topic create ADULT ADU"), QStringLiteral("index.txt"));
        ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
        EXPECT_EQ(r.out, QStringLiteral("topic create ADULT: 4 lines read, 4 topics stored, 0 lines skipped\n"));
        EXPECT_EQ(r.err, QString());

        r = run(QStringLiteral("code create ICD"), QStringLiteral("codes.txt"));
        ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
        EXPECT_EQ(r.out, QStringLiteral("code create ICD: 2 lines read, 4 codes stored, 0 lines skipped\n"));
        EXPECT_EQ(r.err, QString());

        r = run(QStringLiteral("code description ICD"), QStringLiteral("descriptions.txt"));
        ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
        EXPECT_EQ(r.out, QStringLiteral("code description ICD: 3 lines read, 3 codes described, 0 lines skipped\n"));
        EXPECT_EQ(r.err, QString());
    }
};

// ---- The same content in every form gives the same rows --------------------------------

class SavedForms : public BatchEncoding, public ::testing::WithParamInterface<SavedAs> { };

TEST_P(SavedForms, GiveTheSameRows)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(loadAll(GetParam()));
    EXPECT_EQ(topics(), kTopics);
    EXPECT_EQ(codes(), kCodeRows);

    // Nothing of a mark or a line end is left in any stored text.
    SqliteReader reader(db.toStdString());
    const std::string stray = "SELECT count(*) FROM %1 WHERE instr(%2, char(13)) OR instr(%2, char(10)) OR "
                              "instr(%2, char(65279))";
    for (const auto& [table, column] : std::vector<std::pair<std::string, std::string>> { { "topics", "Description" },
             { "topics", "PatEdDocument" }, { "codes", "Code" }, { "codes", "PatEdDocument" },
             { "codes", "Description" }, { "modules", "ModuleName" } }) {
        std::string sql = QString::fromStdString(stray)
                              .arg(QString::fromStdString(table), QString::fromStdString(column))
                              .toStdString();
        EXPECT_EQ(reader.value(sql), "0") << table << "." << column;
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, SavedForms, ::testing::ValuesIn(kAllForms),
    [](const auto& info) { return std::string(savedAsName(info.param)); });

TEST_F(BatchEncoding, ACodeFileWithAMarkAndCarriageReturnsGivesCleanCodes)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    // The mark before the first document word, CR LF, a lone CR inside, no end.
    write(QStringLiteral("codes.txt"),
        "\xEF\xBB\xBF"
        "a.doc, A1 A2\r\nb.pdf, B1\rc.htm, C1\r\n\r\nd.doc, D1");
    const BatchResult r = run(QStringLiteral("code create ICD"), QStringLiteral("codes.txt"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("code create ICD: 5 lines read, 5 codes stored, 1 line skipped (blank)\n"));
    EXPECT_EQ(r.err, QStringLiteral("velkindex: %1codes.txt: line 4: skipped (blank)\n").arg(folder));

    SqliteReader reader(db.toStdString());
    EXPECT_EQ(reader.rows("SELECT hex(Code), PatEdDocument FROM codes ORDER BY CodeID"),
        (Rows { "4131|doc\\a.htm", "4132|doc\\a.htm", "4231|pdf\\b.htm", "4331|htm\\c.htm", "4431|doc\\d.htm" }))
        << "the codes as stored, byte for byte";
}

TEST_F(BatchEncoding, NotUtf8ButHighBytesIsReadAsCp1252)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    write(QStringLiteral("index.txt"), "M\xE9ni\xE8re's\r\n  Friedl\xE4nder~f.pdf~\r\n");
    const BatchResult r = run(QStringLiteral("topic create ADULT ADU"), QStringLiteral("index.txt"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(topics(), (Rows { "M\xC3\xA9ni\xC3\xA8re's||0|1", "Friedl\xC3\xA4nder |ADU_f_pdf.htm|1|0" }));
}

// ---- UTF-16 is refused and nothing changes -------------------------------------------------

QByteArray utf16(const QStringList& lines, bool bigEndian)
{
    QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
    for (const QString& line : lines)
        for (const QChar c : line + QStringLiteral("\r\n")) {
            const char high = static_cast<char>(c.unicode() >> 8);
            const char low = static_cast<char>(c.unicode() & 0xFF);
            bytes += bigEndian ? high : low;
            bytes += bigEndian ? low : high;
        }
    return bytes;
}

struct Utf16Case {
    const char* name;
    const char* action;
    const QStringList* lines;
    bool bigEndian;
};

class Utf16Files : public BatchEncoding, public ::testing::WithParamInterface<Utf16Case> { };

TEST_P(Utf16Files, AreRefusedAndChangeNothing)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(loadAll(SavedAs::Utf8Lf));
    const Rows before = dump();

    write(QStringLiteral("unicode.txt"), utf16(*GetParam().lines, GetParam().bigEndian));
    const BatchResult r = run(QString::fromLatin1(GetParam().action), QStringLiteral("unicode.txt"));
    EXPECT_EQ(r.exitCode, 1) << qPrintable(r.err);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.out, QString()) << "no summary after a failure";
    const QString reason
        = QStringLiteral("The file %1unicode.txt is saved as UTF-16 (it begins with the byte-order mark "
                         "%2), which cannot be read; save it as UTF-8 or ANSI.")
              .arg(folder, GetParam().bigEndian ? QStringLiteral("FE FF") : QStringLiteral("FF FE"));
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("velkindex: ") + reason)) << qPrintable(r.err);
    EXPECT_EQ(dump(), before);
}

INSTANTIATE_TEST_SUITE_P(Files, Utf16Files,
    ::testing::Values(Utf16Case { "IndexLittleEndian", "topic create ADULT ADU", &kIndex, false },
        Utf16Case { "IndexBigEndian", "topic create ADULT ADU", &kIndex, true },
        Utf16Case { "CodesLittleEndian", "code create ICD", &kCodes, false },
        Utf16Case { "CodesBigEndian", "code create ICD", &kCodes, true },
        Utf16Case { "DescriptionsLittleEndian", "code description ICD", &kDescriptions, false },
        Utf16Case { "DescriptionsBigEndian", "code description ICD", &kDescriptions, true }),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Names the code page cannot hold -------------------------------------------------------

struct NamedRun {
    const char* action; // with the input file after it when `file` is set
    const char* file;
    const char16_t* named; // the text the refusal names
};

struct NameCase {
    const char* name;
    std::vector<NamedRun> runs;
};

class NamesOutsideTheCodePage : public BatchEncoding, public ::testing::WithParamInterface<NameCase> { };

TEST_P(NamesOutsideTheCodePage, AreRefusedOnEveryPathAndChangeNothing)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    write(QStringLiteral("index.txt"), "Top\r\n  Child~child.pdf~\r\n");
    write(QStringLiteral("codes.txt"), "a.doc, A1 A2\r\n");
    write(QStringLiteral("descriptions.txt"), "\"A1    \",\"Alpha\"\r\n");
    {
        // What another program may have stored: names the code page lacks.
        SqliteReader admin(db.toStdString());
        ASSERT_TRUE(admin.exec("INSERT INTO codingsystems (CodingSystemName) VALUES ('\xD0\x96\xD1\x83\xD0\xBA');"
                               "INSERT INTO codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument) "
                               "SELECT 'Z1', CodingSystemID, 0, '', 'doc\\z.htm' FROM codingsystems WHERE "
                               "CodingSystemName <> 'ICD';"
                               "INSERT INTO modules (ModuleName, DirectoryPrefix) VALUES "
                               "('\xD0\x9B\xD0\xB5\xD1\x81', 'LES');"
                               "INSERT INTO topics (ModuleID, ParentID, HasChild, PatEdDocument, Description) "
                               "SELECT ModuleID, 0, 0, '', 'Forest' FROM modules WHERE ModuleName <> 'SEED';"))
            << admin.error();
    }
    const Rows before = dump();

    for (const NamedRun& step : GetParam().runs) {
        const QString action = QString::fromUtf8(step.action);
        const BatchResult r = run(action, step.file ? QString::fromLatin1(step.file) : QString());
        EXPECT_EQ(r.exitCode, 1) << qPrintable(action) << ": " << qPrintable(r.err);
        EXPECT_EQ(r.out, QString()) << qPrintable(action);
        const QString named = QString::fromUtf16(step.named);
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("velkindex: ")) && r.err.count(u'\n') == 1
            && r.err.contains(QStringLiteral("\"%1\" cannot be represented in the code page WINDOWS-1252").arg(named)))
            << qPrintable(action) << ": " << qPrintable(r.err);
        EXPECT_EQ(dump(), before) << qPrintable(action);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, NamesOutsideTheCodePage,
    ::testing::Values(
        NameCase { "ThreeCreatesOfOneModule",
            { { "topic create \xC5\x81\xC3\xB3\x64\xC5\xBA LDZ", "index.txt", u"\u0141\u00F3d\u017A" },
                { "topic create \xC5\x81\xC3\xB3\x64\xC5\xBA LDZ", "index.txt", u"\u0141\u00F3d\u017A" },
                { "topic create \xC5\x81\xC3\xB3\x64\xC5\xBA LDZ", "index.txt", u"\u0141\u00F3d\u017A" } } },
        NameCase { "OneModuleAfterAnother",
            { { "topic create \xD0\x96\xD1\x83\xD0\xBA ZHU", "index.txt", u"\u0416\u0443\u043A" },
                { "topic create \xD0\x9B\xD0\xB5\xD1\x81 LES", "index.txt", u"\u041B\u0435\u0441" } } },
        NameCase { "ADirectoryPrefix",
            { { "topic create LODZ \xC5\x81\xC3\xB3\x64\xC5\xBA", "index.txt", u"\u0141\u00F3d\u017A" } } },
        NameCase { "AModuleToDelete", { { "topic delete \xD0\x9B\xD0\xB5\xD1\x81", nullptr, u"\u041B\u0435\u0441" } } },
        NameCase { "ACodingSystem",
            { { "code create \xD0\x96\xD1\x83\xD0\xBA", "codes.txt", u"\u0416\u0443\u043A" },
                { "code delete \xD0\x96\xD1\x83\xD0\xBA", nullptr, u"\u0416\u0443\u043A" },
                { "code description \xD0\x96\xD1\x83\xD0\xBA", "descriptions.txt", u"\u0416\u0443\u043A" } } }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BatchEncoding, ANameTheCodePageHoldsIsOneModuleOnEveryPath)
{
    // Looked up to be cleared, stored and found again the same way: three
    // runs leave one module, with the index of the last.
    ASSERT_NO_FATAL_FAILURE(seed());
    const QString cafe = QString::fromUtf16(u"Caf\u00E9");
    for (const char* top : { "First", "Second", "Third" }) {
        write(QStringLiteral("index.txt"), QByteArray(top) + "\r\n  Child~child.pdf~\r\n");
        const BatchResult r = run(QStringLiteral("topic create %1 CAF").arg(cafe), QStringLiteral("index.txt"));
        ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    }
    SqliteReader reader(db.toStdString());
    EXPECT_EQ(reader.rows("SELECT m.ModuleName, t.Description FROM modules m LEFT JOIN topics t USING (ModuleID) "
                          "WHERE m.ModuleName <> 'SEED' ORDER BY t.TopicID"),
        (Rows { "Caf\xC3\xA9|Third", "Caf\xC3\xA9|Child " }));
}

// ---- Summaries and listings -----------------------------------------------------------------

TEST_F(BatchEncoding, SummaryOfEveryAction)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(loadAll(SavedAs::Cp1252CrLf)); // topic create, code create, code description

    BatchResult r = run(QStringLiteral("code delete ICD"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("code delete ICD: codes deleted\n"));
    EXPECT_EQ(r.err, QString());

    r = run(QStringLiteral("topic delete ADULT"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("topic delete ADULT: 1 module deleted\n"));
    EXPECT_EQ(r.err, QString());

    // Deleting again matches nothing: it succeeds, and says so on stderr.
    r = run(QStringLiteral("topic delete ADULT"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("topic delete ADULT: 0 modules deleted\n"));
    EXPECT_EQ(r.err, QStringLiteral("velkindex: No module named \"ADULT\" is in the database; nothing was deleted.\n"));

    // A failed run: its reason on stderr, no summary.
    r = run(QStringLiteral("code description NDC"), QStringLiteral("descriptions.txt"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, QString());
    EXPECT_TRUE(r.err.contains(QStringLiteral("NDC"))) << qPrintable(r.err);
}

TEST_F(BatchEncoding, SkippedAndCutLinesAreNamed)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    write(QStringLiteral("codes.txt"), "a.doc, A1\r\n\r\nb.doc, B1 B2\r\n   \r\n");
    BatchResult r = run(QStringLiteral("code create ICD"), QStringLiteral("codes.txt"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("code create ICD: 4 lines read, 3 codes stored, 2 lines skipped (blank)\n"));
    EXPECT_EQ(r.err,
        QStringLiteral("velkindex: %1codes.txt: line 2: skipped (blank)\n"
                       "velkindex: %1codes.txt: line 4: skipped (blank)\n")
            .arg(folder));

    const QByteArray longText(120, 'x');
    write(QStringLiteral("descriptions.txt"),
        "\"A1    \",\"" + longText + "\"\r\n\"B1\"\r\n\r\n\"B2    \",\"short\"\r\n");
    r = run(QStringLiteral("code description ICD"), QStringLiteral("descriptions.txt"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out,
        QStringLiteral("code description ICD: 4 lines read, 2 codes described, 1 line skipped (blank), "
                       "1 line skipped (too short), 1 description cut to 100 characters\n"));
    EXPECT_EQ(r.err,
        QStringLiteral("velkindex: %1descriptions.txt: line 3: skipped (blank)\n"
                       "velkindex: %1descriptions.txt: line 2: skipped (too short)\n"
                       "velkindex: %1descriptions.txt: line 1: description cut to 100 characters\n")
            .arg(folder));
    EXPECT_EQ(codes(), (Rows { "A1|doc\\a.htm|" + std::string(100, 'x'), "B1|doc\\b.htm|", "B2|doc\\b.htm|short" }));
}

TEST_F(BatchEncoding, TheListingStopsAtTwentyLinesOfAKind)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    QByteArray bytes = "\"J45.20\",\"Asthma\"\r\n";
    for (int i = 0; i < 25; ++i)
        bytes += "short\r\n";
    write(QStringLiteral("descriptions.txt"), bytes);
    const BatchResult r = run(QStringLiteral("code description ICD"), QStringLiteral("descriptions.txt"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(
        r.out, QStringLiteral("code description ICD: 26 lines read, 1 code described, 25 lines skipped (too short)\n"));

    QStringList expected;
    for (int line = 2; line <= 21; ++line)
        expected << QStringLiteral("velkindex: %1descriptions.txt: line %2: skipped (too short)").arg(folder).arg(line);
    expected << QStringLiteral("velkindex: %1descriptions.txt: and 5 more lines skipped (too short)").arg(folder);
    EXPECT_EQ(r.err, expected.join(u'\n') + u'\n');
}

} // namespace
