// The shared open-file dialog: filter strings, the 1-based filter index, the
// file name that stays between uses, and cancelling.
#include "app/CommonDialog1.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// Answers the next open-file dialog that appears with `answer`, which checks
// what it shows and accepts or rejects it. A dialog still open afterwards, or
// after ten seconds, is rejected so that the test cannot hang.
class DialogAnswer : public QObject {
public:
    explicit DialogAnswer(std::function<void(QFileDialog*)> answer)
        : m_answer(std::move(answer))
    {
        connect(&m_poll, &QTimer::timeout, this, &DialogAnswer::poll);
        m_poll.start(10);
        m_deadline.start();
    }
    bool answered() const { return m_answered; }

private:
    void poll()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            if (!dialog || !dialog->isVisible())
                continue;
            if (!m_answered) {
                m_answered = true;
                m_answer(dialog);
            }
            if (dialog->isVisible())
                dialog->reject();
            m_poll.stop();
            return;
        }
        if (m_deadline.hasExpired(10000))
            m_poll.stop();
    }

    std::function<void(QFileDialog*)> m_answer;
    QTimer m_poll;
    QElapsedTimer m_deadline;
    bool m_answered = false;
};

QStringList shownNames(QFileDialog* dialog)
{
    auto* model = dialog->findChild<QFileSystemModel*>();
    if (!model)
        return { QStringLiteral("<no model>") };
    const QModelIndex root = model->index(dialog->directory().absolutePath());
    QStringList names;
    for (int row = 0; row < model->rowCount(root); ++row)
        names.append(model->index(row, 0, root).data().toString());
    names.sort(Qt::CaseInsensitive);
    return names;
}

QString shownFilter(QFileDialog* dialog)
{
    auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    return combo ? combo->currentText() : QStringLiteral("<no filter box>");
}

// Types a name into the dialog's file name box, as the operator would.
void chooseByName(QFileDialog* dialog, const QString& name)
{
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    // What the list has selected counts before the typed name.
    auto* files = dialog->findChild<QListView*>(QStringLiteral("listView"));
    QVERIFY(files);
    files->clearSelection();
    edit->setText(name);
    QTRY_COMPARE(dialog->selectedFiles(), QStringList({ dialog->directory().absoluteFilePath(name) }));
}

} // namespace

class TestOpenDialog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void nameFilters_data();
    void nameFilters();
    void selectedEntry_data();
    void selectedEntry();
    void keepsItsSettings();
    void showsTheDescriptionsAndStartsInTheFileFolder();
    void indexBeyondTheEntriesSelectsTheFirst();
    void cancelEmptiesTheFileName();
    void answeredInAdvance();
    void withdrawnAnswerShowsTheDialog();
    void startupDialogListsSqliteDatabases();

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
};

void TestOpenDialog::init()
{
    QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
    for (const char* name : { "index.txt", "notes.txt", "README", "data.mdb", "OLD.MDB" }) {
        QFile file(path(QString::fromLatin1(name)));
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    }
}

void TestOpenDialog::cleanup()
{
    CommonDialog1::setNextAnswer(std::nullopt);
    QVERIFY2(QApplication::topLevelWidgets().isEmpty(), "a window was left open");
}

void TestOpenDialog::nameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("database") << "DB File (*.mdb)|*.mdb" << QStringList { "DB File (*.mdb) (*.mdb)" };
    QTest::newRow("start-up databases") << "DB File (*.mdb)|*.mdb|SQLite Database (*.db)|*.db"
                                        << QStringList { "DB File (*.mdb) (*.mdb)", "SQLite Database (*.db) (*.db)" };
    QTest::newRow("index files") << "All Files (*.*)|*.*|Index Files(*.txt)|*.txt"
                                 << QStringList { "All Files (*.*) (*)", "Index Files(*.txt) (*.txt)" };
    QTest::newRow("several patterns") << "Text (*.txt;*.lst)|*.txt;*.lst"
                                      << QStringList { "Text (*.txt;*.lst) (*.txt *.lst)" };
    QTest::newRow("blanks around patterns") << "Codes| *.cod ; *.txt " << QStringList { "Codes (*.cod *.txt)" };
    QTest::newRow("any among others") << "Mixed|*.txt;*.*" << QStringList { "Mixed (*.txt *)" };
    QTest::newRow("empty pattern") << "Anything|" << QStringList { "Anything (*)" };
    QTest::newRow("no pattern after the last") << "A|*.a|Orphan" << QStringList { "A (*.a)" };
    QTest::newRow("description only") << "Orphan" << QStringList {};
    QTest::newRow("empty") << "" << QStringList {};
}

