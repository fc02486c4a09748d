#include "ui/unit1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "engine/engine.h"
#include "settings/settings_file.h"
#include "ui/about_box.h"
#include "ui/build_progress.h"
#include "ui/fonts.h"
#include "ui/help_document.h"
#include "ui/panel01.h"
#include "ui/panel02.h"
#include "ui/panel03.h"
#include "ui/panel04.h"
#include "ui/panel11.h"
#include "ui/panel12.h"
#include "ui/panel2a.h"
#include "ui/panel2b.h"
#include "ui/panel2c.h"
#include "ui/panel2d.h"
#include "ui/pictures.h"
#include "ui/qt_window_port.h"
#include "ui/radio_group.h"
#include "ui/settings_pages.h"
#include "ui/status_bar.h"
#include "ui/tray_icon.h"

namespace tarnlight::ui {

TForm1* Form1 = nullptr;

namespace {

// Menu column geometry: the main menu buttons' tops in each menu, the
// sub-menu buttons' left edge and width, the memory buttons' first top and
// step.
constexpr int kMenuLeft = 8;
constexpr int kMenuWidth = 90;
constexpr int kMenuHeight = 24;
constexpr int kConfigureTop = 9;
constexpr int kInfoTopLow = 322, kInfoTopHigh = 32;
constexpr int kMemoryTopLow = 345, kMemoryTopHigh = 55;
constexpr int kSubLeft = 16;
constexpr int kSubWidth = 74;
constexpr int kMemoryFirstTop = 88;
constexpr int kMemoryStep = 24;
constexpr int kEditGap = 8;

// The page rectangle every page shares.
constexpr QRect kPageRect(128, 16, 342, 305);

const char* const kLoadFailedText = "Cannot load settings from selected .ini file";
const char* const kLoadFailedMessage = "E31: Cannot load settings from selected .ini file";
const char* const kCannotCreateIcon = "Cannot Create System Shell Notification Icon";
const char* const kCannotRemoveIcon = "Cannot Remove System Shell Notification Icon";

QFrame* MakeBevel(QWidget* parent, const char* name, QRect rect,
                  int style = QFrame::Box | QFrame::Sunken) {
    auto* bevel = new QFrame(parent);
    bevel->setObjectName(QString::fromLatin1(name));
    bevel->setFrameStyle(style);
    bevel->setGeometry(rect);
    return bevel;
}

QLabel* MakeBoldLabel(QWidget* parent, const char* name, const QString& text, QPoint at) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(MsSansSerif(10, true));
    label->move(at);
    label->adjustSize();
    return label;
}

// A flat button with a picture: style says where the caption goes.
QToolButton* MakeFlatButton(QWidget* parent, const char* name, const QString& caption,
                            const QString& picture, QSize pictureSize, Qt::ToolButtonStyle style,
                            QRect rect) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setIcon(ButtonIcon(picture, pictureSize));
    button->setIconSize(pictureSize);
    button->setToolButtonStyle(style);
    button->setAutoRaise(true);
    button->setGeometry(rect);
    return button;
}

QPushButton* MakePictureButton(QWidget* parent, const char* name, const QString& caption,
                               const QString& picture, QRect rect) {
    auto* button = new QPushButton(ButtonIcon(picture, QSize(16, 16)), caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIconSize(QSize(16, 16));
    button->setAutoDefault(false);
    button->setGeometry(rect);
    return button;
}

QPushButton* MakeMenuButton(QWidget* parent, const char* name, const QString& caption, int top) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    button->setGeometry(kMenuLeft, top, kMenuWidth, kMenuHeight);
    return button;
}

