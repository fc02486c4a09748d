#include "ui/build_progress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnlight::ui {

TBuildProgress::TBuildProgress(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BuildProgress"));
    setWindowTitle(QStringLiteral("Connect"));
    setWindowModality(Qt::ApplicationModal);
    Label = new QLabel(QStringLiteral("Preparing the database..."), this);
    Bar = new QProgressBar(this);
    Bar->setRange(0, 100);
    Bar->setValue(0);
    Bar->setMinimumWidth(260);
    Butt_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    Butt_Cancel->setObjectName(QStringLiteral("Butt_Cancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Butt_Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label);
    layout->addWidget(Bar);
    layout->addLayout(buttons);
    connect(Butt_Cancel, &QPushButton::clicked, this, &TBuildProgress::reject);
}

void TBuildProgress::setValue(int percent) {
    Bar->setValue(percent);
}

int TBuildProgress::value() const {
    return Bar->value();
}

QString TBuildProgress::labelText() const {
    return Label->text();
}

void TBuildProgress::reject() {
    // Hidden at once; whoever owns the dialog deletes it.
    QDialog::reject();
    emit canceled();
}

}  // namespace tarnlight::ui
