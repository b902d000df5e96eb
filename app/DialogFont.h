// The windows' font, "MS Sans Serif". Where it is not installed, a font of
// similar width stands in for it, so that the texts fit the fixed boxes of
// the layout; the family asked for stays "MS Sans Serif".
#pragma once

#include <QFont>

// Registers the stand-ins for "MS Sans Serif" (once; later calls do nothing).
void installDialogFontSubstitutes();

// "MS Sans Serif" at `pointSize`, the stand-ins registered.
QFont dialogFont(qreal pointSize);
