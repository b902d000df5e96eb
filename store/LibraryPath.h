// Where the program finds its data-access library.
#pragma once

#include <QString>

// The first of these that exists: the library beside the program (the build
// tree), in the program's private library folder (bin/../lib/velkindex), in
// the folder it was installed to. Else the bare file name, so that the
// system's search finds it.
QString defaultKovadelLibraryPath();
