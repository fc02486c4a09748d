#pragma once
// The operator's help: one HTML document, tarnlight.html, opened with the
// desktop's viewer (the default web browser) at its table of contents.
//
// An installed program finds it in <prefix>/share/tarnlight/ beside its
// <prefix>/bin; a program run from the build tree finds the source tree's
// docs/ copy. Its sections carry the help context numbers of the window's
// controls as anchors ("context-1" ...), the contents "contents".
#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

namespace tarnlight::ui {

// The places looked at, in order, for a program in programDir: the installed
// copy relative to it, then the source tree's docs/ directory.
QStringList HelpDocumentCandidates(const QString& programDir);

// The first of candidates that exists as a readable file, as an absolute
// path; empty when there is none.
QString FirstExistingDocument(const QStringList& candidates);
// FirstExistingDocument(HelpDocumentCandidates(programDir)).
QString FindHelpDocument(const QString& programDir);

// The document's URL at a help context: 0 the table of contents, n > 0 the
// section of the controls that carry context n.
QUrl HelpUrl(const QString& documentPath, int context = 0);

// Opens the help at its contents with the desktop's viewer. When the
// document is missing, or no viewer takes it, a message box over parent says
// so and where to look, and false is returned: the program goes on.
// programDir defaults to the running program's directory.
bool OpenHelpContents(QWidget* parent, const QString& programDir = QString());

// The same for an explicit list of places, looked at in order.
bool OpenHelpDocument(QWidget* parent, const QStringList& candidates);

}  // namespace tarnlight::ui
