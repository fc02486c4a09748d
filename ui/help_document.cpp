#include "ui/help_document.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

// Set by the build: the installed document's directory relative to the
// installed program's directory, and the source tree's docs/ directory.
#ifndef TL_HELP_FROM_PROGRAM_DIR
#define TL_HELP_FROM_PROGRAM_DIR "../share/tarnlight"
#endif
#ifndef TL_SOURCE_DOCS_DIR
#define TL_SOURCE_DOCS_DIR ""
#endif

namespace tarnlight::ui {

namespace {

const char* const kHelpFileName = "tarnlight.html";

}  // namespace

QStringList HelpDocumentCandidates(const QString& programDir) {
    QStringList candidates;
    if (!programDir.isEmpty()) {
        candidates << QDir::cleanPath(
            QDir(programDir)
                .absoluteFilePath(QStringLiteral(TL_HELP_FROM_PROGRAM_DIR "/") + kHelpFileName));
    }
    const QString sourceDocs = QStringLiteral(TL_SOURCE_DOCS_DIR);
    if (!sourceDocs.isEmpty()) candidates << QDir(sourceDocs).filePath(kHelpFileName);
    return candidates;
}

QString FirstExistingDocument(const QStringList& candidates) {
    for (const QString& candidate : candidates) {
        const QFileInfo file(candidate);
        if (file.isFile() && file.isReadable()) return file.absoluteFilePath();
    }
    return {};
}

QString FindHelpDocument(const QString& programDir) {
    return FirstExistingDocument(HelpDocumentCandidates(programDir));
}

QUrl HelpUrl(const QString& documentPath, int context) {
    QUrl url = QUrl::fromLocalFile(documentPath);
    url.setFragment(context > 0 ? QStringLiteral("context-%1").arg(context)
                                : QStringLiteral("contents"));
    return url;
}

bool OpenHelpContents(QWidget* parent, const QString& programDir) {
    const QString dir = programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir;
    return OpenHelpDocument(parent, HelpDocumentCandidates(dir));
}

bool OpenHelpDocument(QWidget* parent, const QStringList& candidates) {
    const QString document = FirstExistingDocument(candidates);
    if (document.isEmpty()) {
        QMessageBox::warning(parent, QStringLiteral("Help"),
                             QStringLiteral("The help document %1 was not found. Looked in:\n\n"
                                            "%2\n\nReinstall Tarnlight to get it back; "
                                            "the program goes on without it.")
                                 .arg(kHelpFileName, candidates.join('\n')));
        return false;
    }
    if (!QDesktopServices::openUrl(HelpUrl(document))) {
        QMessageBox::warning(parent, QStringLiteral("Help"),
                             QStringLiteral("No viewer could be started for the help document:\n\n"
                                            "%1\n\nOpen it in a web browser (the package "
                                            "xdg-utils lets the desktop choose one).")
                                 .arg(document));
        return false;
    }
    return true;
}

}  // namespace tarnlight::ui
