#pragma once

// Shown when Build Index or Clear Index runs without a selected module.
inline constexpr char kSelectModuleMessage[] = "You must first select a Module from the available list.";
