// Every caption of every window fits its box with the font the window
// actually gets: labels (wrapped where they wrap) and buttons, on every tab
// of the main window and in Topic Loader. The layout's boxes are fixed, so
// a font wider than the one it was made for cuts captions off.
#include "app/DialogFont.h"
#include "app/LoadStatus.h"
#include "app/PatEdConfig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QtTest>

namespace {

// Where the text of a label goes, and whether it fits there.
QString labelProblem(const QLabel* label)
{
    const QString text = label->text();
    if (text.isEmpty())
        return {};
    const QRect box = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
    const QFontMetrics metrics(label->font());
    const int flags = static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0)
                      | Qt::TextShowMnemonic;
    const QRect needed = metrics.boundingRect(box, flags, text);
    if (needed.width() <= box.width() && needed.height() <= box.height())
        return {};
    return QStringLiteral("label %1 \"%2\": needs %3x%4, has %5x%6 (%7)")
        .arg(label->objectName(), text)
        .arg(needed.width())
        .arg(needed.height())
        .arg(box.width())
        .arg(box.height())
        .arg(QFontInfo(label->font()).family());
}

QString buttonProblem(const QAbstractButton* button)
{
    QString text = button->text();
    text.remove(QLatin1Char('&'));
    if (text.isEmpty())
        return {};
    // The window paints a caption wider than its button on several lines,
    // inside the button less a small margin (PatEdConfig's wrapped caption).
    const QRect box = button->rect().adjusted(4, 1, -4, -1);
    const QFontMetrics metrics(button->font());
    const QRect needed
        = metrics.boundingRect(box, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, button->text());
    if (needed.width() <= box.width() && needed.height() <= box.height())
        return {};
    return QStringLiteral("button %1 \"%2\": needs %3x%4, has %5x%6 (%7)")
        .arg(button->objectName(), text)
        .arg(needed.width())
        .arg(needed.height())
        .arg(box.width())
        .arg(box.height())
        .arg(QFontInfo(button->font()).family());
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

QTEST_MAIN(TestCaptions)
#include "test_captions.moc"
