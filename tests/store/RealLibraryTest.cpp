// The binding against the project's own data-access library, when it has been
// built: a short session through KovadelLibrary on a fresh database.

#include "store/KovadelLibrary.h"

#include "text/PrintQString.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

TEST(RealLibrary, ShortSessionOnAFreshDatabase)
{
    const QString libraryPath = QStringLiteral(KOVADEL_LIBRARY_PATH);
    if (!QFileInfo::exists(libraryPath))
        GTEST_SKIP() << "the data-access library has not been built";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    KovadelLibrary library(libraryPath);
    ASSERT_NE(library.StartVelk(dir.filePath(QStringLiteral("pated.mdb")), QStringLiteral("ADMIN"), QString()), 0)
        << library.LastError().toStdString();

    CallStatus status;
    ModuleRecord module;
    module.ModuleID = 0;
    module.ModuleName = QString::fromUtf16(u"Caf\u00E9 Cardiology");
    module.DirectoryPrefix = QStringLiteral("CARD");
    ASSERT_NE(library.InsertModule(module, status), 0) << library.LastError().toStdString();

    // List all: element 0 unassigned.
    std::vector<ModuleRecord> list(1);
    library.GetModules(list, status);
    const auto found = std::find_if(list.begin(), list.end(),
        [](const ModuleRecord& m) { return m.ModuleName.trimmed() == QString::fromUtf16(u"Caf\u00E9 Cardiology"); });
    ASSERT_NE(found, list.end()) << "module not listed";
    EXPECT_NE(found->ModuleID, 0);

    ModuleRecord lookUp;
    lookUp.ModuleName = QString::fromUtf16(u"Caf\u00E9 Cardiology");
    library.GetModule(lookUp, status);
    EXPECT_EQ(lookUp.ModuleID, found->ModuleID);
    EXPECT_EQ(lookUp.DirectoryPrefix.trimmed(), QStringLiteral("CARD"));

    CodingSystemRecord system;
    system.CodingSystemName = QStringLiteral("NO-SUCH-SYSTEM");
    EXPECT_EQ(library.GetCodingSystem(system, status), 0);

    const QString textPath = dir.filePath(QStringLiteral("three.txt"));
    QFile text(textPath);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("a\r\nb\r\nc\r\n");
    text.close();
    EXPECT_EQ(library.FileLineCount(textPath), 3);

    library.EndVelk();
}
