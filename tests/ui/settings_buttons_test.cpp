// Load, Save and All Default on the settings-file name box, through the
// window's buttons and pages.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings/settings_file.h"
#include "tests/support/settings_samples.h"
#include "tests/ui/window_fixture.h"
#include "ui/panel01.h"
#include "ui/panel03.h"
#include "ui/radio_group.h"
#include "ui/spin_edit.h"

namespace tarnlight::test {
namespace {

class SettingsButtonsTest : public WindowTest {
  protected:
    Settings Pages() const { return ui::ReadSettings(form_->configPages(), DefaultSettings()); }
    QCheckBox* BreakFree() const { return form_->Frame03->CheckBox_breakfree; }

    void TypeName(const QString& name) {
        form_->Edit_inifile->selectAll();
        QTest::keyClick(form_->Edit_inifile, Qt::Key_Delete);
        QTest::keyClicks(form_->Edit_inifile, name);
    }

    static std::string FileText(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(SettingsButtonsTest, SaveAllDefaultAndLoadGoThroughThePages) {
    const Settings changed = NonDefaultSettings();
    ShowOnPages(changed);
    Click(form_->configureButtons[2]);  // the Connection page
    Click(BreakFree());
    TypeName("plant");
    Click(form_->SB_Save);
    EXPECT_TRUE(boxes_.isEmpty());
    const std::string path = SettingsFilePath("plant");
    const std::string text = FileText(path);
    EXPECT_NE(text.find("[RS232]"), std::string::npos);
    EXPECT_NE(text.find("baudRate=9"), std::string::npos);
    EXPECT_NE(text.find("lostconn=2"), std::string::npos);
    EXPECT_NE(text.find("dbName=line\n"), std::string::npos);

    // All Default: every control and the name box back at the start values;
    // Break-Free SNP is no setting of the file and stays as it is.
    Click(form_->SB_AllDefault);
    EXPECT_EQ(Pages(), DefaultSettings());
    EXPECT_EQ(form_->Edit_inifile->text(), "tarnlight");
    EXPECT_TRUE(BreakFree()->isChecked());
    EXPECT_FALSE(std::filesystem::exists(SettingsFilePath("tarnlight")));  // no file touched

    // Load: the saved values come back; the status bar keeps its message.
    form_->windowPort().SetPanelText(kMessagePanel, "W13: No connection with database");
    Click(BreakFree());
    TypeName("plant");
    Click(form_->SB_Load);
    EXPECT_EQ(Pages(), changed);
    EXPECT_FALSE(BreakFree()->isChecked());
    EXPECT_EQ(form_->Frame01->ComboBoxBaudRate->currentText(), "115200");
    EXPECT_EQ(form_->Frame03->RadioGroup_disconn->itemIndex(), 2);
    EXPECT_EQ(Panel(kMessagePanel), "W13: No connection with database");
    EXPECT_TRUE(boxes_.isEmpty());
}

TEST_F(SettingsButtonsTest, LoadTakesAFileWrittenByHandWithinTheControlsLimits) {
    // An empty name box names "<settings directory>/.ini".
    const std::string path = SettingsFilePath("");
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "[RS232]\nbaudRate=9\n[Connection]\nT1=300\nlostconn=7\n"
                           "[PLC_Memory]\n%I_to=0x20\n";
    TypeName("");
    Click(form_->SB_Load);
    Settings expected = DefaultSettings();
    expected.baudRate = 9;
    expected.T1 = 255;
    expected.lostconn = 2;
    expected.areaTo[0] = 32;
    EXPECT_EQ(Pages(), expected);
    EXPECT_EQ(form_->Frame03->CSpinEdit_T1->editor()->text(), "255");
    EXPECT_TRUE(boxes_.isEmpty());
}

TEST_F(SettingsButtonsTest, KeysWithoutControlsComeFromLoadAndOutliveAllDefault) {
    // mirrorEachValue and the TLS keys have no control: Load takes them from
    // the file for the next Connect, and All Default leaves them.
    const std::string path = SettingsFilePath("legacy");
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "[MySQL]\nmirrorEachValue=1\nsslMode=REQUIRED\n";
    TypeName("legacy");
    Click(form_->SB_Load);
    EXPECT_TRUE(form_->ConnectSettings().mirrorEachValue);
    Click(form_->SB_AllDefault);
    EXPECT_TRUE(form_->ConnectSettings().mirrorEachValue);
    EXPECT_EQ(form_->ConnectSettings().dbTls.sslMode, SslMode::Required);
    EXPECT_EQ(Pages(), DefaultSettings());

    std::ofstream(path) << "[MySQL]\nsslMode=ON\n";
    TypeName("legacy");
    Click(form_->SB_Load);
    EXPECT_TRUE(
        boxes_.join("").endsWith("selected .ini file\n\n[MySQL] sslMode=ON: not one of "
                                 "DISABLED, PREFERRED, REQUIRED, VERIFY_CA, VERIFY_IDENTITY"));
}

TEST_F(SettingsButtonsTest, LoadOfAMissingFileShowsE31AndChangesNothing) {
    const Settings changed = NonDefaultSettings();
    ShowOnPages(changed);
    TypeName("nosuch");
    Click(form_->SB_Load);
    EXPECT_EQ(boxes_, QStringList{"Error|Cannot load settings from selected .ini file"});
    EXPECT_EQ(Panel(kMessagePanel), "E31: Cannot load settings from selected .ini file");
    EXPECT_EQ(Pages(), changed);
    EXPECT_EQ(form_->Edit_inifile->text(), "nosuch");
}

TEST_F(SettingsButtonsTest, SaveThatCannotWriteSaysWhere) {
    TypeName("no/such/folder/plant");
    Click(form_->SB_Save);
    const std::string path = SettingsFilePath("no/such/folder/plant");
    EXPECT_EQ(boxes_, QStringList{QString::fromStdString("Error|Unable to write to " + path)});
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(Panel(kMessagePanel), "");
}

}  // namespace
}  // namespace tarnlight::test
