// Loading a coding description file: the descriptive texts of stored codes.
#pragma once

#include "coding/LoadCounts.h"
#include "core/PatEdContext.h"

#include <QString>

// The "Load Description" button (LoadCodeDescription): loads a description
// file for the coding system selected in CodeList.
bool LoadCodeDescription_Click(PatEdContext& ctx, LoadCounts* counts = nullptr);

// Reads a coding description file in the layout of `CodeSys` ("ICD" exactly,
// or the layout of every other system) and gives each code its description
// with SetCode, all in one unit of work. The file comes from the shared
// dialog, or in a batch run from BatchFileDir + BatchFileName.
//
// True when the file was loaded, or when the operator chose no file; false
// after a message saying what went wrong, with nothing stored.
bool LoadCodingDescription(PatEdContext& ctx, const QString& CodeSys, LoadCounts* counts = nullptr);