// Flat sub-menu buttons lie on the blue menu picture: transparent, with
// white captions. Hovered, a light-blue veil lifts the button; pressed, a dark
// one sinks it. Both let the picture show through and keep the caption white,
// where the style's own light panel would swallow it.
void UseMenuButtonLook(QToolButton* button) {
    button->setStyleSheet(
        QStringLiteral("QToolButton { color: white; background: transparent;"
                       " border: 1px solid transparent; border-radius: 3px; }"
                       "QToolButton:hover { background: rgba(150, 190, 255, 60);"
                       " border-color: rgba(255, 255, 255, 110); }"
                       "QToolButton:pressed { background: rgba(0, 16, 56, 110);"
                       " border-color: rgba(255, 255, 255, 150); }"));
}

void MoveTop(QWidget* widget, int top) {
    widget->move(widget->x(), top);
}

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      loaded_(DefaultSettings()) {
    InitPictures();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tarnlight"));
    setWindowIcon(QIcon(Picture(QStringLiteral("tarnlight"), QSize(48, 48))));
    setFont(MsSansSerif(8));
    setFixedSize(kClientWidth, kClientHeight);
    move(200, 128);

    CreateMenuColumn();
    CreatePages();
    CreateSettingsFileGroup();
    CreateTopRightButtons();
    CreatePlcControl();
    CreateConnectionControl();
    StatusBar1 = new TStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setGeometry(0, 493, kClientWidth, 19);
    TrayIcon1 = new TTrayIcon(this);
    CreateHelpCommand();

    port_ = std::make_unique<QtWindowPort>(*this);
    engine_ = std::make_unique<Engine>(*port_);
    WireSignals();
    Form1 = this;
}

TForm1::~TForm1() {
    if (Form1 == this) Form1 = nullptr;
    // The worker must be gone before the controls it changes.
    engine_.reset();
}

void TForm1::CreateMenuColumn() {
    Bevel2 = MakeBevel(this, "Bevel2", QRect(7, 8, 92, 362));
    MenuImage = new QLabel(this);
    MenuImage->setObjectName(QStringLiteral("MenuImage"));
    MenuImage->setGeometry(kMenuLeft, kConfigureTop, kMenuWidth, 360);
    MenuImage->setPixmap(Picture(QStringLiteral("menu_background"), QSize(kMenuWidth, 360)));

    MenuSB1 = MakeMenuButton(this, "MenuSB1", QStringLiteral("Configure"), kConfigureTop);
    MenuSB2 = MakeMenuButton(this, "MenuSB2", QStringLiteral("PLC Info"), kInfoTopLow);
    MenuSB3 = MakeMenuButton(this, "MenuSB3", QStringLiteral("PLC Memory"), kMemoryTopLow);
    MenuSB2->setEnabled(false);
    MenuSB3->setEnabled(false);

    struct Large {
        const char* name;
        const char* caption;
        const char* picture;
    };
    static const Large kConfigure[4] = {{"SubMenuSB01", "Serial port", "serial_port"},
                                        {"SubMenuSB02", "PLC", "plc"},
                                        {"SubMenuSB03", "Connection", "connection"},
                                        {"SubMenuSB04", "Database", "database"}};
    for (int i = 0; i < 4; ++i) {
        configureButtons[i] = MakeFlatButton(
            this, kConfigure[i].name, QString::fromLatin1(kConfigure[i].caption),
            QString::fromLatin1(kConfigure[i].picture), QSize(32, 32), Qt::ToolButtonTextUnderIcon,
            QRect(kSubLeft, 40 + 64 * i, kSubWidth, 64));
        configureButtons[i]->setFont(Arial(10));
        UseMenuButtonLook(configureButtons[i]);
    }
    SubMenuSB11 = MakeFlatButton(this, "SubMenuSB11", QStringLiteral("Info"),
                                 QStringLiteral("info"), QSize(48, 48), Qt::ToolButtonTextUnderIcon,
                                 QRect(kSubLeft, 64, kSubWidth, 84));
    SubMenuSB11->setFont(Arial(10));
    UseMenuButtonLook(SubMenuSB11);
    SubMenuSB11->hide();
    SubMenuSB12 = MakeFlatButton(this, "SubMenuSB12", QStringLiteral("Statistics"),
                                 QStringLiteral("statistics"), QSize(48, 48),
                                 Qt::ToolButtonTextUnderIcon, QRect(kSubLeft, 152, kSubWidth, 84));
    SubMenuSB12->setFont(Arial(10));
    UseMenuButtonLook(SubMenuSB12);
    SubMenuSB12->hide();

    static const char* const kMemory[8][2] = {{"SubMenuSB21", "(%I)"}, {"SubMenuSB22", "(%M)"},
                                              {"SubMenuSB23", "(%Q)"}, {"SubMenuSB24", "(%AI)"},
                                              {"SubMenuSB25", "(%R)"}, {"SubMenuSB26", "(%AQ)"},
                                              {"SubMenuSB27", "Edit"}, {"SubMenuSB28", "Tags"}};
    for (int i = 0; i < 8; ++i) {
        memoryButtons[i] = MakeFlatButton(
            this, kMemory[i][0], QString::fromLatin1(kMemory[i][1]), QStringLiteral("memory"),
            QSize(16, 16), Qt::ToolButtonTextBesideIcon,
            QRect(kSubLeft, kMemoryFirstTop + kMemoryStep * i, kSubWidth, kMenuHeight));
        memoryButtons[i]->setFont(CourierNew(12));
        UseMenuButtonLook(memoryButtons[i]);
        memoryButtons[i]->hide();
    }
}

