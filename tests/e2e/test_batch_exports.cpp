// Batch exports of the executable on a real database: a large index, codes
// and descriptions go out and come back in through the loaders, and the
// stored rows (read with an independent SQLite connection) are the same apart
// from their identifiers. Then the runs that must fail, each with its status
// and its one line, leaving the output file as it was.
#include "support/BatchRunner.h"
#include "support/PrintQString.h"
#include "support/SqliteReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

// Windows-1252 bytes of the characters the generated files use besides ASCII.
const char* const kWords[] = { "Asthma", "Children's", "Caf\xE9", "\x80 costs", "M\xFCller's", "Diet", "Heart",
    "Na\xEFve", "Fl\xFC", "Sk\xE5l", "O'Neil", "Pain", "Vaccines" };
const char* const kExtensions[] = { "pdf", "doc", "txt" };

struct Lcg {
    uint32_t seed;
    uint32_t operator()(uint32_t range)
    {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    }
};

// An index file of `lines` lines: several levels reached by steps of 2 and
// 3 columns, blank lines, apostrophes, code-page characters, and documents
// of every shape the reader knows (name.ext, none, "~~", a.b.ext).
std::string indexFile(int lines)
{
    Lcg next { 7 };
    std::string out;
    int column = 0;
    for (int i = 0; i < lines; ++i) {
        const uint32_t move = next(10);
        if (i == 0 || move == 0)
            column = 0;
        else if (move <= 3 && column < 24)
            column += move == 3 ? 3 : 2;
        else if (move == 4 && column >= 2)
            column -= 2;
        else if (move == 5)
            column = std::max(0, column - 5);
        std::string line(static_cast<size_t>(column), ' ');
        if (i % 97 == 5) { // a blank topic
            out += line + "\r\n";
            continue;
        }
        line += std::string(kWords[next(13)]) + " " + std::to_string(i) + " " + kWords[next(13)];
        const uint32_t shape = next(6);
        const std::string name = std::string(i % 5 == 0 ? "d\xE9pliant_" : "doc") + std::to_string(i);
        if (shape <= 2)
            line += std::string(" ~") + name + "." + kExtensions[next(3)] + "~";
        else if (shape == 3)
            line += "~~ ignored";
        else if (shape == 4)
            line += "~" + name + ".b.pdf~";
        out += line + "\r\n";
    }
    return out;
}

// A code file: documents with one to nine codes each, some codes under two
// documents, code-page characters in document names.
std::string codeFile(int lines, const char* system)
{
    Lcg next { 11 };
    std::string out;
    for (int i = 0; i < lines; ++i) {
        out += std::string(i % 7 == 0 ? "caf\xE9" : "doc") + std::to_string(i) + "." + kExtensions[next(3)] + ",";
        const uint32_t count = 1 + next(9);
        for (uint32_t k = 0; k < count; ++k)
            out += " " + std::string(system) + std::to_string((i * 7 + static_cast<int>(k) * 13) % (lines * 3));
        out += "\r\n";
    }
    return out;
}

// Descriptions of most codes of a code file, in the layout of `system`.
std::string descriptionFile(int codes, const char* system, bool icd)
{
    std::string out;
    for (int c = 0; c < codes; ++c) {
        if (c % 9 == 4)
            continue; // some codes keep no description
        std::string code = std::string(system) + std::to_string(c);
        code.resize(icd ? 6 : 5, ' ');
        const std::string text = std::string(kWords[c % 13]) + " \"" + std::to_string(c) + "\" " + kWords[(c + 4) % 13];
        out += icd ? "\"" + code + "\",\"" + text + "\"\r\n" : code + "|" + text + "|\r\n";
    }
    return out;
}

struct BatchExports : ::testing::Test {
    QTemporaryDir dir;
    QString db;
    QString folder;

