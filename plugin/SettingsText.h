// The settings report users share: the parameters that differ from their defaults, by tab,
// as plain text with CR LF line ends. Portable.
#pragma once

#include <string>

#include "plugin/FilterParams.h"

// A value counts as changed when it lies further than this from its default (the 32-bit
// float 0.005 widened).
constexpr double kSettingsTolerance = 0.004999999888241291;

// The header, the product page, one block per tab with changed values (its header, then a
// line per changed value in the tab's order) and the closing line.
std::string BuildSettingsText(const FilterParams& params);