void TForm1::CreatePages() {
    Bevel6 = MakeBevel(this, "Bevel6", QRect(112, 8, 369, 329));
    Frame01 = new TFrame01(this);
    Frame02 = new TFrame02(this);
    Frame03 = new TFrame03(this);
    Frame04 = new TFrame04(this);
    Frame11 = new TFrame11(this);
    Frame12 = new TFrame12(this);
    for (int i = 0; i < 3; ++i) Frame2a[i] = new TFrame2a(i, this);
    for (int i = 0; i < 3; ++i) Frame2b[i] = new TFrame2b(3 + i, this);
    Frame2c1 = new TFrame2c(this);
    Frame2d1 = new TFrame2d(this);

    static const char* const kNames[14] = {
        "Frame01",  "Frame02",  "Frame03",  "Frame04",  "Frame11",  "Frame12",  "Frame2a1",
        "Frame2a2", "Frame2a3", "Frame2b1", "Frame2b2", "Frame2b3", "Frame2c1", "Frame2d1"};
    const auto pages = Pages();
    for (size_t i = 0; i < pages.size(); ++i) {
        pages[i]->setObjectName(QString::fromLatin1(kNames[i]));
        pages[i]->setGeometry(kPageRect);
        pages[i]->hide();
    }
}

void TForm1::CreateSettingsFileGroup() {
    Bevel_ini =
        MakeBevel(this, "Bevel_ini", QRect(136, 344, 104, 25), QFrame::Panel | QFrame::Raised);
    Edit_inifile = new QLineEdit(QString::fromLatin1(kDefaultSettingsName), this);
    Edit_inifile->setObjectName(QStringLiteral("Edit_inifile"));
    Edit_inifile->setFrame(false);
    Edit_inifile->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    Edit_inifile->setGeometry(144, 347, 66, 19);
    StaticText_ini = new QLabel(QStringLiteral(".ini"), this);
    StaticText_ini->setObjectName(QStringLiteral("StaticText_ini"));
    StaticText_ini->setGeometry(212, 348, 20, 20);
    StaticText_ini->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SB_Load = MakePictureButton(this, "SB_Load", QStringLiteral("Load"), QStringLiteral("load"),
                                QRect(240, 344, 65, 25));
    SB_Save = MakePictureButton(this, "SB_Save", QStringLiteral("Save"), QStringLiteral("save"),
                                QRect(304, 344, 65, 25));
    SB_AllDefault = MakePictureButton(this, "SB_AllDefault", QStringLiteral("All Default"),
                                      QStringLiteral("all_default"), QRect(368, 344, 89, 25));
}