    void SetUp() override
    {
        db = dir.filePath(QStringLiteral("velk.db"));
        folder = dir.path() + u'/';
        write(QStringLiteral("seed.txt"), "Seed\r\n");
        ASSERT_EQ(run({ "topic", "create", "SEED", "SD", folder, "seed.txt" }).exitCode, 0);
        SqliteReader admin(db.toStdString());
        ASSERT_TRUE(admin.exec("INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD'), ('CPT'), ('X2')"))
            << admin.error();
    }

    void write(const QString& name, const std::string& bytes) const
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }

    std::string bytes(const QString& name) const
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return "<missing>";
        return file.readAll().toStdString();
    }

    BatchResult run(const QStringList& words, const QString& database = QString()) const
    {
        return runVelkindex(QStringList { database.isEmpty() ? db : database } + words);
    }

    // The topics of a module in TopicID order, each as parent position (0 at
    // the top, otherwise the 1-based position of its parent), HasChild,
    // document and description: the tree without its identifiers.
    std::vector<std::string> tree(const char* module) const
    {
        SqliteReader reader(db.toStdString());
        const auto rows = reader.table("SELECT t.TopicID, t.ParentID, t.HasChild, t.PatEdDocument, t.Description "
                                       "FROM topics t JOIN modules m USING (ModuleID) WHERE m.ModuleName = ?1 "
                                       "ORDER BY t.TopicID",
            { module });
        std::map<std::string, size_t> position;
        std::vector<std::string> out;
        for (const auto& row : rows) {
            position[row[0]] = out.size() + 1;
            const std::string parent = row[1] == "0" ? "0" : std::to_string(position[row[1]]);
            out.push_back(parent + "|" + row[2] + "|" + row[3] + "|" + row[4]);
        }
        return out;
    }

    // The codes of a system as a sorted list of code, flag, document and description.
    static std::vector<std::string> codes(const QString& database, const char* system)
    {
        SqliteReader reader(database.toStdString());
        auto rows = reader.rows(std::string("SELECT c.Code, c.CodeFlag, c.PatEdDocument, c.Description FROM codes c "
                                            "JOIN codingsystems s USING (CodingSystemID) WHERE s.CodingSystemName = '")
            + system + "'");
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    QStringList leftovers() const
    {
        return QDir(dir.path()).entryList({ QStringLiteral("*.tmp-*") }, QDir::Files | QDir::Hidden);
    }
};

TEST_F(BatchExports, LargeIndexComesBackAsTheSameTree)
{
    write(QStringLiteral("big.txt"), indexFile(4000));
    BatchResult r = run({ "topic", "create", "ADULT", "ADU", folder, "big.txt" });
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    const std::vector<std::string> original = tree("ADULT");
    ASSERT_EQ(original.size(), 4000u);
    ASSERT_GT(std::count_if(original.begin(), original.end(), [](const std::string& t) { return t[0] != '0'; }), 2000);

    r = run({ "topic", "export", "ADULT", folder, "out.txt" });
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("topic export ADULT: 4,000 topics written to %1out.txt\n").arg(folder));
    EXPECT_EQ(r.err, QString());

    r = run({ "topic", "create", "COPY", "ADU", folder, "out.txt" });
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(tree("COPY"), original);

    // Code page bytes and CR LF; the export of the copy is the same file.
    const std::string exported = bytes(QStringLiteral("out.txt"));
    EXPECT_NE(exported.find("Caf\xE9"), std::string::npos);
    EXPECT_NE(exported.find("Children's"), std::string::npos);
    EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), 4000);
    EXPECT_EQ(std::count(exported.begin(), exported.end(), '\r'), 4000);
    ASSERT_EQ(run({ "topic", "export", "COPY", folder, "again.txt" }).exitCode, 0);
    EXPECT_EQ(bytes(QStringLiteral("again.txt")), exported);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(BatchExports, ExampleIndexIsWrittenAsItWasRead)
{
    const QString examples = QStringLiteral(VELK_SOURCE_DIR "/examples/");
    ASSERT_EQ(run({ "topic", "create", "ADULT", "ADU", examples, "adult-index.txt" }).exitCode, 0);
    ASSERT_EQ(run({ "topic", "export", "ADULT", folder, "adult.txt" }).exitCode, 0);
    QFile example(examples + QStringLiteral("adult-index.txt"));
    ASSERT_TRUE(example.open(QIODevice::ReadOnly));
    // The example has CR LF ends and two spaces of indentation a level.
    EXPECT_EQ(bytes(QStringLiteral("adult.txt")), example.readAll().toStdString());
}

