#pragma once
// Modal message boxes as the core layers see them. The window shows them
// modally; headless programs print them. The call returns once the operator
// has closed the box.
#include <cstdio>
#include <string>

namespace tarnlight {

class Notifier {
  public:
    virtual ~Notifier() = default;
    virtual void ShowMessageBox(const std::string& text, const std::string& caption) = 0;
};

// Prints "caption: text" as one line on a stdio stream (stderr by default).
class StreamNotifier : public Notifier {
  public:
    explicit StreamNotifier(std::FILE* stream = stderr) : stream_(stream) {}
    void ShowMessageBox(const std::string& text, const std::string& caption) override {
        std::fprintf(stream_, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stream_);
    }

  private:
    std::FILE* stream_;
};

}  // namespace tarnlight