void TForm1::CreateTopRightButtons() {
    const QSize picture(16, 16);
    SB_Help = MakeFlatButton(this, "SB_Help", QStringLiteral("Help"), QStringLiteral("help"),
                             picture, Qt::ToolButtonTextBesideIcon, QRect(560, 8, 65, 25));
    SB_About = MakeFlatButton(this, "SB_About", QStringLiteral("About"), QStringLiteral("about"),
                              picture, Qt::ToolButtonTextBesideIcon, QRect(560, 32, 65, 25));
    SB_Hide = MakeFlatButton(this, "SB_Hide", QStringLiteral("Hide"), QStringLiteral("hide"),
                             picture, Qt::ToolButtonTextBesideIcon, QRect(560, 56, 65, 25));
}

void TForm1::CreatePlcControl() {
    Bevel1 = MakeBevel(this, "Bevel1", QRect(8, 384, 201, 105));
    Label1 = MakeBoldLabel(this, "Label1", QStringLiteral("PLC Control"), QPoint(67, 390));
    Bevel3 = MakeBevel(this, "Bevel3", QRect(56, 412, 145, 68));
    const QSize picture(24, 24);
    Butt_PlcRun = MakeFlatButton(this, "Butt_PlcRun", QString(), QStringLiteral("run"), picture,
                                 Qt::ToolButtonIconOnly, QRect(16, 430, 35, 35));
    Butt_PlcStop = MakeFlatButton(this, "Butt_PlcStop", QString(), QStringLiteral("stop"), picture,
                                  Qt::ToolButtonIconOnly, QRect(64, 430, 35, 35));
    Butt_PlcRun->setEnabled(false);
    Butt_PlcStop->setEnabled(false);
    RadioGroup_IOstatus =
        new TRadioGroup(QStringLiteral("Inputs/Outputs:"),
                        {QStringLiteral("Enabled"), QStringLiteral("Disabled")}, 1, this);
    RadioGroup_IOstatus->setObjectName(QStringLiteral("RadioGroup_IOstatus"));
    RadioGroup_IOstatus->setGeometry(104, 416, 89, 57);
    RadioGroup_IOstatus->setItemIndex(1);
    RadioGroup_IOstatus->setEnabled(false);
}

void TForm1::CreateConnectionControl() {
    Label2 = MakeBoldLabel(this, "Label2", QStringLiteral("Connection Control"), QPoint(496, 360));
    Bevel7 = MakeBevel(this, "Bevel7", QRect(496, 376, 129, 115));
    const QSize picture(20, 20);
    const auto make = [&](const char* name, const char* caption, const char* pictureName,
                          QRect rect) {
        return MakeFlatButton(this, name, QString::fromLatin1(caption),
                              QString::fromLatin1(pictureName), picture,
                              Qt::ToolButtonTextBesideIcon, rect);
    };
    // The ampersand makes Alt+letter press the button while it is enabled.
    SB_Online = make("SB_Online", " &Connect", "connect", QRect(497, 377, 127, 28));
    SB_Transmit_Start = make("SB_Transmit_Start", " &Start Transmision", "transmit_start",
                             QRect(497, 404, 127, 30));
    SB_Transmit_Stop =
        make("SB_Transmit_Stop", " &Halt Transmision", "transmit_stop", QRect(497, 433, 127, 30));
    SB_Offline = make("SB_Offline", " &Disconnect", "disconnect", QRect(497, 462, 127, 28));
    SB_Transmit_Start->setEnabled(false);
    SB_Transmit_Stop->setEnabled(false);
    SB_Offline->setEnabled(false);
}

void TForm1::CreateHelpCommand() {
    HelpContents1 = new QAction(QStringLiteral("&Contents"), this);
    HelpContents1->setObjectName(QStringLiteral("HelpContents1"));
    HelpContents1->setToolTip(QStringLiteral("Help Contents"));
    HelpContents1->setStatusTip(QStringLiteral("Help Contents"));
    HelpContents1->setShortcut(QKeySequence(Qt::Key_F1));
    HelpContents1->setShortcutContext(Qt::ApplicationShortcut);
    addAction(HelpContents1);
}

