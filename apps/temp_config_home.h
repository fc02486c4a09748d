#pragma once
// A private configuration home for a tool run or a test: a fresh temporary
// directory that XDG_CONFIG_HOME points at (so the settings directory and the
// device map are its own), restored and removed again at the end.
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
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
        ::setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
    }
    ~TempConfigHome() {
        if (path_.empty()) return;
        if (old_) {
            ::setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempConfigHome(const TempConfigHome&) = delete;
    TempConfigHome& operator=(const TempConfigHome&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::optional<std::string> old_;
};

}  // namespace tarnlight::tools