TEST_F(BatchExports, CodesAndDescriptionsComeBackIntoAnotherDatabase)
{
    write(QStringLiteral("icd.txt"), codeFile(1500, "I"));
    write(QStringLiteral("cpt.txt"), codeFile(800, "C"));
    write(QStringLiteral("icd-desc.txt"), descriptionFile(4500, "I", true));
    write(QStringLiteral("cpt-desc.txt"), descriptionFile(2400, "C", false));
    ASSERT_EQ(run({ "code", "create", "ICD", folder, "icd.txt" }).exitCode, 0);
    ASSERT_EQ(run({ "code", "create", "CPT", folder, "cpt.txt" }).exitCode, 0);
    ASSERT_EQ(run({ "code", "description", "ICD", folder, "icd-desc.txt" }).exitCode, 0);
    ASSERT_EQ(run({ "code", "description", "CPT", folder, "cpt-desc.txt" }).exitCode, 0);
    const auto icd = codes(db, "ICD");
    const auto cpt = codes(db, "CPT");
    ASSERT_GT(icd.size(), 6000u);

    BatchResult r = run({ "code", "export", "ICD", folder, "icd-out.txt" });
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_TRUE(
        r.out.startsWith(QStringLiteral("code export ICD: %1 codes written to %2icd-out.txt in ")
                             .arg(QLocale(QLocale::English).toString(static_cast<qlonglong>(icd.size())), folder)))
        << qPrintable(r.out);
    ASSERT_EQ(run({ "code", "export", "CPT", folder, "cpt-out.txt" }).exitCode, 0);
    r = run({ "code", "export-descriptions", "ICD", folder, "icd-desc-out.txt" });
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("code export-descriptions ICD: "))) << qPrintable(r.out);
    ASSERT_EQ(run({ "code", "export-descriptions", "CPT", folder, "cpt-desc-out.txt" }).exitCode, 0);

    // A second database with the same coding systems, loaded from the exports.
    const QString other = dir.filePath(QStringLiteral("other.db"));
    ASSERT_EQ(run({ "topic", "create", "SEED", "SD", folder, "seed.txt" }, other).exitCode, 0);
    {
        SqliteReader admin(other.toStdString());
        ASSERT_TRUE(admin.exec("INSERT INTO codingsystems (CodingSystemName) VALUES ('CPT'), ('ICD')"));
    }
    for (const QStringList& words : { QStringList { "code", "create", "ICD", folder, "icd-out.txt" },
             { "code", "create", "CPT", folder, "cpt-out.txt" },
             { "code", "description", "ICD", folder, "icd-desc-out.txt" },
             { "code", "description", "CPT", folder, "cpt-desc-out.txt" } }) {
        r = run(words, other);
        ASSERT_EQ(r.exitCode, 0) << qPrintable(words.join(u' ')) << ": " << qPrintable(r.err);
    }
    EXPECT_EQ(codes(other, "ICD"), icd);
    EXPECT_EQ(codes(other, "CPT"), cpt);

    // The files are in the code page, with CR LF, in the loaders' layouts.
    const std::string codeBytes = bytes(QStringLiteral("icd-out.txt"));
    // Code order: I0 first, stored for two documents of the file.
    EXPECT_TRUE(codeBytes.starts_with("caf\xE9"
                                      "0.txt, I0\r\ndoc641.pdf, I0\r\n"))
        << codeBytes.substr(0, 40);
    EXPECT_EQ(
        std::count(codeBytes.begin(), codeBytes.end(), '\n'), std::count(codeBytes.begin(), codeBytes.end(), '\r'));
    const std::string icdDesc = bytes(QStringLiteral("icd-desc-out.txt"));
    EXPECT_TRUE(icdDesc.starts_with("\"I0    \",\"Asthma \"0\" M\xFCller's\"\r\n")) << icdDesc.substr(0, 40);
    const std::string cptDesc = bytes(QStringLiteral("cpt-desc-out.txt"));
    EXPECT_TRUE(cptDesc.starts_with("C0   |Asthma \"0\" M\xFCller's|\r\n")) << cptDesc.substr(0, 40);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(BatchExports, EmptyModuleAndEmptySystemGiveEmptyFiles)
{
    write(QStringLiteral("empty.txt"), "");
    ASSERT_EQ(run({ "topic", "create", "EMPTY", "E", folder, "empty.txt" }).exitCode, 0);
    BatchResult r = run({ "topic", "export", "EMPTY", folder, "e.txt" });
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("topic export EMPTY: 0 topics written to %1e.txt\n").arg(folder));
    EXPECT_EQ(bytes(QStringLiteral("e.txt")), "");
    r = run({ "code", "export", "X2", folder, "x.txt" });
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("code export X2: 0 codes written to %1x.txt in 0 lines\n").arg(folder));
    EXPECT_EQ(bytes(QStringLiteral("x.txt")), "");
}