void TForm1::WireSignals() {
    connect(MenuSB1, &QPushButton::clicked, this, &TForm1::MenuSB1Click);
    connect(MenuSB2, &QPushButton::clicked, this, &TForm1::MenuSB2Click);
    connect(MenuSB3, &QPushButton::clicked, this, &TForm1::MenuSB3Click);

    // Each sub-menu button shows its page.
    const std::array<QWidget*, 14> pages = Pages();
    const std::array<QToolButton*, 14> buttons = {
        configureButtons[0], configureButtons[1], configureButtons[2], configureButtons[3],
        SubMenuSB11,         SubMenuSB12,         memoryButtons[0],    memoryButtons[1],
        memoryButtons[2],    memoryButtons[3],    memoryButtons[4],    memoryButtons[5],
        memoryButtons[6],    memoryButtons[7]};
    for (size_t i = 0; i < buttons.size(); ++i) {
        QWidget* page = pages[i];
        connect(buttons[i], &QToolButton::clicked, this, [this, page] { ShowPage(page); });
    }
    // The page reads the engine's figures itself, on this thread.
    Frame12->SetSource([this] { return engine_->Statistics(); },
                       [this] { engine_->ResetStatistics(); });

    connect(SB_Online, &QToolButton::clicked, this, &TForm1::SB_OnlineClick);
    connect(SB_Offline, &QToolButton::clicked, this, &TForm1::SB_OfflineClick);
    connect(SB_Transmit_Start, &QToolButton::clicked, this, &TForm1::SB_Transmit_StartClick);
    connect(SB_Transmit_Stop, &QToolButton::clicked, this, &TForm1::SB_Transmit_StopClick);
    connect(Butt_PlcRun, &QToolButton::clicked, this, &TForm1::Butt_PlcRunClick);
    connect(Butt_PlcStop, &QToolButton::clicked, this, &TForm1::Butt_PlcStopClick);
    connect(Frame2c1, &TFrame2c::applyClicked, this, &TForm1::Frame2c1Butt_UpdateMemClick);
    connect(SB_Load, &QPushButton::clicked, this, &TForm1::SB_LoadClick);
    connect(SB_Save, &QPushButton::clicked, this, &TForm1::SB_SaveClick);
    connect(SB_AllDefault, &QPushButton::clicked, this, &TForm1::SB_AllDefaultClick);
    connect(SB_Help, &QToolButton::clicked, this, &TForm1::SB_HelpClick);
    connect(SB_About, &QToolButton::clicked, this, &TForm1::SB_AboutClick);
    connect(SB_Hide, &QToolButton::clicked, this, &TForm1::SB_HideClick);

    connect(HelpContents1, &QAction::triggered, this, &TForm1::HelpContents1Execute);
    connect(TrayIcon1, &TTrayIcon::clicked, this, &TForm1::TrayIcon1Click);
    connect(TrayIcon1, &TTrayIcon::doubleClicked, this, &TForm1::TrayIcon1DblClick);
    // A notification area that went away would leave the window out of reach.
    connect(TrayIcon1, &TTrayIcon::notificationAreaLost, this, &TForm1::TrayIcon1Click);
    connect(TrayIcon1->aaa1, &QAction::triggered, this, &TForm1::aaa1Click);
    connect(TrayIcon1->Help1, &QAction::triggered, this, &TForm1::HelpContents1Execute);
    connect(TrayIcon1->About1, &QAction::triggered, this, &TForm1::SB_AboutClick);
    connect(TrayIcon1->ccc1, &QAction::triggered, this, &TForm1::ccc1Click);
}

std::array<QWidget*, 14> TForm1::Pages() const {
    return {Frame01,    Frame02,    Frame03,    Frame04,    Frame11,    Frame12,  Frame2a[0],
            Frame2a[1], Frame2a[2], Frame2b[0], Frame2b[1], Frame2b[2], Frame2c1, Frame2d1};
}

