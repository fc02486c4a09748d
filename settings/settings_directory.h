#pragma once
// Where Tarnlight keeps its per-user files: the settings files (<name>.ini)
// and the device map (devices/COMn links that name serial devices).
#include <string>

namespace tarnlight {

// $XDG_CONFIG_HOME/tarnlight/, or ~/.config/tarnlight/ when XDG_CONFIG_HOME is
// unset or empty. Always ends with '/'. The directory is not created here.
std::string SettingsDirectory();

// Creates the settings directory (and its parents) with mode 0700 if missing.
// Returns false when it cannot be created.
bool EnsureSettingsDirectory();

}  // namespace tarnlight
