// The memory pages and the PLC information page: what the grids show before
// the first Connect, after set-up and after a read, and how they look.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTableView>

#include "ui/panel11.h"
#include "ui/panel2a.h"
#include "ui/panel2b.h"
#include "ui/panel2d.h"

namespace tarnlight::ui {
namespace {

// Values of a bit grid row from column __0 to __9.
QStringList BitRow(const TFrame2a& page, int row) {
    QStringList cells;
    for (int column = 1; column <= 10; ++column) cells << page.Cell(column, row);
    return cells;
}

QStringList WordRow(const TFrame2b& page, int row) {
    return {page.Cell(0, row), page.Cell(1, row), page.Cell(2, row), page.Cell(3, row)};
}

TEST(MemoryPages, KeepTheirDesignStateUntilTheFirstSetUp) {
    TFrame2a bits(0);
    TFrame2b words(3);
    EXPECT_EQ(bits.StaticText_Mem_I->text(), "...");
    EXPECT_EQ(bits.RowCount(), 111);
    EXPECT_EQ(bits.Cell(0, 0), "");
    EXPECT_EQ(bits.Cell(0, 1), "");
    EXPECT_EQ(words.StaticText_Mem_I->text(), "...");
    EXPECT_EQ(words.RowCount(), 100);
    EXPECT_EQ(WordRow(words, 0), QStringList({"  Address:", "  Signed", "  Unsigned", "  Hex"}));
    EXPECT_EQ(WordRow(words, 1), QStringList({"", "", "", ""}));
}

TEST(MemoryPages, BitGridHoldsTenAddressesPerRowAndLeavesOutsideCellsEmpty) {
    TFrame2a inputs(0);
    inputs.SetUp(1, 48);
    EXPECT_EQ(inputs.StaticText_Mem_I->text(), "%I - Discrete Inputs");
    EXPECT_EQ(inputs.RowCount(), 6);
    QStringList header;
    for (int column = 0; column <= 10; ++column) header << inputs.Cell(column, 0);
    EXPECT_EQ(header, QStringList({" %I", " __0", " __1", " __2", " __3", " __4", " __5", " __6",
                                   " __7", " __8", " __9"}));
    EXPECT_EQ(inputs.Cell(0, 1), " 0_");
    EXPECT_EQ(inputs.Cell(0, 5), " 4_");
    EXPECT_EQ(BitRow(inputs, 1), QStringList(10, ""));  // empty until read

    std::vector<uint8_t> bits(48, 0);
    bits[0] = 1;   // address 1
    bits[46] = 7;  // address 47: any non-zero value is a 1
    inputs.ShowBits(1, 48, bits);
    EXPECT_EQ(BitRow(inputs, 1),
              QStringList({"", "  1", "  0", "  0", "  0", "  0", "  0", "  0", "  0", "  0"}));
    EXPECT_EQ(BitRow(inputs, 5),
              QStringList({"  0", "  0", "  0", "  0", "  0", "  0", "  0", "  1", "  0", ""}));

    // A range that does not start at a multiple of ten.
    TFrame2a internals(1);
    internals.SetUp(15, 24);
    EXPECT_EQ(internals.StaticText_Mem_I->text(), "%M - Discrete Internals");
    EXPECT_EQ(internals.RowCount(), 3);
    EXPECT_EQ(internals.Cell(0, 0), " %M");
    EXPECT_EQ(internals.Cell(0, 1), " 1_");
    EXPECT_EQ(internals.Cell(0, 2), " 2_");
    internals.ShowBits(15, 24, std::vector<uint8_t>(10, 1));
    EXPECT_EQ(BitRow(internals, 1),
              QStringList({"", "", "", "", "", "  1", "  1", "  1", "  1", "  1"}));
    EXPECT_EQ(BitRow(internals, 2),
              QStringList({"  1", "  1", "  1", "  1", "  1", "", "", "", "", ""}));
}

TEST(MemoryPages, AWholeAreaIsOneChangeAndANewSetUpEmptiesTheCells) {
    TFrame2a outputs(2);
    outputs.SetUp(1, 8192);
    EXPECT_EQ(outputs.RowCount(), 821);
    QSignalSpy changes(outputs.StringGrid1->model(), &QAbstractItemModel::dataChanged);
    std::vector<uint8_t> bits(8192, 1);
    outputs.ShowBits(1, 8192, bits);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(outputs.Cell(3, 820), "  1");  // address 8192

    outputs.SetUp(5, 12);
    EXPECT_EQ(outputs.RowCount(), 3);
    EXPECT_EQ(BitRow(outputs, 1), QStringList(10, ""));

    TFrame2b registers(4);
    registers.SetUp(1, 4096);
    QSignalSpy wordChanges(registers.StringGrid2->model(), &QAbstractItemModel::dataChanged);
    registers.ShowWords(1, 4096, std::vector<uint16_t>(4096, 7));
    EXPECT_EQ(wordChanges.count(), 1);
    registers.SetUp(3, 4);
    EXPECT_EQ(registers.RowCount(), 3);
    EXPECT_EQ(WordRow(registers, 2), QStringList({"  %R_4", "", "", ""}));
}

TEST(MemoryPages, WordGridShowsSignedUnsignedAndHexadecimal) {
    TFrame2b registers(4);
    registers.SetUp(1, 16);
    EXPECT_EQ(registers.StaticText_Mem_I->text(), "%R - Registers");
    EXPECT_EQ(registers.RowCount(), 17);
    EXPECT_EQ(WordRow(registers, 1), QStringList({"  %R_1", "", "", ""}));
    std::vector<uint16_t> words(16, 0);
    words[0] = 0xFFFF;
    words[1] = 0x00FF;
    words[2] = 0x8000;
    words[15] = 12345;
    registers.ShowWords(1, 16, words);
    EXPECT_EQ(WordRow(registers, 1), QStringList({"  %R_1", "  -1", "  65535", "  0xFFFF"}));
    EXPECT_EQ(WordRow(registers, 2), QStringList({"  %R_2", "  255", "  255", "  0x00FF"}));
    EXPECT_EQ(WordRow(registers, 3), QStringList({"  %R_3", "  -32768", "  32768", "  0x8000"}));
    EXPECT_EQ(WordRow(registers, 16), QStringList({"  %R_16", "  12345", "  12345", "  0x3039"}));

    TFrame2b analogOutputs(5);
    analogOutputs.SetUp(100, 101);
    EXPECT_EQ(analogOutputs.StaticText_Mem_I->text(), "%AQ - Analog Outputs");
    EXPECT_EQ(analogOutputs.Cell(0, 2), "  %AQ_101");
}

TEST(MemoryPages, SetUpAndShowAreSafeForAnyRange) {
    TFrame2a bits(0);
    bits.SetUp(50, 10);  // from above to
    EXPECT_EQ(bits.RowCount(), 1);
    bits.ShowBits(50, 10, {});
    bits.ShowBits(1, 100, std::vector<uint8_t>(100, 1));
    bits.SetUp(65530, 65535);
    bits.ShowBits(65530, 65535, std::vector<uint8_t>(2, 1));  // fewer values than addresses
    EXPECT_EQ(bits.Cell(0, 1), " 6553_");
    EXPECT_EQ(bits.Cell(3, 1), "");
    EXPECT_EQ(bits.Cell(1, 1), "  1");  // 65530
    EXPECT_EQ(bits.Cell(2, 1), "  1");  // 65531

    TFrame2b words(3);
    words.SetUp(9, 2);
    EXPECT_EQ(words.RowCount(), 1);
    words.ShowWords(1, 9, std::vector<uint16_t>(9, 1));
    words.SetUp(1, 65535);
    EXPECT_EQ(words.RowCount(), 65536);
    words.ShowWords(65535, 65535, {0x1234});
    EXPECT_EQ(WordRow(words, 65535), QStringList({"  %AI_65535", "  4660", "  4660", "  0x1234"}));
}

TEST(MemoryPages, GridsHaveASkyBlueHeaderAndLabelColumnAndWhiteCells) {
    TFrame2a page(1);
    page.SetUp(1, 48);
    page.show();
    QTableView* grid = page.StringGrid1;
    EXPECT_EQ(grid->size(), QSize(340, 256));
    EXPECT_EQ(grid->horizontalHeader()->height(), 20);
    EXPECT_EQ(grid->rowHeight(0), 20);
    EXPECT_EQ(grid->columnWidth(0), 28);
    EXPECT_EQ(grid->columnWidth(10), 28);
    EXPECT_EQ(grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    const QImage image = grid->grab().toImage();
    const QColor skyBlue(0xA6, 0xCA, 0xF0);
    // Points above the texts of the header row and left of the row labels.
    const int headerY = grid->horizontalHeader()->geometry().top() + 2;
    const int firstRowY = grid->viewport()->geometry().top() + 10;
    EXPECT_EQ(image.pixelColor(50, headerY), skyBlue);
    EXPECT_EQ(image.pixelColor(3, firstRowY), skyBlue);
    EXPECT_EQ(image.pixelColor(60, firstRowY), QColor(Qt::white));

    TFrame2b words(4);
    const int widths[] = {70, 70, 80, 63};
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(words.StringGrid2->columnWidth(column), widths[column]);
    }
    EXPECT_EQ(words.StringGrid2->size(), QSize(308, 256));
}

QStringList TagRow(const TFrame2d& page, int row) {
    QStringList cells;
    for (int column = 0; column < 7; ++column) cells << page.Cell(column, row);
    return cells;
}

TEST(MemoryPages, TagsPageShowsEachTagAndChangesOnlyTheRowsThatChanged) {
    TFrame2d page;
    const std::vector<TagDefinition> tags = {
        {"tank_level", 4, 100, TagType::Real},
        {"batch_count", 4, 10, TagType::Dint, 1.0, 1.0},
        {"pump_run", 2, 5, TagType::Bool},
        {"flow", 3, 3, TagType::Int, 0.01},
    };
    page.SetUp(tags);
    EXPECT_EQ(page.RowCount(), 5);
    EXPECT_EQ(TagRow(page, 0), QStringList({"  Name", "  Address", "  Type", "  Value", "  Quality",
                                            "  Changed", "  Raw"}));
    EXPECT_EQ(TagRow(page, 1), QStringList({"  tank_level", "  %R100", "  REAL", "", "", "", ""}));
    EXPECT_EQ(TagRow(page, 3), QStringList({"  pump_run", "  %Q5", "  BOOL", "", "", "", ""}));

    const QDateTime first(QDate(2026, 12, 10), QTime(8, 30, 1, 123));
    page.ShowTagValues({{0, 0x40490FDB, 3.1415927410125732},
                        {1, 0x075BCD16, TagValueFromRaw(tags[1], 0x075BCD16)},
                        {2, 1, 1.0},
                        {3, 0xFF9C, TagValueFromRaw(tags[3], 0xFF9C)}},
                       first);
    EXPECT_EQ(TagRow(page, 1), QStringList({"  tank_level", "  %R100", "  REAL", "  3.141593",
                                            "  good", "  08:30:01.123", "  40490FDB"}));
    // Every digit of a whole value, the scale's decimals of a scaled one.
    EXPECT_EQ(TagRow(page, 2).mid(3),
              QStringList({"  123456791", "  good", "  08:30:01.123", "  075BCD16"}));
    EXPECT_EQ(TagRow(page, 3).mid(3), QStringList({"  1", "  good", "  08:30:01.123", "  1"}));
    EXPECT_EQ(TagRow(page, 4).mid(3),
              QStringList({"  -1.00", "  good", "  08:30:01.123", "  FF9C"}));
    const QModelIndex changedCell = page.StringGrid3->model()->index(0, 5);
    EXPECT_EQ(changedCell.data(Qt::ToolTipRole).toString(), "2026-12-10 08:30:01.123");

    // Only the row whose raw bits differ changes, with its own time; the
    // same bits again are no change.
    QSignalSpy changes(page.StringGrid3->model(), &QAbstractItemModel::dataChanged);
    const QDateTime later = first.addMSecs(2500);
    page.ShowTagValues({{0, 0x40490FDB, 3.1415927410125732}, {3, 0xFF9B, -1.01}}, later);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].toModelIndex().row(), 3);
    EXPECT_EQ(changes[0][1].toModelIndex().row(), 3);
    EXPECT_EQ(TagRow(page, 4).mid(3),
              QStringList({"  -1.01", "  good", "  08:30:03.623", "  FF9B"}));
    EXPECT_EQ(page.Cell(5, 1), "  08:30:01.123");

