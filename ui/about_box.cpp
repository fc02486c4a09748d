#include "ui/about_box.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "ui/fonts.h"
#include "ui/pictures.h"

namespace tarnlight::ui {
namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QFont& font,
                  QPoint at) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    label->move(at);
    label->adjustSize();
    return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    InitPictures();
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setFont(MsSansSerif(8));
    setFixedSize(kClientWidth, kClientHeight);

    // A lowered outer bevel with a raised one just inside it.
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(8, 8, 313, 209);
    auto* innerBevel = new QFrame(Panel1);
    innerBevel->setObjectName(QStringLiteral("Panel1Inner"));
    innerBevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    innerBevel->setGeometry(1, 1, 311, 207);

    Image2 = new QLabel(Panel1);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(8, 8, 96, 96);
    Image2->setPixmap(Picture(QStringLiteral("about_image"), QSize(96, 96)));

    ProductName = MakeLabel(Panel1, "ProductName", QStringLiteral("Tarnlight"), Arial(12, true),
                            QPoint(152, 8));
    QPalette black = ProductName->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    ProductName->setPalette(black);
    Version =
        MakeLabel(Panel1, "Version", QStringLiteral("Wersja 1.0"), MsSansSerif(8), QPoint(184, 27));
    Copyright = MakeLabel(Panel1, "Copyright", QStringLiteral("Copyright \u00a9 2026"),
                          MsSansSerif(8), QPoint(152, 56));
    Company = MakeLabel(Panel1, "Company", QStringLiteral("Tarnlight team"), MsSansSerif(8),
                        QPoint(152, 72));
    Comments = MakeLabel(Panel1, "Comments",
                         QStringLiteral("Links a GE Fanuc PLC over SNP to a MySQL database: "
                                        "reads its memory, shows it and mirrors it for other "
                                        "programs, and writes what they ask for."),
                         MsSansSerif(8), QPoint(152, 96));
    Comments->setWordWrap(true);
    Comments->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Comments->setGeometry(152, 96, 153, 104);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(119, 232, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);

    // Centred on the screen, not on the main window (which may be hidden).
    const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) move(screen->geometry().center() - rect().center());
}

void TAboutBox::OKButtonClick() {
    accept();
}

}  // namespace tarnlight::ui
