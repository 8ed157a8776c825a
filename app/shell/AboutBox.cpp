#include "AboutBox.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QSysInfo>

#include "CommandLine.h"

namespace {

// The system the program was built for, which is the one it runs on.
QString PlatformName() {
#if defined(Q_OS_LINUX)
    return QStringLiteral("Linux");
#else
    return QSysInfo::productType();
#endif
}

} // namespace

#include "WindowModal.h"

void ShowAboutBox(QWidget* parent) {
    QDialog box(parent);
    box.setWindowTitle(QStringLiteral("About Talvex 3.0"));
    auto* grid = new QGridLayout(&box);
    auto* icon = new QLabel;
    icon->setPixmap(QApplication::windowIcon().pixmap(64));
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(
        new QLabel(QStringLiteral("Talvex Client for %1 %2").arg(PlatformName(), ProgramVersion())),
        0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Compiled Date:")), 1, 1);
    grid->addWidget(new QLabel(QStringLiteral(__DATE__ "  " __TIME__)), 1, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    grid->addWidget(buttons, 2, 0, 1, 3);
    ExecWindowModal(box);
}
