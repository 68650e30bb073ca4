#pragma once

#include "live/LiveSourceSettings.h"

#include <string>

// The command-line options that set the live sources' URLs and cache, the
// same in every program: "--dem-url", "--dem2-url", "--wms-url", "--wms-boundaries-url",
// "--geocoder-url", "--imagery-url" and "--cache". Returns the setting an option names, or
// nullptr for any other option.
std::string* LiveSourceSettingOfOption(const std::string& option, LiveSourceSettings& settings);
