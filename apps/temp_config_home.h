#pragma once
// A private configuration home for a tool run or a test: a fresh temporary
// directory that XDG_CONFIG_HOME and XDG_STATE_HOME point at (so the settings
// directory, the device map and the history's journals are its own),
// restored and removed again at the end.
#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include <stdlib.h>

namespace tarnlight::tools {

class TempConfigHome {
  public:
    explicit TempConfigHome(const std::string& prefix = "tl-tool") {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) return;
        path_ = pattern;
        for (std::size_t i = 0; i < kVariables.size(); ++i)
            if (const char* old = std::getenv(kVariables[i])) old_[i] = old;
        ::setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
        ::setenv("XDG_STATE_HOME", (path_ + "/state").c_str(), 1);
        ::unsetenv("STATE_DIRECTORY");
    }
    ~TempConfigHome() {
        if (path_.empty()) return;
        for (std::size_t i = 0; i < kVariables.size(); ++i) {
            if (old_[i]) {
                ::setenv(kVariables[i], old_[i]->c_str(), 1);
            } else {
                ::unsetenv(kVariables[i]);
            }
        }
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempConfigHome(const TempConfigHome&) = delete;
    TempConfigHome& operator=(const TempConfigHome&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

  private:
    static constexpr std::array<const char*, 3> kVariables = {"XDG_CONFIG_HOME", "XDG_STATE_HOME",
                                                              "STATE_DIRECTORY"};
    std::string path_;
    std::array<std::optional<std::string>, 3> old_;
};

}  // namespace tarnlight::tools
