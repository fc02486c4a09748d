// tarnlight: the operator's window. Starts with every page at its default
// values (the settings file is read only by Load, or by --load at start) and
// runs until the window is closed. SIGINT and SIGTERM close the window the
// way its close button does: a running connection is stopped first.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "engine/engine.h"
#include "serial/line_trace.h"
#include "ui/application.h"
#include "ui/help_document.h"
#include "ui/unit1.h"

namespace {

using tarnlight::ui::TForm1;

const char* const kUsage =
    "Usage: tarnlight [--load NAME] [--trace FILE] [--help]\n"
    "The operator's window: links to the PLC over SNP, shows its memory and\n"
    "mirrors it into the database.\n"
    "\n"
    "  --load NAME  at start, load the settings file NAME.ini of the settings\n"
    "               directory, as the Load button does with NAME in the name box\n"
    "  --trace FILE write one line per block, receive, break and purge on the\n"
    "               serial line to FILE (renamed to FILE.1 at 10 MiB)\n"
    "  --help       this text\n";

// The help text, and which help document Help and F1 would open: the copy
// installed beside this program or, run from the build tree, the source
// tree's.
void PrintHelp(int argc, char** argv) {
    std::fputs(kUsage, stdout);
    // Only for the program's own path: needs no display.
    QCoreApplication core(argc, argv);
    const QString dir = QCoreApplication::applicationDirPath();
    const QString document = tarnlight::ui::FindHelpDocument(dir);
    if (!document.isEmpty()) {
        std::printf("\nHelp document: %s\n", document.toLocal8Bit().constData());
    } else {
        std::printf("\nHelp document: not found; looked in:\n");
        for (const QString& place : tarnlight::ui::HelpDocumentCandidates(dir))
            std::printf("  %s\n", place.toLocal8Bit().constData());
    }
}

struct Options {
    bool help = false;
    bool load = false;
    std::string loadName;
    std::string tracePath;  // empty: no trace
};

// False with a message for a bad command line. Qt's own options (-platform
// and the like) have been taken out of argv by the application object.
bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--load") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tarnlight: --load needs a settings file name\n");
                return false;
            }
            options.load = true;
            options.loadName = argv[++i];
        } else if (arg == "--trace") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tarnlight: --trace needs a file\n");
                return false;
            }
            options.tracePath = argv[++i];
        } else if (arg.rfind("--trace=", 0) == 0) {
            options.tracePath = arg.substr(std::strlen("--trace="));
        } else if (arg.rfind("--load=", 0) == 0) {
            options.load = true;
            options.loadName = arg.substr(std::strlen("--load="));
        } else {
            std::fprintf(stderr, "tarnlight: unknown option '%s'\n%s", arg.c_str(), kUsage);
            return false;
        }
    }
    return true;
}

bool WantsHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
    }
    return false;
}

// SIGINT and SIGTERM, turned into a close of the window on the
// user-interface thread: the handler only writes a byte into a pipe that the
// event loop watches.
int stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char byte = 1;
    const ssize_t ignored = ::write(stopPipe[1], &byte, 1);
    (void)ignored;
}

bool WatchStopSignals(TForm1& form) {
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (sigaction(SIGINT, &action, nullptr) != 0 || sigaction(SIGTERM, &action, nullptr) != 0)
        return false;
    auto* notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, &form);
    QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form] {
        char bytes[16];
        while (::read(stopPipe[0], bytes, sizeof bytes) > 0) {
        }
        // An open message box or progress dialog is closed first (a build
        // in progress is cancelled), then the window, as its close button
        // would.
        for (int open = 0; open < 8; ++open) {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal == &form || !modal->close()) break;
        }
        form.close();
    });
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        PrintHelp(argc, argv);
        return 0;
    }
    tarnlight::ui::TApplication app(argc, argv);
    Options options;
    if (!ParseOptions(argc, argv, options)) return 2;
    // Opened before the window, so that a trace that cannot be written ends
    // the start before any settings file, port or database is touched. It
    // outlives the window and its engine, which write into it.
    tarnlight::LineTrace trace;
    if (!options.tracePath.empty()) {
        std::string error;
        if (!trace.Open(options.tracePath, &error)) {
            std::fprintf(stderr, "tarnlight: %s\n", error.c_str());
            return 2;
        }
    }
    try {
        TForm1 form;
        if (trace.IsOpen()) form.engine().SetLineTrace(&trace);
        form.show();
        if (!WatchStopSignals(form))
            std::fprintf(stderr, "tarnlight: cannot watch SIGINT/SIGTERM: %s\n",
                         std::strerror(errno));
        if (options.load) {
            // Inside the event loop, so that a stop signal arriving while the
            // E31 box is up ends the program like any other close.
            const QString name = QString::fromLocal8Bit(options.loadName.c_str());
            QTimer::singleShot(0, &form, [&form, name] {
                form.Edit_inifile->setText(name);
                form.SB_LoadClick();
            });
        }
        return app.exec();
    } catch (const std::exception& error) {
        tarnlight::ui::ShowErrorText(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        tarnlight::ui::ShowErrorText(QStringLiteral("Unknown error"));
    }
    return 1;
}
