// Every caption of every window fits its box with the font the window
// actually gets: labels (wrapped where they wrap) and buttons, on every tab
// of the main window, in Topic Loader and in Library Contents. The layout's boxes are fixed, so
// a font wider than the one it was made for cuts captions off.
#include "app/DialogFont.h"
#include "app/LibraryContentsWindow.h"
#include "app/LoadStatus.h"
#include "app/PatEdConfig.h"
#include "support/ListedContents.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QTabWidget>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QtTest>

namespace {

// Whether `text`, drawn with `flags` in `widget`'s font, fits `box`; if not,
// what it needs and what it has.
QString fitProblem(const char* kind, const QWidget* widget, const QString& text, const QRect& box, int flags)
{
    const QRect needed = QFontMetrics(widget->font()).boundingRect(box, flags | Qt::TextShowMnemonic, text);
    if (needed.width() <= box.width() && needed.height() <= box.height())
        return {};
    QString shown = text;
    shown.remove(QLatin1Char('&'));
    return QStringLiteral("%1 %2 \"%3\": needs %4x%5, has %6x%7 (%8)")
        .arg(QLatin1String(kind), widget->objectName(), shown)
        .arg(needed.width())
        .arg(needed.height())
        .arg(box.width())
        .arg(box.height())
        .arg(QFontInfo(widget->font()).family());
}

QString labelProblem(const QLabel* label)
{
    if (label->text().isEmpty())
        return {};
    const int m = label->margin();
    const int flags = static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    return fitProblem("label", label, label->text(), label->contentsRect().adjusted(m, m, -m, -m), flags);
}

QString buttonProblem(const QAbstractButton* button)
{
    // The window paints a caption wider than its button on several lines,
    // inside the button less a small margin (PatEdConfig's wrapped caption).
    return fitProblem("button", button, button->text(), button->rect().adjusted(4, 1, -4, -1),
        Qt::AlignCenter | Qt::TextWordWrap);
}

QStringList problems(const QWidget& window, int* checked)
{
    QStringList found;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        ++*checked;
        if (const QString problem = labelProblem(label); !problem.isEmpty())
            found << problem;
    }
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty())
            continue; // the tab bar's scroll arrows and the like carry no caption
        ++*checked;
        if (const QString problem = buttonProblem(button); !problem.isEmpty())
            found << problem;
    }
    return found;
}

} // namespace

class TestCaptions : public QObject {
    Q_OBJECT

private slots:
    void theDialogFontIsAMetricCompatibleFamily();
    void mainWindowCaptionsFit();
    void topicLoaderCaptionsFit();
    void libraryContentsCaptionsFit();
};

// The layout was made for "MS Sans Serif" / Arial widths; a stand-in of other
// widths (DejaVu Sans is about a tenth wider) cuts the captions.
void TestCaptions::theDialogFontIsAMetricCompatibleFamily()
{
    const QString family = QFontInfo(dialogFont(8.25)).family();
    const QStringList fitting { QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
        QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo") };
    QVERIFY2(fitting.contains(family), qPrintable(QStringLiteral("the windows' font is %1").arg(family)));
}

void TestCaptions::mainWindowCaptionsFit()
{
    PatEdConfig window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    int checked = 0;
    const QStringList found = problems(window, &checked);
    QVERIFY2(checked >= 13, qPrintable(QString::number(checked)));
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QStringLiteral("\n"))));
}

void TestCaptions::topicLoaderCaptionsFit()
{
    PatEdConfig window;
    window.loadStatus().show();
    window.loadStatus().setStatus(QStringLiteral("Saving - PED Module to Database"));
    QWidget* loader = window.loadStatus().window();
    QVERIFY(loader);
    int checked = 0;
    const QStringList found = problems(*loader, &checked);
    QVERIFY2(checked >= 2, qPrintable(QString::number(checked)));
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QStringLiteral("\n"))));
    window.loadStatus().unload();
}

void TestCaptions::libraryContentsCaptionsFit()
{
    // The longest count lines it writes, on both tabs.
    ListedContents source;
    source.moduleList = { { 1, QStringLiteral("Womens Health") } };
    source.systemList = { { 1, QStringLiteral("CPT") } };
    for (int32_t id = 1; id <= 250; ++id)
        source.codesOf[1].push_back({ id, QStringLiteral("%1").arg(10000 + id), {}, {} });
    PatEdConfig window;
    window.setContentsSource(&source);
    window.findChild<QAction*>(QStringLiteral("LibraryContents"))->trigger();
    LibraryContentsWindow* contents = window.contentsWindow();
    QVERIFY(contents);
    QVERIFY(QTest::qWaitForWindowExposed(contents));
    auto* tabs = contents->findChild<QTabWidget*>(QStringLiteral("ContentsTabs"));
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        int checked = 0;
        QStringList found;
        for (const QLabel* label : tabs->widget(tab)->findChildren<QLabel*>()) {
            ++checked;
            if (const QString problem = labelProblem(label); !problem.isEmpty())
                found << problem;
        }
        QVERIFY2(checked >= 4, qPrintable(QString::number(checked)));
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QStringLiteral("\n"))));
    }
    int checked = 0;
    const QStringList buttons = problems(*contents, &checked);
    QVERIFY2(buttons.isEmpty(), qPrintable(buttons.join(QStringLiteral("\n"))));
}

QTEST_MAIN(TestCaptions)
#include "test_captions.moc"
