// The about dialog as drawn, closed by its default button.
#include <gtest/gtest.h>

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "ui/about_box.h"

namespace tarnlight::ui {
namespace {

TEST(AboutBox, LaidOutAsDrawnAndClosedByItsDefaultButton) {
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), "About");
    EXPECT_EQ(box.size(), QSize(326, 265));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());  // fixed border
    const QPoint offCentre =
        box.geometry().center() - QGuiApplication::primaryScreen()->geometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2);

    EXPECT_EQ(box.Panel1->geometry(), QRect(8, 8, 313, 209));
    EXPECT_EQ(box.Panel1->frameShadow(), QFrame::Sunken);  // a raised bevel inside it
    EXPECT_EQ(box.Panel1->findChild<QFrame*>("Panel1Inner")->frameShadow(), QFrame::Raised);
    EXPECT_EQ(box.Image2->geometry(), QRect(8, 8, 96, 96));
    EXPECT_EQ(qAlpha(box.Image2->pixmap().toImage().pixel(0, 0)), 0);  // transparent around
    EXPECT_EQ(box.ProductName->text(), "Tarnlight");
    EXPECT_EQ(box.ProductName->pos(), QPoint(152, 8));
    EXPECT_EQ(box.ProductName->font().pointSize(), 12);
    EXPECT_TRUE(box.ProductName->font().bold());
    EXPECT_EQ(box.Version->text(), "Wersja 1.0");
    EXPECT_EQ(box.Version->pos(), QPoint(184, 27));
    for (QLabel* credit : {box.Copyright, box.Company, box.Comments}) {
        EXPECT_GT(credit->y(), box.Version->y());
        EXPECT_TRUE(box.Panel1->rect().contains(credit->geometry()));
    }
    EXPECT_EQ(box.OKButton->geometry(), QRect(119, 232, 75, 25));
    EXPECT_TRUE(box.OKButton->isDefault());

    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.result(), QDialog::Accepted);
    EXPECT_FALSE(box.isVisible());
}

}  // namespace
}  // namespace tarnlight::ui
