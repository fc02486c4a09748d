// The Edit page: the memory-type switch, Apply, and what the worker reads
// through ReadEditInputs from its own thread.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <cmath>
#include <future>

#include "tests/ui/page_test_support.h"
#include "ui/panel2c.h"
#include "ui/radio_group.h"
#include "ui/spin_edit.h"

namespace tarnlight::ui {
namespace {

using test::ShowActive;
using test::TypeOver;

// Reads the inputs on another thread while this (the user-interface) thread
// blocks without handling events: a read that waited for it would not come
// back in time.
EditInputs ReadFromWorker(TFrame2c& page) {
    auto read = std::async(std::launch::async, [&page] { return page.ReadEditInputs(); });
    if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the read waited for the user-interface thread";
        // Let it finish rather than hang the test.
        static_cast<void>(QTest::qWaitFor(
            [&] { return read.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    }
    return read.get();
}

void Choose(TRadioGroup* group, int item) {
    QTest::mouseClick(group->button(item), Qt::LeftButton);
}

TEST(EditPage, MemoryTypeSwitchesBetweenTheBitAndTheWordValueAndKeepsTheInputs) {
    TFrame2c page;
    ShowActive(&page);
    EXPECT_EQ(page.RadioGroup_MemType->itemIndex(), 0);
    EXPECT_EQ(page.CSpinEdit_Adres->editor()->text(), "1");
    EXPECT_TRUE(page.RadioGroup1->isVisible());
    EXPECT_EQ(page.RadioGroup1->itemIndex(), 0);  // "False"
    EXPECT_FALSE(page.GroupBox1->isVisible());
    EXPECT_FALSE(page.CSpinEdit1->isVisible());
    EXPECT_TRUE(page.Butt_UpdateMem->isEnabled());
    EXPECT_EQ(page.Butt_UpdateMem->text(), "Apply");

    Choose(page.RadioGroup_MemType, 1);  // %M
    Choose(page.RadioGroup1, 1);         // "True"
    TypeOver(page.CSpinEdit_Adres->editor(), "5");
    Choose(page.RadioGroup_MemType, 3);  // %AI
    EXPECT_FALSE(page.RadioGroup1->isVisible());
    EXPECT_TRUE(page.GroupBox1->isVisible());
    EXPECT_EQ(page.GroupBox1->title(), "New value");
    TypeOver(page.CSpinEdit1->editor(), "-7");

    Choose(page.RadioGroup_MemType, 1);  // back to %M
    EXPECT_TRUE(page.RadioGroup1->isVisible());
    EXPECT_FALSE(page.GroupBox1->isVisible());
    EXPECT_EQ(page.RadioGroup1->button(page.RadioGroup1->itemIndex())->text(), "True");
    EXPECT_EQ(page.CSpinEdit_Adres->editor()->text(), "5");
    Choose(page.RadioGroup_MemType, 4);  // %R
    EXPECT_EQ(page.CSpinEdit1->editor()->text(), "-7");
}

TEST(EditPage, ApplyOnlyAsksForTheWrite) {
    TFrame2c page;
    ShowActive(&page);
    QSignalSpy applied(&page, &TFrame2c::applyClicked);
    QTest::mouseClick(page.Butt_UpdateMem, Qt::LeftButton);
    EXPECT_EQ(applied.count(), 1);
    // The engine disables the button through the window; the page does not.
    EXPECT_TRUE(page.Butt_UpdateMem->isEnabled());
}

TEST(EditPage, TheWorkerReadsWhatThePageShowsWithoutWaitingForTheWindow) {
    TFrame2c page;
    ShowActive(&page);
    Choose(page.RadioGroup_MemType, 2);  // %Q
    TypeOver(page.CSpinEdit_Adres->editor(), "5");
    Choose(page.RadioGroup1, 1);
    EditInputs in = ReadFromWorker(page);
    EXPECT_EQ(in.memType, 2);
    EXPECT_EQ(in.address, 5);
    EXPECT_TRUE(in.bitValue);

    Choose(page.RadioGroup_MemType, 4);  // %R
    TypeOver(page.CSpinEdit_Adres->editor(), "100");
    TypeOver(page.CSpinEdit1->editor(), "65535");
    in = ReadFromWorker(page);
    EXPECT_EQ(in.memType, 4);
    EXPECT_EQ(in.address, 100);
    EXPECT_EQ(in.wordValue, 65535);

    // Typed beyond the range and not yet left: the nearest end.
    TypeOver(page.CSpinEdit_Adres->editor(), "9999");
    TypeOver(page.CSpinEdit1->editor(), "-40000");
    in = ReadFromWorker(page);
    EXPECT_EQ(in.address, 8192);
    EXPECT_EQ(in.wordValue, -32768);

    // Set from outside, as Load-like code or the operator's arrow keys do.
    page.RadioGroup_MemType->setItemIndex(0);
    QTest::keyClick(page.CSpinEdit_Adres->editor(), Qt::Key_Down);
    in = ReadFromWorker(page);
    EXPECT_EQ(in.memType, 0);
    EXPECT_EQ(in.address, 8191);
    EXPECT_FALSE(page.GroupBox1->isVisible());
}

TEST(EditPage, ABoxHoldingNoNumberReadsAsItsMinimumAndThenShowsIt) {
    TFrame2c page;
    ShowActive(&page);
    Choose(page.RadioGroup_MemType, 5);  // %AQ
    TypeOver(page.CSpinEdit_Adres->editor(), "");
    TypeOver(page.CSpinEdit1->editor(), "-");
    const EditInputs in = ReadFromWorker(page);
    EXPECT_EQ(in.address, 1);
    EXPECT_EQ(in.wordValue, -32768);
    // The page catches up once the window handles its events again.
    EXPECT_TRUE(QTest::qWaitFor([&] { return page.CSpinEdit_Adres->editor()->text() == "1"; }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return page.CSpinEdit1->editor()->text() == "-32768"; }));
}

TEST(EditPage, ATagNamedBesideTheAddressIsWhatTheWorkerWrites) {
    TFrame2c page;
    ShowActive(&page);
    const std::vector<TagDefinition> tags = {{"tank_level", 4, 100, TagType::Real},
                                             {"pump_run", 2, 5, TagType::Bool},
                                             {"flow", 3, 3, TagType::Int, 0.01}};
    page.SetTags(tags);
    ASSERT_EQ(page.ComboBox_Tag->count(), 4);
    EXPECT_EQ(page.ComboBox_Tag->currentText(), "(none)");
    EXPECT_EQ(ReadFromWorker(page).tagName, "");

    // Typed on the list, as the operator picks a name.
    page.ComboBox_Tag->setFocus();
    QTest::keyClicks(page.ComboBox_Tag, "fl");
    EXPECT_EQ(page.ComboBox_Tag->currentText(), "flow");
    EXPECT_EQ(page.StaticText_TagInfo->text(), "%AI3 INT");
    EXPECT_FALSE(page.RadioGroup_MemType->isEnabled());
    EXPECT_FALSE(page.CSpinEdit_Adres->isEnabled());
    EXPECT_TRUE(page.Edit_TagValue->isVisible());
    EXPECT_FALSE(page.CSpinEdit1->isVisible());
    TypeOver(page.Edit_TagValue, "-1,25");
    EditInputs in = ReadFromWorker(page);
    EXPECT_EQ(in.tagName, "flow");
    EXPECT_DOUBLE_EQ(in.tagValue, -1.25);
    TypeOver(page.Edit_TagValue, "2.5e1x");  // the letter is refused
    EXPECT_DOUBLE_EQ(ReadFromWorker(page).tagValue, 25.0);
    TypeOver(page.Edit_TagValue, "-");  // no number: no value any tag takes
    EXPECT_TRUE(std::isnan(ReadFromWorker(page).tagValue));
    EXPECT_EQ(page.Edit_TagValue->text(), "-");

    // A BOOL tag takes False/True; a new list keeps the name chosen.
    page.ComboBox_Tag->setCurrentIndex(2);
    EXPECT_TRUE(page.RadioGroup1->isVisible());
    Choose(page.RadioGroup1, 1);
    page.SetTags({tags[1], tags[0]});
    EXPECT_EQ(page.ComboBox_Tag->currentText(), "pump_run");
    in = ReadFromWorker(page);
    EXPECT_EQ(in.tagName, "pump_run");
    EXPECT_DOUBLE_EQ(in.tagValue, 1.0);

    // "(none)": the address again, as it stood.
    page.ComboBox_Tag->setCurrentIndex(0);
    EXPECT_TRUE(page.CSpinEdit_Adres->isEnabled());
    EXPECT_EQ(page.StaticText_TagInfo->text(), "");
    in = ReadFromWorker(page);
    EXPECT_EQ(in.tagName, "");
    EXPECT_EQ(in.memType, 0);
    EXPECT_EQ(in.address, 1);
}

TEST(EditPage, ClosesWhileABoxHoldsNoNumber) {
    auto* page = new TFrame2c;
    ShowActive(page);
    Choose(page->RadioGroup_MemType, 3);
    TypeOver(page->CSpinEdit1->editor(), "-");
    TypeOver(page->CSpinEdit_Adres->editor(), "");
    delete page;  // the focused box loses the focus while the page goes
}

}  // namespace
}  // namespace tarnlight::ui
