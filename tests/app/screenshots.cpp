// Takes pictures of the windows for the documentation: the main window on
// each tab with sample names in its lists, and the progress window half-way.
// Usage: velk_screenshots OUTPUT-FOLDER
#include "app/LoadStatus.h"
#include "app/PatEdConfig.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace {

bool save(QWidget& window, const QString& path)
{
    // Let the window system map and paint the window first.
    QEventLoop settle;
    QTimer::singleShot(300, &settle, &QEventLoop::quit);
    settle.exec();
    const QPixmap picture = window.grab();
    if (!picture.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: velk_screenshots OUTPUT-FOLDER\n");
        return 2;
    }
    const QDir out(arguments.at(1));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out.path()));
        return 1;
    }

    PatEdConfig window;
    for (const char* name : { "ADU", "PED", "Cardiology", "Oncology", "Womens Health" })
        window.addListItem(ListName::ModuleList, QString::fromLatin1(name));
    for (const char* name : { "ICD", "CPT", "NDC" })
        window.addListItem(ListName::CodeList, QString::fromLatin1(name));
    window.setListText(ListName::ModuleList, QStringLiteral("PED"));
    window.setListText(ListName::CodeList, QStringLiteral("ICD"));
    window.show();

    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("SSTab1"));
    bool ok = true;
    tabs->setCurrentIndex(1);
    ok = save(window, out.filePath(QStringLiteral("main-coding-systems.png"))) && ok;
    tabs->setCurrentIndex(0);
    ok = save(window, out.filePath(QStringLiteral("main-modules.png"))) && ok;

    window.loadStatus().show();
    window.loadStatus().setStatus(QStringLiteral("Saving - PED Module to Database"));
    window.loadStatus().setValue(45.0f);
    window.loadStatus().refresh();
    ok = save(*window.loadStatus().window(), out.filePath(QStringLiteral("progress.png"))) && ok;
    window.loadStatus().unload();
    return ok ? 0 : 1;
}
