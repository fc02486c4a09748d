#pragma once
// The main window: the menu column with its sub-menus on the left, the page
// area in the middle (one of fourteen pages, or none), the settings-file box
// under it, the PLC and connection controls at the bottom, Help / About /
// Hide at the top right and the status bar.
//
// Every control is placed at fixed client coordinates and carries its name
// as objectName. The engine owns the connection; the window hands it the
// operator's commands and receives its changes through QtWindowPort.
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "settings/settings.h"
#include "types/link_config.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace tarnlight {
class Engine;
}

namespace tarnlight::ui {

class QtWindowPort;
class TBuildProgress;
class TFrame01;
class TFrame02;
class TFrame03;
class TFrame04;
class TFrame11;
class TFrame12;
class TFrame2a;
class TFrame2b;
class TFrame2c;
class TFrame2d;
class TRadioGroup;
class TStatusBar;
class TTrayIcon;
struct ConfigPages;

// Which main menu's sub-menu is open; exactly one at any time.
enum class MenuKind { ConfigureMenu, PlcInfoMenu, PlcMemoryMenu };

class TForm1 : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 631;
    static constexpr int kClientHeight = 512;

    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // --- menu column ---
    QLabel* MenuImage;
    QFrame* Bevel2;
    QPushButton* MenuSB1;                            // "Configure"
    QPushButton* MenuSB2;                            // "PLC Info"
    QPushButton* MenuSB3;                            // "PLC Memory"
    std::array<QToolButton*, 4> configureButtons{};  // SubMenuSB01..04
    QToolButton* SubMenuSB11;                        // "Info"
    QToolButton* SubMenuSB12;                        // "Statistics", below "Info"
    // SubMenuSB21..26 by area, SubMenuSB27 "Edit", SubMenuSB28 "Tags" (shown
    // when the last Connect had tags).
    std::array<QToolButton*, 8> memoryButtons{};

    // --- page area ---
    QFrame* Bevel6;
    TFrame01* Frame01;
    TFrame02* Frame02;
    TFrame03* Frame03;
    TFrame04* Frame04;
    TFrame11* Frame11;
    TFrame12* Frame12;                   // the link's statistics
    std::array<TFrame2a*, 3> Frame2a{};  // Frame2a1..3: %I %M %Q
    std::array<TFrame2b*, 3> Frame2b{};  // Frame2b1..3: %AI %R %AQ
    TFrame2c* Frame2c1;
    TFrame2d* Frame2d1;  // the tags

    // --- settings file ---
    QFrame* Bevel_ini;
    QLineEdit* Edit_inifile;
    QLabel* StaticText_ini;
    QPushButton* SB_Load;
    QPushButton* SB_Save;
    QPushButton* SB_AllDefault;

    // --- top right ---
    QToolButton* SB_Help;
    QToolButton* SB_About;
    QToolButton* SB_Hide;

    // --- PLC control ---
    QFrame* Bevel1;
    QLabel* Label1;
    QFrame* Bevel3;
    QToolButton* Butt_PlcRun;
    QToolButton* Butt_PlcStop;
    TRadioGroup* RadioGroup_IOstatus;

    // --- connection control ---
    QLabel* Label2;
    QFrame* Bevel7;
    QToolButton* SB_Online;
    QToolButton* SB_Transmit_Start;
    QToolButton* SB_Transmit_Stop;
    QToolButton* SB_Offline;

    TStatusBar* StatusBar1;

    // The notification-area icon with its menu, shown while the window is
    // hidden; the help command (F1, application-wide).
    TTrayIcon* TrayIcon1;
    QAction* HelpContents1;

    // --- navigation ---
    void MenuSB1Click();
    void MenuSB2Click();
    void MenuSB3Click();
    // Hides every page, then shows page (none when nullptr).
    void ShowPage(QWidget* page);
    // Connect: the enabled areas' buttons in a gap-free column from 88 down,
    // then Tags when there are tags, Edit 8 pixels below the last of them.
    void LayOutMemoryMenu(const std::array<bool, kAreaCount>& areaEnabled);
    // Connect: whether the link has tags, which decides the Tags button.
    void SetTagsShown(bool shown);
    MenuKind ActiveMenu() const { return activeMenu_; }
    // The name box with its frame, its ".ini" label and its three buttons.
    std::array<QWidget*, 6> SettingsFileGroup() const;
    // The fourteen pages in the order ShowPage hides them.
    std::array<QWidget*, 14> Pages() const;