    // A change of quality alone keeps the time.
    page.ShowTagValues({{0, 0x40490FDB, 3.1415927410125732, TagQuality::Stale}}, later);
    EXPECT_EQ(TagRow(page, 1).mid(3),
              QStringList({"  3.141593", "  stale", "  08:30:01.123", "  40490FDB"}));

    // A REAL whose bits are NaN has no value but its bits.
    page.ShowTagValues({{0, 0x7FC00000, std::nullopt}}, later);
    EXPECT_EQ(TagRow(page, 1).mid(3), QStringList({"", "  good", "  08:30:03.623", "  7FC00000"}));

    page.SetUp({});
    EXPECT_EQ(page.RowCount(), 1);
    EXPECT_TRUE(page.StringGrid3->isHidden());
    EXPECT_FALSE(page.StaticText_NoTags->isHidden());
}

TEST(InfoPage, ShowsDotsUntilEachValueIsWritten) {
    TFrame11 page;
    QStringList captions;
    for (const QLabel* label : page.findChildren<QLabel*>()) captions << label->text();
    for (const char* caption : {"PLC informations", "Type:", "Model:", "CPU ID:", "SNP Times:",
                                "T1 =", "T2 =", "T3' =", "Priviledge level:"}) {
        EXPECT_TRUE(captions.contains(caption)) << caption;
    }
    for (InfoLabel which :
         {InfoLabel::LabelCPU_ID, InfoLabel::LabelPLC_Type, InfoLabel::LabelPLC_Model,
          InfoLabel::Label_T1, InfoLabel::Label_T2, InfoLabel::Label_T3b, InfoLabel::Label_priv}) {
        EXPECT_EQ(page.label(which)->text(), "...");
        EXPECT_EQ(page.label(which)->objectName(), InfoLabelName(which));
    }
    page.SetInfoLabel(InfoLabel::Label_T2, "1000");
    page.SetInfoLabel(InfoLabel::LabelPLC_Model, "CPU 364 with a long model name");
    EXPECT_EQ(page.label(InfoLabel::Label_T2)->text(), "1000");
    EXPECT_EQ(page.label(InfoLabel::Label_T1)->text(), "...");
    // The whole name fits on the page.
    QLabel* model = page.label(InfoLabel::LabelPLC_Model);
    EXPECT_LE(model->fontMetrics().horizontalAdvance(model->text()), model->width());
}

}  // namespace
}  // namespace tarnlight::ui
