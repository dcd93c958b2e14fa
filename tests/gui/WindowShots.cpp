// Takes the documentation screenshots of the real windows on an X display: the idle window,
// folder mode, the window during a scan, the final message and the About box. Each picture is
// taken by an outside command (the first argument, given the file name and the X geometry
// "WxH+X+Y" of the window to cut out) while the windows stay on screen.
// Usage: snapsift_window_shots SHOOT_COMMAND OUT_DIR EVIDENCE_ROOT OUTPUT_FOLDER
#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <deque>

#include "about/frmAbout.h"
#include "app/Form1.h"
#include "app/WindowServices.h"

namespace snapsift {
namespace {

QString shootCommand;
QString outDir;

// Lets the windows paint, then hands their rectangle to the shoot command.
void Shoot(const QWidget& window, const QString& name) {
    for (int i = 0; i < 5; ++i) {
        QEventLoop loop;
        QTimer::singleShot(60, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const QRect area = window.frameGeometry();
    const QString geometry = QStringLiteral("%1x%2+%3+%4")
                                 .arg(area.width()).arg(area.height()).arg(area.x()).arg(area.y());
    const int status = QProcess::execute(shootCommand, {outDir + u'/' + name, geometry});
    std::fprintf(stderr, "%s %s: %s\n", qPrintable(name), qPrintable(geometry),
                 status == 0 ? "taken" : "FAILED");
}

// The chooser answers with the folders given; the final message is shot, then acknowledged.
class ShotServices : public SystemWindowServices {
public:
    std::deque<std::string> folders;
    std::string BrowseFolder(std::string_view, QWidget*) override {
        std::string folder = folders.empty() ? std::string() : folders.front();
        if (!folders.empty()) folders.pop_front();
        return folder;
    }
    void ShowMessage(QWidget* owner, const QString& text) override {
        QTimer::singleShot(0, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            Shoot(*box, QStringLiteral("message-complete.png"));
            box->button(QMessageBox::Ok)->click();
        });
        SystemWindowServices::ShowMessage(owner, text);
    }
};

// Shoots the window once, in the middle of the scan.
class ShotForm : public Form1 {
public:
    using Form1::Form1;
    std::size_t shown = 0;
    std::size_t shootAt = 0;
    void ShowPath(const std::string& path) override {
        ++shown;
        Form1::ShowPath(path);
    }
    void Yield() override {
        Form1::Yield();
        if (shown == shootAt) Shoot(*this, QStringLiteral("window-scanning.png"));
    }
};

}  // namespace
}  // namespace snapsift

int main(int argc, char* argv[]) {
    using namespace snapsift;
    QApplication application(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s SHOOT_COMMAND OUT_DIR EVIDENCE_ROOT OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    shootCommand = QString::fromLocal8Bit(argv[1]);
    outDir = QString::fromLocal8Bit(argv[2]);
    const QString evidence = QString::fromLocal8Bit(argv[3]);
    const std::string output = argv[4];

    ScanState state;
    ShotServices services;
    ShotForm window(state, services);
    window.LoadDrives({MountEntry(evidence, QStringLiteral("EVIDENCE"), QStringLiteral("ntfs3"))}, 0);
    window.show();
    Shoot(window, QStringLiteral("window-idle.png"));

    auto* chkPro = window.findChild<QCheckBox*>(QStringLiteral("chkPro"));
    chkPro->click();
    services.folders = {evidence.toStdString() + "/Users/", output};
    window.findChild<QPushButton*>(QStringLiteral("cmdSource"))->click();
    window.findChild<QPushButton*>(QStringLiteral("cmdOut"))->click();
    Shoot(window, QStringLiteral("window-folder-mode.png"));

    window.shootAt = 1500;
    window.findChild<QPushButton*>(QStringLiteral("cmdSTART"))->click();

    window.findChild<QAction*>(QStringLiteral("mnuAbout"))->trigger();
    Shoot(*window.AboutBox(), QStringLiteral("about.png"));
    return 0;
}
