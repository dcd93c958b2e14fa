// Takes the documentation screenshots of the real windows on an X display: idle, folder mode,
// mid-scan, the final message, the About box and, given a disk image, its entry with the
// unallocated-space box checked, each cut out by SHOOT_COMMAND FILE WxH+X+Y.
// Usage: snapsift_window_shots SHOOT_COMMAND OUT_DIR EVIDENCE_ROOT OUTPUT_FOLDER [DISK_IMAGE]
#include <cstdio>
#include <QTest>
#include <QtWidgets>

#include "qt/DriveCombo.h"
#include "qt/QtMainWindow.h"
#include "qt/AboutBox.h"
#include "qt/WindowServices.h"

using namespace snapsift;
static QStringList args;

// Lets the windows paint, then hands the window's frame to the shoot command.
static void Shoot(const QWidget& window, const char* name) {
    QTest::qWait(300);
    const QRect f = window.frameGeometry();
    const QString geometry = QString::asprintf("%dx%d+%d+%d", f.width(), f.height(), f.x(), f.y());
    const bool taken = QProcess::execute(args[1], {args[2] + u'/' + name, geometry}) == 0;
    qInfo("%s %s: %s", name, qPrintable(geometry), taken ? "taken" : "FAILED");
}

// The chooser answers with the folders given; the final message is shot, then acknowledged.
struct ShotServices : SystemWindowServices {
    QStringList folders;
    std::string image;  // the disk image chooser's answer
    std::string ChooseFile(QWidget*, const QString&, const QString&, const std::string&) override { return image; }
    std::string BrowseFolder(std::string_view, const std::string&, QWidget*) override {
        return folders.takeFirst().toStdString();
    }
    void ShowMessage(QWidget* owner, const QString& text) override {
        QTimer::singleShot(0, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box) Shoot(*box, "message-complete.png"), box->button(QMessageBox::Ok)->click();
        });
        SystemWindowServices::ShowMessage(owner, text);
    }
};

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    args = QApplication::arguments();
    if (args.size() != 5 && args.size() != 6)
        qFatal("usage: snapsift_window_shots SHOOT_COMMAND OUT_DIR EVIDENCE_ROOT OUTPUT_FOLDER [DISK_IMAGE]");
    ScanState state;
    ShotServices services;
    QtMainWindow window(state, services);
    window.findChild<DriveCombo*>("DriveList")->SetSource([] { return std::vector{MountEntry(args[3].toStdString(), "EVIDENCE", "ntfs3")}; });
    window.show();
    Shoot(window, "window-idle.png");
    services.folders = {args[3] + "/Users/", args[4]};
    for (const char* name : {"ProfileFoldersOnly", "SourceBrowseButton", "OutputBrowseButton"}) window.findChild<QAbstractButton*>(name)->click();
    Shoot(window, "window-folder-mode.png");
    window.findChild<QAbstractButton*>("StartButton")->click();
    // Mid-scan, once the running look is on (a scan shorter than that is shot at its final box).
    if (QTest::qWaitFor([&] { return window.findChild<QWidget*>("AbortButton")->isVisible() || !window.Logic().Running(); }) &&
        window.Logic().Running())
        Shoot(window, "window-scanning.png");
    if (!QTest::qWaitFor([&] { return !window.Logic().Running(); }, 600'000)) {
        std::fprintf(stderr, "the scan did not end within 10 minutes\n");
        return 1;
    }
    window.findChild<QAction*>("AboutItem")->trigger();
    Shoot(*window.About(), "about.png");
    window.About()->close();
    if (args.size() == 6) {
        services.image = args[5].toStdString();
        window.findChild<QAbstractButton*>("ProfileFoldersOnly")->click();
        emit window.findChild<DriveCombo*>("DriveList")->AddImageChosen();
        auto* unallocated = window.findChild<QAbstractButton*>("SearchUnallocated");
        if (!QTest::qWaitFor([&] { return unallocated->isVisible(); }, 10'000)) {
            std::fprintf(stderr, "the disk image was not added\n");
            return 1;
        }
        unallocated->click();
        Shoot(window, "window-disk-image.png");
    }
    return 0;
}
