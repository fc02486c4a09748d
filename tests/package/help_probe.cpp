// Prints the help document the window finds for a program in DIR, as the
// window's Help button would open it; exit status 1 when there is none.
#include <cstdio>

#include "ui/help_document.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PROGRAM_DIR\n", argv[0]);
        return 2;
    }
    const QString found = tarnlight::ui::FindHelpDocument(QString::fromLocal8Bit(argv[1]));
    std::printf("%s\n", found.toLocal8Bit().constData());
    return found.isEmpty() ? 1 : 0;
}
