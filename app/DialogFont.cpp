#include "app/DialogFont.h"

#include <QStringList>

namespace {

const QString dialogFamily = QStringLiteral("MS Sans Serif");

} // namespace

void installDialogFontSubstitutes()
{
    static const bool installed = [] {
        // Metric-compatible or close in width, best first. Liberation Sans
        // (Arial's widths) comes with the package; without any of them the
        // platform's sans-serif font is used, and on a machine whose only
        // one is DejaVu Sans (a tenth wider) captions are cut.
        QFont::insertSubstitutions(dialogFamily,
            { QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Tahoma"), QStringLiteral("Arial"),
                QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Helvetica"),
                QStringLiteral("Nimbus Sans") });
        return true;
    }();
    Q_UNUSED(installed);
}

QFont dialogFont(qreal pointSize)
{
    installDialogFontSubstitutes();
    QFont font(dialogFamily);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    return font;
}
