#include "ui/qt/CAboutBox.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "ui/qt/AppIcon.h"

#ifndef EMCB_VERSION
#error "EMCB_VERSION must be defined by the build"
#endif

namespace qtui {
namespace {

constexpr int kIconPixels = 32;

}  // namespace

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(kCaption);
    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(kIconPixels, kIconPixels));
    icon->setAlignment(Qt::AlignTop);
    auto* name = new QLabel(kNameLine, this);
    auto* version = new QLabel(VersionLine(), this);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 2, 1);
    layout->addWidget(name, 0, 1);
    layout->addWidget(version, 1, 1);
    layout->addWidget(ok, 2, 1, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString CAboutBox::VersionLine() {
    return QString("Version %1").arg(EMCB_VERSION);
}

}  // namespace qtui
