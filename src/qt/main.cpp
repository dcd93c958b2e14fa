// The window program: one main window over the program-wide scan state; it ends when its last
// window has closed.
#include <QApplication>

#include "platform/LocaleText.h"
#include "qt/QtMainWindow.h"
#include "qt/ProgramIcon.h"
#include "qt/WindowServices.h"
#include "scan/ScanState.h"
#include "scan/Version.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    snapsift::UseUserLocale();  // report dates and the output folder's month follow the user
    QApplication::setApplicationName(QString::fromUtf8(snapsift::kAppTitle.data(),
                                                       snapsift::kAppTitle.size()));
    QApplication::setApplicationVersion(QString::fromUtf8(snapsift::kAppVersion.data(),
                                                          snapsift::kAppVersion.size()));
    QApplication::setDesktopFileName(QStringLiteral("snapsift"));
    QApplication::setWindowIcon(snapsift::ProgramIcon());

    snapsift::ScanState state;
    snapsift::SystemWindowServices services;
    snapsift::QtMainWindow window(state, services);
    window.show();
    return QApplication::exec();
}