std::array<QWidget*, 6> TForm1::SettingsFileGroup() const {
    return {SB_Load, SB_Save, SB_AllDefault, Bevel_ini, Edit_inifile, StaticText_ini};
}

ConfigPages TForm1::configPages() const {
    return ConfigPages{Frame01, Frame02, Frame03, Frame04};
}

// --- navigation ---

void TForm1::MenuSB1Click() {
    if (activeMenu_ == MenuKind::ConfigureMenu) return;
    MoveTop(MenuSB2, kInfoTopLow);
    MoveTop(MenuSB3, kMemoryTopLow);
    for (QToolButton* button : configureButtons) button->show();
    SubMenuSB11->hide();
    SubMenuSB12->hide();
    for (QToolButton* button : memoryButtons) button->hide();
    activeMenu_ = MenuKind::ConfigureMenu;
    SetSettingsFileGroupVisible(true);
}

void TForm1::MenuSB2Click() {
    if (activeMenu_ == MenuKind::PlcInfoMenu) return;
    MoveTop(MenuSB2, kInfoTopHigh);
    MoveTop(MenuSB3, kMemoryTopLow);
    for (QToolButton* button : configureButtons) button->hide();
    SubMenuSB11->show();
    SubMenuSB12->show();
    for (QToolButton* button : memoryButtons) button->hide();
    activeMenu_ = MenuKind::PlcInfoMenu;
    SetSettingsFileGroupVisible(false);
}

void TForm1::MenuSB3Click() {
    if (activeMenu_ == MenuKind::PlcMemoryMenu) return;
    MoveTop(MenuSB2, kInfoTopHigh);
    MoveTop(MenuSB3, kMemoryTopHigh);
    for (QToolButton* button : configureButtons) button->hide();
    SubMenuSB11->hide();
    SubMenuSB12->hide();
    SetMemoryButtonsVisible();
    activeMenu_ = MenuKind::PlcMemoryMenu;
    SetSettingsFileGroupVisible(false);
}

void TForm1::SetMemoryButtonsVisible() {
    for (int type = 0; type < kAreaCount; ++type)
        memoryButtons[type]->setVisible(areaEnabled_[type]);
    memoryButtons[6]->show();  // Edit, always
    memoryButtons[7]->setVisible(tagsShown_);
}

void TForm1::SetSettingsFileGroupVisible(bool visible) {
    for (QWidget* widget : SettingsFileGroup()) widget->setVisible(visible);
}

void TForm1::ShowPage(QWidget* page) {
    for (QWidget* each : Pages()) each->hide();
    if (page != nullptr) page->show();
}

void TForm1::LayOutMemoryMenu(const std::array<bool, kAreaCount>& areaEnabled) {
    areaEnabled_ = areaEnabled;
    int y = kMemoryFirstTop;
    if (areaEnabled[0]) y += kMemoryStep;  // the %I button never moves
    for (int type = 1; type < kAreaCount; ++type) {
        if (!areaEnabled[type]) continue;  // keeps its previous top
        MoveTop(memoryButtons[type], y);
        y += kMemoryStep;
    }
    if (tagsShown_) {  // keeps its previous top otherwise, as an area does
        MoveTop(memoryButtons[7], y);
        y += kMemoryStep;
    }
    MoveTop(memoryButtons[6], y + kEditGap);
    // With the memory menu open, its buttons follow the new areas at once
    // rather than at the next time the menu is entered.
    if (activeMenu_ == MenuKind::PlcMemoryMenu) SetMemoryButtonsVisible();
}

void TForm1::SetTagsShown(bool shown) {
    tagsShown_ = shown;
    LayOutMemoryMenu(areaEnabled_);
}

// --- commands ---

Settings TForm1::ConnectSettings() const {
    return ReadSettings(configPages(), loaded_);
}