void TestOpenDialog::nameFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(CommonDialog1::nameFilters(filter), expected);
}

void TestOpenDialog::selectedEntry_data()
{
    QTest::addColumn<int>("filterIndex");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("entry");

    QTest::newRow("first") << 1 << 1 << 0;
    QTest::newRow("second of two") << 2 << 2 << 1;
    QTest::newRow("second of one") << 2 << 1 << 0;
    QTest::newRow("zero") << 0 << 2 << 0;
    QTest::newRow("negative") << -1 << 2 << 0;
    QTest::newRow("past the end") << 3 << 2 << 0;
    QTest::newRow("no entries") << 1 << 0 << 0;
}

void TestOpenDialog::selectedEntry()
{
    QFETCH(int, filterIndex);
    QFETCH(int, count);
    QFETCH(int, entry);
    QCOMPARE(CommonDialog1::selectedEntry(filterIndex, count), entry);
}

void TestOpenDialog::keepsItsSettings()
{
    CommonDialog1 dialog;
    QCOMPARE(dialog.filterIndex(), 1);
    QCOMPARE(dialog.fileName(), QString());
    dialog.setFilter(QStringLiteral("DB File (*.mdb)|*.mdb"));
    dialog.setFilterIndex(2);
    dialog.setFileName(QStringLiteral("C:\\data\\pated.mdb"));
    QCOMPARE(dialog.filter(), QStringLiteral("DB File (*.mdb)|*.mdb"));
    QCOMPARE(dialog.filterIndex(), 2);
    QCOMPARE(dialog.fileName(), QStringLiteral("C:\\data\\pated.mdb"));
}

void TestOpenDialog::showsTheDescriptionsAndStartsInTheFileFolder()
{
    QWidget owner;
    CommonDialog1 dialog(&owner);
    dialog.setFilter(QStringLiteral("All Files (*.*)|*.*|Index Files(*.txt)|*.txt"));
    dialog.setFilterIndex(2);
    dialog.setFileName(path(QStringLiteral("index.txt")));

    QStringList filters;
    QString selected;
    QString shown;
    QString folder;
    QStringList indexFiles;
    QStringList allFiles;
    bool openMode = false;
    DialogAnswer answer([&](QFileDialog* shownDialog) {
        filters = shownDialog->nameFilters();
        selected = shownDialog->selectedNameFilter();
        shown = shownFilter(shownDialog);
        folder = shownDialog->directory().absolutePath();
        openMode = shownDialog->acceptMode() == QFileDialog::AcceptOpen
            && shownDialog->fileMode() == QFileDialog::ExistingFile;
        QTRY_COMPARE(shownNames(shownDialog), QStringList({ "index.txt", "notes.txt" }));
        indexFiles = shownNames(shownDialog);

        // "*.*" lists every file, those without a dot too.
        shownDialog->selectNameFilter(shownDialog->nameFilters().constFirst());
        QTRY_COMPARE(shownNames(shownDialog).size(), 5);
        allFiles = shownNames(shownDialog);

        chooseByName(shownDialog, QStringLiteral("README"));
        static_cast<QDialog*>(shownDialog)->accept(); // QFileDialog::accept is protected
    });
    QVERIFY(dialog.showOpen());
    QVERIFY(answer.answered());

    QCOMPARE(filters, QStringList({ "All Files (*.*) (*)", "Index Files(*.txt) (*.txt)" }));
    // The dialog shows and reports the description alone.
    QCOMPARE(selected, QStringLiteral("Index Files(*.txt)"));
    QCOMPARE(shown, QStringLiteral("Index Files(*.txt)"));
    QCOMPARE(folder, QFileInfo(m_dir.path()).absoluteFilePath());
    QVERIFY(openMode);
    QCOMPARE(indexFiles, QStringList({ "index.txt", "notes.txt" }));
    QCOMPARE(allFiles, QStringList({ "data.mdb", "index.txt", "notes.txt", "OLD.MDB", "README" }));

    QCOMPARE(dialog.fileName(), path(QStringLiteral("README")));
    // The filter and its index stay as the caller set them.
    QCOMPARE(dialog.filterIndex(), 2);
}