    // --- commands ---
    void SB_OnlineClick();
    void SB_OfflineClick();
    void SB_Transmit_StartClick();
    void SB_Transmit_StopClick();
    void Butt_PlcRunClick();
    void Butt_PlcStopClick();
    void Frame2c1Butt_UpdateMemClick();
    void SB_LoadClick();
    void SB_SaveClick();
    void SB_AllDefaultClick();
    void SB_HelpClick();
    void SB_AboutClick();
    void SB_HideClick();

    // --- tray icon and help ---
    // A click on the icon, and its menu's Show: the window back, the icon away.
    void TrayIcon1Click();
    void aaa1Click();
    // A double click: as a click, and the window comes to the front.
    void TrayIcon1DblClick();
    // The menu's Exit: closes the window, which ends the program.
    void ccc1Click();
    // Help, F1 and the menu's Help: the help document at its contents.
    void HelpContents1Execute();

    // The notification-area picture the engine asks for (0..3).
    void SetIconIndex(int index);
    int iconIndex() const;

    // Connect, while it connects to the database and builds the mirror
    // tables: a modal progress dialog with Cancel, up once the step has
    // lasted a moment, closed at 100 %, at Cancel and before any message
    // box, and not shown again in the same Connect.
    void ShowBuildProgress(int percent);
    // The end of Connect, whatever it was: the dialog gone, the window
    // active again for its accelerators, a close that came meanwhile done.
    void ConnectEnded();
    // Between the Connect click and its end.
    bool connecting() const { return connecting_; }
    // How long a step of Connect lasts before the dialog comes up: one that
    // ends sooner (a refused connection, a small build) never flashes a
    // window. 0: at the next turn of the event loop.
    void SetBuildProgressDelay(int ms) { buildProgressDelayMs_ = ms; }

    // Modal message box; tests answer it through the hook instead.
    using MessageBoxHook = std::function<void(const QString& text, const QString& caption)>;
    void SetMessageBoxHook(MessageBoxHook hook) { messageBoxHook_ = std::move(hook); }
    void ShowMessageBox(const QString& text, const QString& caption);

    // Closing the window (its close button, the tray's Exit and the stop
    // signals all call close()) runs this first: it stops a running worker
    // so that it touches the window no more, and returns promptly (the
    // worker's waits are cut short). A close that comes while Connect builds
    // the tables cancels the build and closes once Connect has returned.
    void ShutDownEngine();

    Engine& engine() { return *engine_; }
    QtWindowPort& windowPort() { return *port_; }
    ConfigPages configPages() const;
    // What Connect and Save take: the pages, and the fields without a page
    // control as the last Load gave them.
    Settings ConnectSettings() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void CreateMenuColumn();
    void CreatePages();
    void CreateSettingsFileGroup();
    void CreateTopRightButtons();
    void CreatePlcControl();
    void CreateConnectionControl();
    void CreateHelpCommand();
    void WireSignals();
    void SetMemoryButtonsVisible();
    void SetSettingsFileGroupVisible(bool visible);
    void EndBuildProgress();
    void BuildProgressCanceled();
    // Gives the keyboard back to the window once no dialog of its own is up.
    void ActivateAfterDialog();

    MenuKind activeMenu_ = MenuKind::ConfigureMenu;
    std::array<bool, kAreaCount> areaEnabled_{};  // as the last Connect took them
    bool tagsShown_ = false;                      // the last Connect had tags
    Settings loaded_;  // fields the pages have no control for come from here
    MessageBoxHook messageBoxHook_;

    bool connecting_ = false;         // from the Connect click to ConnectEnded
    bool buildCancelled_ = false;     // the operator cancelled this Connect
    bool closeAfterConnect_ = false;  // a close came while Connect ran
    // This Connect's progress dialog: made at the first report, shown a
    // moment later while the step lasts, and once ended never made again.
    TBuildProgress* buildProgress_ = nullptr;
    bool buildProgressEnded_ = false;
    int buildProgressDelayMs_ = 400;

    // The engine goes first: its destructor stops the worker while the
    // window port and every control still exist.
    std::unique_ptr<QtWindowPort> port_;
    std::unique_ptr<Engine> engine_;
};

// The program's main window while it exists.
extern TForm1* Form1;

}  // namespace tarnlight::ui
