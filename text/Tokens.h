// Splitting a string into space-separated tokens.
#pragma once

#include <QString>

// Left-trims `inLine` in place (spaces only) and returns its first token: the
// characters before the first space, or the whole trimmed string when it holds
// no space. `remainingLine` receives everything after that space, unchanged
// (it may begin with further spaces), or becomes empty when there is none.
// Only the space separates; a tab is part of a token.
QString getnexttoken(QString& inLine, QString& remainingLine);
