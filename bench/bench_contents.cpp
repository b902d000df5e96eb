// Times what "Library Contents" reads on a coding system of many codes: the
// first page, the next page, searches, and a sort that needs every code.
// Usage: bench_contents [CODES] [RUNS]   (defaults 75000 and 5)
// The database is made in a temporary folder by batch runs of the velkindex
// beside this program; each figure is the median of RUNS.
#include "core/ExternalsContents.h"
#include "core/LibraryContents.h"
#include "store/KovadelLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace {

bool velkindex(const QString& program, const QStringList& args)
{
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    run.setProcessEnvironment(env);
    run.start(program, args);
    if (!run.waitForFinished(600000) || run.exitCode() != 0) {
        std::fprintf(
            stderr, "velkindex %s failed: %s\n", qPrintable(args.join(u' ')), run.readAllStandardError().constData());
        return false;
    }
    return true;
}

bool seed(const QDir& dir, const QString& db, int codes)
{
    QByteArray codeFile;
    QByteArray descriptions;
    for (int n = 0; n < codes; ++n) {
        const QByteArray code = QByteArray::number(10000 + n);
        if (n % 100 == 0)
            codeFile += QByteArray(n ? "\n" : "") + "visit" + QByteArray::number(n / 100) + ".pdf,";
        codeFile += ' ' + code;
        descriptions += code + '|' + (n % 1000 == 0 ? "Asthma inhaler teaching " : "Teaching visit number ")
            + QByteArray::number(n) + "|\n";
    }
    for (auto [name, bytes] :
        { std::pair("codes.txt", codeFile + '\n'), std::pair("descriptions.txt", descriptions) }) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/velkindex");
    const QString folder = dir.path() + u'/';
    if (!velkindex(program,
            { db, "topic", "create", "ADULT", "ADU", QStringLiteral(VELK_SOURCE_DIR "/examples/"), "adult-index.txt" }))
        return false;
    sqlite3* admin = nullptr;
    const bool added = sqlite3_open(db.toUtf8().constData(), &admin) == SQLITE_OK
        && sqlite3_exec(admin, "INSERT INTO codingsystems (CodingSystemName) VALUES ('CPT')", nullptr, nullptr, nullptr)
            == SQLITE_OK;
    sqlite3_close(admin);
    return added && velkindex(program, { db, "code", "create", "CPT", folder, "codes.txt" })
        && velkindex(program, { db, "code", "description", "CPT", folder, "descriptions.txt" });
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int codes = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 75000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    QTemporaryDir dir;
    const QString db = QDir(dir.path()).filePath(QStringLiteral("bench.db"));
    if (!dir.isValid() || !seed(QDir(dir.path()), db, codes))
        return 1;

    KovadelLibrary library(QCoreApplication::applicationDirPath() + QStringLiteral("/libkovadel.so"));
    if (library.StartVelk(db, QStringLiteral("ADMIN"), QString()) <= 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(db), qPrintable(library.LastError()));
        return 1;
    }
    ExternalsContents source(library);
    struct Step {
        const char* what;
        std::function<void(LibraryContents&)> run;
    };
    const std::vector<Step> steps = {
        { "open on CPT (lists, topics, first page)", [](LibraryContents& c) { c.refresh({}, QStringLiteral("CPT")); } },
        { "next page", [](LibraryContents& c) { c.codes().fetchMore({}); } },
        { "search \"1234\" (code or word)", [](LibraryContents& c) { c.setCodeSearch(QStringLiteral("1234")); } },
        { "search \"asthma inhaler\"", [](LibraryContents& c) { c.setCodeSearch(QStringLiteral("asthma inhaler")); } },
        { "search \"teaching\" (first page)", [](LibraryContents& c) { c.setCodeSearch(QStringLiteral("teaching")); } },
        { "search cleared", [](LibraryContents& c) { c.setCodeSearch(QString()); } },
        { "sort by description (every code)", [](LibraryContents& c) { c.codes().sort(2, Qt::AscendingOrder); } },
        { "back to code order", [](LibraryContents& c) { c.codes().sort(0, Qt::AscendingOrder); } },
    };
    std::map<const char*, std::vector<double>> times;
    std::map<const char*, int> rows;
    for (int run = 0; run < runs; ++run) {
        LibraryContents contents(source);
        for (const Step& step : steps) {
            QElapsedTimer clock;
            clock.start();
            step.run(contents);
            times[step.what].push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            rows[step.what] = contents.codes().rowCount();
        }
    }
    library.EndVelk();
    std::printf("%d codes, median of %d runs\n", codes, runs);
    for (const Step& step : steps) {
        std::vector<double>& t = times[step.what];
        std::sort(t.begin(), t.end());
        std::printf("  %-42s %8.1f ms  %6d rows\n", step.what, t[t.size() / 2], rows[step.what]);
    }
    return 0;
}
