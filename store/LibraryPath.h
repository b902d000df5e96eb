// Where the program finds the files it ships beside itself: its data-access
// library and its window program.
#pragma once

#include <QString>
#include <QStringList>

// Where the program looks for a file of its own, in this order: beside the
// program (the build tree), in the program's private library folder
// (bin/../lib/velkindex), in the folder it was installed to. Empty when the
// program's own folder cannot be told and no folder was installed to.
QStringList privateFileCandidates(const QString& fileName);

// The first of privateFileCandidates that exists; else the bare file name,
// so that the system's search finds it.
QString defaultKovadelLibraryPath();

// The window program (velkindex-window) that a start without a batch action
// hands over to: the first of privateFileCandidates that exists; when none
// does, the one in the folder the library was found in (where the install
// puts both), else the first. Empty only when there is no candidate at all.
QString windowProgramPath();
