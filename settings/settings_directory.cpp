#include "settings/settings_directory.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <pwd.h>
#include <unistd.h>

namespace tarnlight {

std::string SettingsDirectory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg != nullptr && xdg[0] != '\0') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            const passwd* pw = getpwuid(getuid());
            home = pw != nullptr ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    if (base.back() != '/') base += '/';
    return base + "tarnlight/";
}

bool EnsureSettingsDirectory() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path dir = SettingsDirectory();
    if (fs::is_directory(dir, ec)) return true;
    fs::create_directories(dir, ec);
    if (ec) return false;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    return true;
}

}  // namespace tarnlight
