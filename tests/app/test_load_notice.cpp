// The window's loads on the real library: silent when every line was used,
// one message summing up the skipped and cut lines otherwise, shown only once
// the load's unit of work has ended.
#include "app/CommonDialog1.h"
#include "app/PatEdConfig.h"
#include "app/WindowCommands.h"
#include "store/KovadelLibrary.h"
#include "support/SqliteReader.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestLoadNotice : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void cleanCodeLoadIsSilent();
    void codeLoadWithBlankLinesTellsOnceAfterTheUnit();
    void descriptionLoadTellsTheCutAndShortLines();
    void cancelledDialogIsSilent();
    void buildTellsAFirstTopicCutToItsField();

private:
    QString write(const QString& name, const QByteArray& bytes);
    void press(const char* button);
    int storedCodes();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_db;
    std::unique_ptr<KovadelLibrary> m_library;
    std::unique_ptr<MainVariables> m_vars;
    std::unique_ptr<PatEdConfig> m_window;
    std::unique_ptr<PatEdContext> m_ctx;
    QStringList m_messages;
    QList<int> m_codesWhenTold; // the codes another connection saw when each message came
};

QString TestLoadNotice::write(const QString& name, const QByteArray& bytes)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
    return path;
}

int TestLoadNotice::storedCodes()
{
    SqliteReader reader(m_db.toStdString());
    return std::stoi(reader.value("SELECT count(*) FROM codes"));
}

void TestLoadNotice::press(const char* button)
{
    auto* widget = m_window->findChild<QPushButton*>(QString::fromLatin1(button));
    QVERIFY2(widget, button);
    QVERIFY(widget->isEnabled());
    widget->click();
}

void TestLoadNotice::init()
{
    const QString libraryPath = QStringLiteral(KOVADEL_LIBRARY_PATH);
    QVERIFY2(QFileInfo::exists(libraryPath), "the data-access library is built with the tests");
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = m_dir->filePath(QStringLiteral("velk.db"));
    m_library = std::make_unique<KovadelLibrary>(libraryPath);
    QVERIFY2(m_library->StartVelk(m_db, QStringLiteral("ADMIN"), QString()) != 0, qPrintable(m_library->LastError()));
    {
        SqliteReader admin(m_db.toStdString());
        QVERIFY2(admin.exec("INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD')"), admin.error().c_str());
    }

    m_vars = std::make_unique<MainVariables>();
    m_vars->RunMode = QStringLiteral("interactive");
    m_window = std::make_unique<PatEdConfig>();
    m_ctx = std::make_unique<PatEdContext>(PatEdContext { *m_vars, *m_window, *m_library });
    m_window->setCommands(windowCommands(*m_ctx, *m_window));
    m_messages.clear();
    m_codesWhenTold.clear();
    m_window->setMessageSink([this](const QString& text) {
        m_messages << text;
        m_codesWhenTold << storedCodes();
    });
    m_window->addListItem(ListName::CodeList, QStringLiteral("ICD"));
    m_window->setListText(ListName::CodeList, QStringLiteral("ICD"));
}

void TestLoadNotice::cleanup()
{
    CommonDialog1::setNextAnswer(std::nullopt);
    m_window.reset();
    m_ctx.reset();
    if (m_library)
        m_library->EndVelk();
    m_library.reset();
    QVERIFY2(QApplication::topLevelWidgets().isEmpty(), "a window was left open");
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestLoadNotice::cleanCodeLoadIsSilent()
{
    CommonDialog1::setNextAnswer(write(QStringLiteral("codes.txt"),
        "\xEF\xBB\xBF"
        "a.doc, A1 A2\r\nb.doc, B1\r\n"));
    press("CmdLoad");
    QCOMPARE(m_messages, QStringList());
    QCOMPARE(storedCodes(), 3);
}

void TestLoadNotice::codeLoadWithBlankLinesTellsOnceAfterTheUnit()
{
    const QString path = write(QStringLiteral("codes.txt"), "a.doc, A1 A2\r\n\r\nb.doc, B1\r\n  \r\n");
    CommonDialog1::setNextAnswer(path);
    press("CmdLoad");
    QCOMPARE(m_messages,
        QStringList({ QStringLiteral("Loaded from %1: 4 lines read, 3 codes stored, 2 lines skipped (blank).\n"
                                     "Skipped (blank): lines 2, 4.")
                          .arg(path) }));
    // Another connection already saw the codes when the message came: the
    // unit had been committed.
    QCOMPARE(m_codesWhenTold, QList<int>({ 3 }));
}

void TestLoadNotice::descriptionLoadTellsTheCutAndShortLines()
{
    CommonDialog1::setNextAnswer(write(QStringLiteral("codes.txt"), "a.doc, J45.20\r\n"));
    press("CmdLoad");
    QCOMPARE(m_messages, QStringList());

    const QString path
        = write(QStringLiteral("descriptions.txt"), "\"J45.20\",\"" + QByteArray(101, 'y') + "\"\r\n\"I10\"\r\n");
    CommonDialog1::setNextAnswer(path);
    press("LoadCodeDescription");
    QCOMPARE(m_messages,
        QStringList({ QStringLiteral("Loaded from %1: 2 lines read, 1 code described, 1 line skipped (too short), 1 "
                                     "description cut to 100 characters.\n"
                                     "Skipped (too short): line 2.\n"
                                     "Description cut to 100 characters: line 1.")
                          .arg(path) }));
    SqliteReader reader(m_db.toStdString());
    QCOMPARE(QString::fromStdString(reader.value("SELECT Description FROM codes")), QString(100, u'y'));
}

void TestLoadNotice::cancelledDialogIsSilent()
{
    CommonDialog1::setNextAnswer(QString());
    press("CmdLoad");
    CommonDialog1::setNextAnswer(QString());
    press("LoadCodeDescription");
    QCOMPARE(m_messages, QStringList());
}

void TestLoadNotice::buildTellsAFirstTopicCutToItsField()
{
    CallStatus status;
    ModuleRecord module;
    module.ModuleName = QStringLiteral("ADULT");
    module.DirectoryPrefix = QStringLiteral("ADU");
    QVERIFY2(m_library->InsertModule(module, status) != 0, qPrintable(m_library->LastError()));
    m_window->addListItem(ListName::ModuleList, QStringLiteral("ADULT"));
    m_window->setListText(ListName::ModuleList, QStringLiteral("ADULT"));

    // A clean build first: silent.
    CommonDialog1::setNextAnswer(write(QStringLiteral("short.txt"), "\xEF\xBB\xBFHealth\r\n  Asthma~asthma.pdf~\r\n"));
    auto* build = m_window->findChild<QAction*>(QStringLiteral("BuildTopic"));
    QVERIFY(build);
    build->trigger();
    QCOMPARE(m_messages, QStringList());

    const QString path = write(QStringLiteral("long.txt"), QByteArray(90, 'H') + "\r\n  Asthma~asthma.pdf~\r\n");
    CommonDialog1::setNextAnswer(path);
    build->trigger();
    QCOMPARE(m_messages,
        QStringList({ QStringLiteral("Loaded from %1: 2 lines read, 2 topics stored, 0 lines skipped, 1 description "
                                     "cut to 80 characters.\nDescription cut to 80 characters: line 1.")
                          .arg(path) }));
}

QTEST_MAIN(TestLoadNotice)
#include "test_load_notice.moc"