void TForm1::SB_OnlineClick() {
    if (connecting_) return;
    buildCancelled_ = false;
    buildProgressEnded_ = false;
    // Returns at once: the database and the port are the worker's, and
    // ConnectEnded tells when they are done.
    connecting_ = engine_->StartConnect(ConnectSettings(), ReadBreakFree(configPages()));
}

void TForm1::ConnectEnded() {
    connecting_ = false;
    EndBuildProgress();
    if (closeAfterConnect_) {
        closeAfterConnect_ = false;
        close();
        return;
    }
    ActivateAfterDialog();
}

void TForm1::SB_OfflineClick() {
    engine_->Disconnect();
}

void TForm1::SB_Transmit_StartClick() {
    engine_->StartTransmission();
}

void TForm1::SB_Transmit_StopClick() {
    engine_->HaltTransmission();
}

void TForm1::Butt_PlcRunClick() {
    engine_->PlcRun();
}

void TForm1::Butt_PlcStopClick() {
    engine_->PlcStop(RadioGroup_IOstatus->itemIndex());
}

void TForm1::Frame2c1Butt_UpdateMemClick() {
    engine_->ApplyEdit();
}

void TForm1::SB_LoadClick() {
    const std::string path = SettingsFilePath(Edit_inifile->text().toStdString());
    Settings settings = DefaultSettings();
    std::string problem;
    if (LoadSettings(path, settings, &problem) != LoadResult::Ok) {
        // A file that holds a value no default may stand in for is as
        // unloadable as a missing one; the box says which value.
        QString text = QString::fromLatin1(kLoadFailedText);
        if (!problem.empty()) text += QStringLiteral("\n\n") + QString::fromStdString(problem);
        ShowMessageBox(text, QStringLiteral("Error"));
        port_->SetPanelText(kMessagePanel, kLoadFailedMessage);
        return;
    }
    ShowSettings(configPages(), settings);
    loaded_ = settings;
}

void TForm1::SB_SaveClick() {
    const std::string path = SettingsFilePath(Edit_inifile->text().toStdString());
    std::string error;
    if (SaveSettings(ConnectSettings(), path, &error) != SaveResult::Ok)
        ShowMessageBox(QString::fromStdString(error), QStringLiteral("Error"));
}

void TForm1::SB_AllDefaultClick() {
    // Only the page controls and the name box: a setting without a control
    // (the mirror's form) keeps what the last Load gave it.
    Edit_inifile->setText(QString::fromLatin1(kDefaultSettingsName));
    ShowSettings(configPages(), DefaultSettings());
}

void TForm1::SB_HelpClick() {
    HelpContents1Execute();
}

void TForm1::HelpContents1Execute() {
    OpenHelpContents(this);
}