struct FailureCase {
    const char* name;
    const char* setupSql; // run on the database first; may be empty
    QStringList words; // after the database; "@" stands for the folder
    QString line; // the one stderr line; "@" stands for the folder
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class BatchExportFailure : public BatchExports, public ::testing::WithParamInterface<FailureCase> { };

TEST_P(BatchExportFailure, EndsWithStatusOneAndLeavesTheFileAsItWas)
{
    const FailureCase& c = GetParam();
    if (*c.setupSql) {
        SqliteReader admin(db.toStdString());
        ASSERT_TRUE(admin.exec(c.setupSql)) << admin.error();
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    write(QStringLiteral("out.txt"), "kept whole\r\n");
    QStringList words = c.words;
    for (QString& w : words)
        w.replace(u'@', folder);
    const BatchResult r = run(words);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, QString());
    EXPECT_EQ(r.err, QString(c.line).replace(u'@', folder) + u'\n');
    EXPECT_EQ(bytes(QStringLiteral("out.txt")), "kept whole\r\n");
    EXPECT_TRUE(leftovers().isEmpty()) << qPrintable(leftovers().join(u' '));
}

const char* const kRussian = "INSERT INTO modules (ModuleName, DirectoryPrefix) VALUES ('RUS', 'RU');"
                             "INSERT INTO topics (ModuleID, ParentID, PatEdDocument, Description) SELECT ModuleID, "
                             "0, '', 'Fine' FROM modules WHERE ModuleName = 'RUS';"
                             "INSERT INTO topics (ModuleID, ParentID, PatEdDocument, Description) SELECT ModuleID, "
                             "0, '', '\xD0\x96\xD1\x83\xD0\xBA ' FROM modules WHERE ModuleName = 'RUS';";
const char* const kTilde = "INSERT INTO modules (ModuleName, DirectoryPrefix) VALUES ('TIL', 'T');"
                           "INSERT INTO topics (ModuleID, ParentID, PatEdDocument, Description) SELECT ModuleID, "
                           "0, '', 'A~B' FROM modules WHERE ModuleName = 'TIL';";
const char* const kCodes = "INSERT INTO codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument) SELECT "
                           "'A1', CodingSystemID, 0, 'Fine', 'pdf\\a.htm' FROM codingsystems WHERE CodingSystemName "
                           "= 'CPT';"
                           "INSERT INTO codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument) SELECT "
                           "'B\xD0\x96', CodingSystemID, 0, '', 'pdf\\b.htm' FROM codingsystems WHERE "
                           "CodingSystemName = 'CPT';"
                           "INSERT INTO codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument) SELECT "
                           "'LONGER1', CodingSystemID, 0, 'Too long', 'pdf\\c.htm' FROM codingsystems WHERE "
                           "CodingSystemName = 'ICD';"
                           "INSERT INTO codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument) SELECT "
                           "'D1', CodingSystemID, 0, '\xD0\x96\xD1\x83\xD0\xBA', 'pdf\\d.htm' FROM codingsystems "
                           "WHERE CodingSystemName = 'CPT';";

INSTANTIATE_TEST_SUITE_P(Cases, BatchExportFailure,
    ::testing::Values(FailureCase { "UnknownModule", "", { "topic", "export", "NOPE", "@", "out.txt" },
                          "velkindex: No module named \"NOPE\" is in the database; nothing was written." },
        FailureCase { "UnknownCodingSystem", "", { "code", "export", "NOPE", "@", "out.txt" },
            "velkindex: No coding system named \"NOPE\" is in the database; nothing was written." },
        FailureCase { "UnknownSystemForDescriptions", "", { "code", "export-descriptions", "NOPE", "@", "out.txt" },
            "velkindex: No coding system named \"NOPE\" is in the database; nothing was written." },
        FailureCase { "NoName", "", { "topic", "export" }, "velkindex: No module name was given on the command line." },
        FailureCase { "NoFile", "", { "code", "export", "ICD" },
            "velkindex: No output file was named on the command line. Give the file's folder and name after the "
            "name." },
        FailureCase { "MissingFolder", "", { "topic", "export", "SEED", "@", "no/out.txt" },
            "velkindex: @no/out.txt cannot be written: No such file or directory. Nothing was written." },
        // sysfs refuses new files to every user, root included.
        FailureCase { "UnwritableFolder", "", { "code", "export", "ICD", "/sys/", "out.txt" },
            "velkindex: /sys/out.txt cannot be written: Permission denied. Nothing was written." },
        FailureCase { "FileIsAFolder", "", { "code", "export", "ICD", "@", "sub" },
            "velkindex: @sub could not be written: Is a directory. Nothing was written." },
        FailureCase { "TopicNotInTheCodePage", kRussian, { "topic", "export", "RUS", "@", "out.txt" },
            QString::fromUtf8("velkindex: @out.txt: line 2: the topic \"Жук\" cannot be written in the code page "
                              "WINDOWS-1252 (it has no \"Ж\"). Nothing was written.") },
        FailureCase { "TildeInATopic", kTilde, { "topic", "export", "TIL", "@", "out.txt" },
            "velkindex: @out.txt: line 1: the topic \"A~B\" cannot be written: its description holds a \"~\". "
            "Nothing was written." },
        FailureCase { "CodeNotInTheCodePage", kCodes, { "code", "export", "CPT", "@", "out.txt" },
            QString::fromUtf8("velkindex: @out.txt: line 2: the code \"BЖ\" cannot be written in the code page "
                              "WINDOWS-1252 (it has no \"Ж\"). Nothing was written.") },
        FailureCase { "DescriptionNotInTheCodePage", kCodes, { "code", "export-descriptions", "CPT", "@", "out.txt" },
            QString::fromUtf8("velkindex: @out.txt: line 2: the code \"D1\" cannot be written in the code page "
                              "WINDOWS-1252 (it has no \"Ж\"). Nothing was written.") },
        FailureCase { "CodeTooLongForItsLayout", kCodes, { "code", "export-descriptions", "ICD", "@", "out.txt" },
            "velkindex: @out.txt: line 1: the code \"LONGER1\" cannot be written: a description line holds codes "
            "of 6 characters at most. Nothing was written." },
        FailureCase { "NameNotInTheCodePage", "", { "topic", "export", QString::fromUtf8("Жук"), "@", "out.txt" },
            QString::fromUtf8("velkindex: The module name \"Жук\" cannot be represented in the code page "
                              "WINDOWS-1252 (it has no \"Ж\"); nothing was changed.") }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
