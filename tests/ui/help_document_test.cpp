// The help document is found beside an installed program and in the source
// tree, opens at its contents, and a missing one gives a message box while
// the program goes on.
#include "ui/help_document.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <set>
#include <string>

#include "tests/ui/modal_test_support.h"

namespace tarnlight::ui {
namespace {

using test::UrlCatcher;

// Closes the next modal message box and keeps its caption and text.
struct MessageBoxCloser {
    QString caption;
    QString text;
    void Arm() {
        QTimer::singleShot(20, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                Arm();
                return;
            }
            caption = box->windowTitle();
            text = box->text();
            box->accept();
        });
    }
};

// A prefix laid out as the package installs it: bin/ and the document.
struct InstalledPrefix {
    QTemporaryDir root;
    QString bin() const { return root.filePath("usr/bin"); }
    QString document() const { return root.filePath("usr/share/tarnlight/tarnlight.html"); }
    bool Create() {
        if (!QDir().mkpath(bin()) || !QDir().mkpath(root.filePath("usr/share/tarnlight")))
            return false;
        QFile file(document());
        return file.open(QIODevice::WriteOnly) && file.write("<h1 id=\"contents\">x</h1>") > 0;
    }
};

TEST(HelpDocument, FoundBesideTheInstalledProgramBeforeTheSourceTree) {
    InstalledPrefix prefix;
    ASSERT_TRUE(prefix.Create());
    EXPECT_EQ(FindHelpDocument(prefix.bin()), prefix.document());
    // A relative or unclean program directory leads to the same file.
    EXPECT_EQ(FindHelpDocument(prefix.bin() + "/../bin/"), prefix.document());

    // Without an installed copy (a program in the build tree) the source
    // tree's docs/ copy is used.
    QTemporaryDir buildTree;
    const QString fromBuild = FindHelpDocument(buildTree.filePath("apps"));
    ASSERT_FALSE(fromBuild.isEmpty());
    EXPECT_TRUE(fromBuild.endsWith("/docs/tarnlight.html")) << fromBuild.toStdString();
    EXPECT_EQ(HelpDocumentCandidates(buildTree.filePath("apps")).size(), 2);
}

TEST(HelpDocument, ShippedDocumentHasContentsAndEveryContextAnchor) {
    const QString path = FindHelpDocument(QString());
    ASSERT_FALSE(path.isEmpty());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    // The contexts the window's controls carry, and the table of contents
    // that Help and F1 open.
    for (const char* anchor : {"contents", "context-1", "context-2", "context-7", "context-8",
                               "context-9", "context-10"}) {
        EXPECT_TRUE(html.contains(QStringLiteral("id=\"%1\"").arg(anchor))) << anchor;
        if (std::string(anchor) != "contents") {
            EXPECT_TRUE(html.contains(QStringLiteral("href=\"#%1\"").arg(anchor)))
                << "no link to " << anchor;
        }
    }
    // Every in-page link leads to an anchor that exists, and no id is used twice.
    std::set<QString> ids;
    static const QRegularExpression idPattern(QStringLiteral("\\bid=\"([^\"]+)\""));
    for (auto it = idPattern.globalMatch(html); it.hasNext();) {
        const QString id = it.next().captured(1);
        EXPECT_TRUE(ids.insert(id).second) << "duplicate id " << id.toStdString();
    }
    static const QRegularExpression linkPattern(QStringLiteral("href=\"#([^\"]+)\""));
    for (auto it = linkPattern.globalMatch(html); it.hasNext();) {
        const QString target = it.next().captured(1);
        EXPECT_TRUE(ids.count(target)) << "link to missing #" << target.toStdString();
    }
    // Self-contained: nothing is loaded from elsewhere.
    EXPECT_FALSE(html.contains("src=\"http")) << "external picture";
    EXPECT_FALSE(html.contains("<link")) << "external style sheet";
}

// The statements on tag_history in text's code blocks (<pre> of the help,
// ```sql of the README), one line each.
QStringList HistoryQueries(const QString& text, const QString& block) {
    QStringList queries;
    const QRegularExpression blocks(block, QRegularExpression::DotMatchesEverythingOption);
    for (auto it = blocks.globalMatch(text); it.hasNext();) {
        QString code = it.next().captured(1);
        code.replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&");
        for (const QString& statement : code.split(';')) {
            if (statement.contains("tag_history")) queries << statement.simplified();
        }
    }
    return queries;
}

TEST(HelpDocument, GivesTheReadmesHistoryQueries) {
    const QString help = FindHelpDocument(QString());
    QFile helpFile(help);
    QFile readme(QFileInfo(help).dir().filePath("../README.md"));
    ASSERT_TRUE(helpFile.open(QIODevice::ReadOnly) && readme.open(QIODevice::ReadOnly));
    const QStringList queries =
        HistoryQueries(QString::fromUtf8(readme.readAll()), "```sql\\n(.*?)```");
    EXPECT_EQ(HistoryQueries(QString::fromUtf8(helpFile.readAll()), "<pre>(.*?)</pre>"), queries);
    EXPECT_EQ(queries.size(), 2);
}

TEST(HelpDocument, OpensAtItsContentsWithTheDesktopViewer) {
    InstalledPrefix prefix;
    ASSERT_TRUE(prefix.Create());
    UrlCatcher viewer("file");
    EXPECT_TRUE(OpenHelpContents(nullptr, prefix.bin()));
    ASSERT_EQ(viewer.urls.size(), 1);
    const QUrl url = viewer.urls.front();
    EXPECT_EQ(url.toLocalFile(), prefix.document());
    EXPECT_EQ(url.fragment(), "contents");
    EXPECT_EQ(HelpUrl(prefix.document(), 9).fragment(), "context-9");
}

TEST(HelpDocument, MissingDocumentGivesAMessageAndTheProgramGoesOn) {
    QTemporaryDir empty;
    const QStringList nowhere = {empty.filePath("a/tarnlight.html"),
                                 empty.filePath("b/tarnlight.html")};
    UrlCatcher viewer("file");
    MessageBoxCloser closer;
    closer.Arm();
    EXPECT_FALSE(OpenHelpDocument(nullptr, nowhere));
    EXPECT_TRUE(viewer.urls.isEmpty());
    EXPECT_EQ(closer.caption, "Help");
    EXPECT_TRUE(closer.text.contains("was not found")) << closer.text.toStdString();
    // The operator is told where it was looked for.
    EXPECT_TRUE(closer.text.contains(nowhere[0])) << closer.text.toStdString();
    EXPECT_TRUE(closer.text.contains(nowhere[1]));

    // A second try after the document has appeared opens it.
    ASSERT_TRUE(QDir().mkpath(empty.filePath("b")));
    QFile file(nowhere[1]);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(OpenHelpDocument(nullptr, nowhere));
    ASSERT_EQ(viewer.urls.size(), 1);
    EXPECT_EQ(viewer.urls.front().toLocalFile(), QFileInfo(nowhere[1]).absoluteFilePath());
}

}  // namespace
}  // namespace tarnlight::ui
