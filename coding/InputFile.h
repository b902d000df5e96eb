// Choosing the input file of a load.
#pragma once

#include "app/PatEdContext.h"

#include <QString>

// The filter of the shared dialog for code and coding description files.
QString inputFileFilter();

// With `showDialog`, asks through the shared dialog (index files offered
// first) and returns the confirmed path, empty when the operator cancelled.
// Otherwise returns BatchFileDir followed directly by BatchFileName, which the
// dialog keeps as its last file name, as if it had been chosen there.
QString chooseInputFile(PatEdContext& ctx, bool showDialog);
