// Takes pictures of the windows for the documentation: the main window on
// each tab with sample names in its lists, the progress window half-way, and
// "Library Contents" on each tab over sample contents.
// Usage: velk_screenshots OUTPUT-FOLDER
#include "app/LibraryContentsWindow.h"
#include "app/LoadStatus.h"
#include "app/PatEdConfig.h"
#include "tests/support/ListedContents.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
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

// A module's topic index and a coding system's codes, as a demo database holds them.
void fillSample(ListedContents& sample)
{
    int id = 0;
    for (const char* name : { "ADU", "PED", "Cardiology", "Oncology", "Womens Health" })
        sample.moduleList.push_back({ ++id, QString::fromLatin1(name) });
    id = 0;
    for (const char* name : { "ICD", "CPT", "NDC" })
        sample.systemList.push_back({ ++id, QString::fromLatin1(name) });
    struct Line {
        int level;
        const char* description;
        const char* document;
    };
    const Line index[] = { { 0, "Child Health", "pdf\\child.htm" }, { 1, "Asthma in children", "PED_asthma_pdf.htm" },
        { 2, "Using an inhaler", "PED_inhaler_pdf.htm" }, { 2, "Asthma action plan", "PED_plan_doc.htm" },
        { 1, "Fever", "PED_fever_doc.htm" }, { 1, "Immunizations", "PED_shots_pdf.htm" },
        { 2, "Measles, mumps and rubella", "PED_mmr_pdf.htm" }, { 0, "Growth and Development", "" },
        { 1, "Newborn care", "PED_newborn_doc.htm" }, { 1, "Toilet training", "PED_toilet_doc.htm" },
        { 0, "Safety", "" }, { 1, "Car seats", "PED_carseat_pdf.htm" } };
    std::vector<int32_t> parents(4, 0);
    int32_t topicId = 100;
    for (const Line& line : index) {
        ++topicId;
        sample.topicsOf[2].push_back({ topicId, parents[line.level], false, QString::fromLatin1(line.description),
            QString::fromLatin1(line.document) });
        parents[line.level + 1] = topicId;
    }
    struct Code {
        const char* code;
        const char* document;
        const char* description;
    };
    const Code codes[] = { { "E10.9", "pdf\\diabetes.htm", "Type 1 diabetes mellitus without complications" },
        { "E11.9", "pdf\\diabetes.htm", "Type 2 diabetes mellitus without complications" },
        { "H81.0", "doc\\meniere.htm", "Meniere's disease" }, { "I10", "doc\\bloodpressure.htm", "Essential (primary) hypertension" },
        { "I11.9", "doc\\bloodpressure.htm", "Hypertensive heart disease without heart failure" },
        { "J45.20", "pdf\\asthma.htm", "Mild intermittent asthma, uncomplicated" },
        { "J45.30", "pdf\\asthma.htm", "Mild persistent asthma, uncomplicated" },
        { "J45.40", "pdf\\asthma.htm", "Moderate persistent asthma, uncomplicated" },
        { "K21.9", "pdf\\reflux.htm", "Gastro-esophageal reflux disease without esophagitis" },
        { "M54.5", "doc\\backpain.htm", "Low back pain" }, { "N39.0", "pdf\\uti.htm", "Urinary tract infection" },
        { "R50.9", "doc\\fever.htm", "Fever, unspecified" } };
    int32_t codeId = 0;
    for (const Code& code : codes)
        sample.codesOf[1].push_back({ ++codeId, QString::fromLatin1(code.code), QString::fromLatin1(code.document),
            QString::fromLatin1(code.description) });
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

    // "Library Contents" on the module and coding system selected above.
    ListedContents sample;
    fillSample(sample);
    window.setContentsSource(&sample);
    window.findChild<QAction*>(QStringLiteral("LibraryContents"))->trigger();
    LibraryContentsWindow* contents = window.contentsWindow();
    contents->resize(640, 420);
    auto* contentsTabs = contents->findChild<QTabWidget*>(QStringLiteral("ContentsTabs"));
    contents->findChild<QLineEdit*>(QStringLiteral("TopicFilter"))->setText(QStringLiteral("asthma"));
    ok = save(*contents, out.filePath(QStringLiteral("contents-topics.png"))) && ok;
    contentsTabs->setCurrentIndex(LibraryContentsWindow::codesTab);
    ok = save(*contents, out.filePath(QStringLiteral("contents-codes.png"))) && ok;
    contents->close();
    return ok ? 0 : 1;
}
