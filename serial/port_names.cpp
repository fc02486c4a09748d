#include "serial/port_names.h"

#include <sys/stat.h>

#include "settings/settings_directory.h"

namespace tarnlight {

std::string PortName(int index) {
    if (index < 0 || index >= kPortCount) return {};
    return "COM" + std::to_string(index + 1);
}

std::string ResolvePortDevice(int index) {
    const std::string name = PortName(index);
    if (name.empty()) return {};
    // The device map lets the operator point "COMn" at any device (a USB
    // adapter, a pseudo-terminal). A mapping whose device is missing (an
    // unplugged adapter) is still used, so the open fails with the port's
    // message instead of silently reaching the built-in port.
    const std::string mapped = SettingsDirectory() + "devices/" + name;
    struct stat st {};
    if (::lstat(mapped.c_str(), &st) == 0) return mapped;
    return "/dev/ttyS" + std::to_string(index);
}

uint32_t BaudRateForIndex(int index) {
    if (index == -1) return 19200;  // no item selected
    if (index < 0 || index >= static_cast<int>(baudRateTable.size())) return 0;
    return baudRateTable[static_cast<size_t>(index)];
}

}  // namespace tarnlight