void TForm1::SB_AboutClick() {
    // A new dialog each time, gone when it closes, whichever way. Modal for
    // the window, but without an event loop of its own: the worker's queued
    // changes and the timers go on in the window's own loop meanwhile.
    auto* box = new TAboutBox(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void TForm1::SB_HideClick() {
    // The icon first: without it the hidden window could not be brought back.
    if (!TrayIcon1->Show()) {
        ShowMessageBox(QString::fromLatin1(kCannotCreateIcon), QStringLiteral("Tarnlight"));
        return;
    }
    hide();
}

void TForm1::TrayIcon1Click() {
    showNormal();
    if (!TrayIcon1->Remove())
        ShowMessageBox(QString::fromLatin1(kCannotRemoveIcon), QStringLiteral("Tarnlight"));
}

void TForm1::aaa1Click() {
    TrayIcon1Click();
}

void TForm1::TrayIcon1DblClick() {
    // Mostly the first click of the two has brought the window back already.
    if (TrayIcon1->IsShown()) {
        TrayIcon1Click();
    } else {
        showNormal();
    }
    raise();
    activateWindow();
}

void TForm1::ccc1Click() {
    close();
}

void TForm1::SetIconIndex(int index) {
    TrayIcon1->SetIconIndex(index);
}

int TForm1::iconIndex() const {
    return TrayIcon1->IconIndex();
}

void TForm1::ShowBuildProgress(int percent) {
    // A cancelled build may still report while its step ends, and a finished
    // one reports its end again after the last tables: no new dialog. One
    // shown and hidden at once would be gone before the window manager had
    // mapped it, and a late map makes Qt activate the hidden dialog and then
    // no window at all, while the X server's keyboard focus stays on this
    // window: the operator's accelerators would go nowhere.
    if (!connecting_ || buildCancelled_ || buildProgressEnded_) return;
    // A finished build has nothing left to cancel; the rest of Connect (the
    // port, its message boxes) happens without the dialog.
    if (percent >= 100) {
        EndBuildProgress();
        return;
    }
    if (buildProgress_ == nullptr) {
        // Up while Connect connects to the database server and while it
        // builds the tables, once that has lasted a moment.
        buildProgress_ = new TBuildProgress(this);
        connect(buildProgress_, &TBuildProgress::canceled, this, &TForm1::BuildProgressCanceled);
        TBuildProgress* dialog = buildProgress_;
        QTimer::singleShot(buildProgressDelayMs_, dialog, [this, dialog] {
            if (buildProgress_ == dialog) dialog->show();
        });
    }
    buildProgress_->setValue(percent);
}

void TForm1::BuildProgressCanceled() {
    buildCancelled_ = true;
    engine_->CancelConnect();
    EndBuildProgress();
    ActivateAfterDialog();
}

void TForm1::EndBuildProgress() {
    buildProgressEnded_ = true;
    if (buildProgress_ == nullptr) return;
    // Hidden before it goes, so that the window system hands the focus back
    // while the dialog still exists.
    buildProgress_->hide();
    buildProgress_->deleteLater();
    buildProgress_ = nullptr;
}

void TForm1::ActivateAfterDialog() {
    // A box still open keeps the keyboard; its end comes back here.
    if (QApplication::activeModalWidget() != nullptr || !isVisible()) return;
    activateWindow();
    // A window manager still busy with the dialog's unmapping may drop the
    // request and leave no window of ours active: ask again a few times,
    // and only while none of ours has the keyboard.
    for (int attempt = 1; attempt <= 5; ++attempt) {
        QTimer::singleShot(attempt * 100, this, [this] {
            if (QApplication::activeWindow() != nullptr || !isVisible()) return;
            if (QApplication::activeModalWidget() != nullptr) return;
            activateWindow();
        });
    }
}

void TForm1::ShowMessageBox(const QString& text, const QString& caption) {
    // A box of Connect stands alone: never behind or beside the progress.
    EndBuildProgress();
    if (messageBoxHook_) {
        messageBoxHook_(text, caption);
        return;
    }
    // Modal for the window, but the handler that shows it returns at once:
    // no event loop runs inside it.
    auto* box = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, &TForm1::ActivateAfterDialog, Qt::QueuedConnection);
    box->open();
}

void TForm1::ShutDownEngine() {
    engine_->Shutdown();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (connecting_) {
        // Connect is preparing the database: make it stop there, and close
        // once it has ended.
        closeAfterConnect_ = true;
        buildCancelled_ = true;
        EndBuildProgress();
        engine_->CancelConnect();
        hide();
        event->ignore();
        return;
    }
    // Gone from the screen at once: the operator never looks at a window
    // that no longer reacts while the worker finishes its end sequence.
    hide();
    if (TrayIcon1->IsShown()) TrayIcon1->Remove();
    ShutDownEngine();
    event->accept();
    // Closing the main window ends the program, also while it is hidden
    // behind the tray icon (Exit), where no window-closed event would.
    QCoreApplication::quit();
}

void TForm1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // While the icon is shown a minimised window goes away entirely, task-bar
    // entry and all; the icon brings it back. Hidden after the state change
    // has been handled.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && TrayIcon1->IsShown()) {
        QTimer::singleShot(0, this, [this] {
            if (isMinimized() && TrayIcon1->IsShown()) hide();
        });
    }
}

}  // namespace tarnlight::ui