void TestOpenDialog::indexBeyondTheEntriesSelectsTheFirst()
{
    CommonDialog1 dialog;
    dialog.setFilter(QStringLiteral("DB File (*.mdb)|*.mdb"));
    dialog.setFilterIndex(2);
    dialog.setFileName(path(QStringLiteral("data.mdb")));

    QString selected;
    QString shown;
    QStringList names;
    DialogAnswer answer([&](QFileDialog* shownDialog) {
        selected = shownDialog->selectedNameFilter();
        shown = shownFilter(shownDialog);
        // Matched without regard to letter case, as on Windows.
        QTRY_COMPARE(shownNames(shownDialog), QStringList({ "data.mdb", "OLD.MDB" }));
        names = shownNames(shownDialog);
        chooseByName(shownDialog, QStringLiteral("OLD.MDB"));
        static_cast<QDialog*>(shownDialog)->accept(); // QFileDialog::accept is protected
    });
    QVERIFY(dialog.showOpen());
    QVERIFY(answer.answered());
    QCOMPARE(selected, QStringLiteral("DB File (*.mdb)"));
    QCOMPARE(shown, QStringLiteral("DB File (*.mdb)"));
    QCOMPARE(names, QStringList({ "data.mdb", "OLD.MDB" }));
    QCOMPARE(dialog.fileName(), path(QStringLiteral("OLD.MDB")));
}

void TestOpenDialog::cancelEmptiesTheFileName()
{
    CommonDialog1 dialog;
    dialog.setFilter(QStringLiteral("All Files (*.*)|*.*|Index Files(*.txt)|*.txt"));
    dialog.setFileName(path(QStringLiteral("notes.txt")));
    DialogAnswer answer([](QFileDialog* shownDialog) { shownDialog->reject(); });
    QVERIFY(!dialog.showOpen());
    QVERIFY(answer.answered());
    QCOMPARE(dialog.fileName(), QString());
}

void TestOpenDialog::answeredInAdvance()
{
    CommonDialog1 dialog;
    dialog.setFilter(QStringLiteral("DB File (*.mdb)|*.mdb"));

    CommonDialog1::setNextAnswer(path(QStringLiteral("data.mdb")));
    QVERIFY(dialog.showOpen());
    QCOMPARE(dialog.fileName(), path(QStringLiteral("data.mdb")));

    // The file name stays for the next operation.
    QCOMPARE(dialog.fileName(), path(QStringLiteral("data.mdb")));

    // An empty answer is a cancel.
    CommonDialog1::setNextAnswer(QString());
    QVERIFY(!dialog.showOpen());
    QCOMPARE(dialog.fileName(), QString());
}

void TestOpenDialog::withdrawnAnswerShowsTheDialog()
{
    CommonDialog1 dialog;
    CommonDialog1::setNextAnswer(path(QStringLiteral("data.mdb")));
    CommonDialog1::setNextAnswer(std::nullopt);
    DialogAnswer answer([](QFileDialog* shownDialog) { shownDialog->reject(); });
    QVERIFY(!dialog.showOpen());
    QVERIFY(answer.answered());

    // An answer serves one showing only.
    CommonDialog1::setNextAnswer(path(QStringLiteral("data.mdb")));
    QVERIFY(dialog.showOpen());
    DialogAnswer second([](QFileDialog* shownDialog) { shownDialog->reject(); });
    QVERIFY(!dialog.showOpen());
    QVERIFY(second.answered());
}


// The start-up dialog, set up as the start-up sets it, shows the SQLite
// databases first; the older entry is still there.
void TestOpenDialog::startupDialogListsSqliteDatabases()
{
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("dbs")));
    for (const char* name : { "demo.db", "library.DB", "old.mdb", "index.txt" }) {
        QFile file(path(QStringLiteral("dbs/") + QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    CommonDialog1 dialog;
    dialog.setFilter(QStringLiteral("DB File (*.mdb)|*.mdb|SQLite Database (*.db)|*.db"));
    dialog.setFilterIndex(2);
    dialog.setFileName(path(QStringLiteral("dbs/demo.db")));

    QString shown;
    QStringList names;
    QStringList entries;
    DialogAnswer answer([&](QFileDialog* shownDialog) {
        shown = shownFilter(shownDialog);
        entries = shownDialog->nameFilters();
        QTRY_COMPARE(shownNames(shownDialog), QStringList({ "demo.db", "library.DB" }));
        names = shownNames(shownDialog);
        chooseByName(shownDialog, QStringLiteral("demo.db"));
        static_cast<QDialog*>(shownDialog)->accept();
    });
    QVERIFY(dialog.showOpen());
    QVERIFY(answer.answered());
    QCOMPARE(shown, QStringLiteral("SQLite Database (*.db)"));
    QCOMPARE(entries, QStringList({ "DB File (*.mdb) (*.mdb)", "SQLite Database (*.db) (*.db)" }));
    QCOMPARE(names, QStringList({ "demo.db", "library.DB" }));
    QCOMPARE(dialog.fileName(), path(QStringLiteral("dbs/demo.db")));
}

QTEST_MAIN(TestOpenDialog)
#include "test_open_dialog.moc"
