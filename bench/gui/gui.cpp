// A scan driven through the real main window: folder mode over the tree given, START clicked,
// the final message taken by the benchmark instead of a box. Prints the total found and the
// seconds from the START click to the run's end.
// Usage: bench_gui TREE OUTPUT_FOLDER   (run with QT_QPA_PLATFORM=offscreen)
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <cstdio>
#include <deque>

#include "qt/QtMainWindow.h"
#include "qt/WindowServices.h"

namespace {

class BenchServices : public snapsift::WindowServices {
public:
    std::deque<std::string> folders;
    QString lastMessage;
    std::string BrowseFolder(std::string_view, const std::string&, QWidget*) override {
        std::string folder = folders.front();
        folders.pop_front();
        return folder;
    }
    void ShowMessage(QWidget*, const QString& text) override { lastMessage = text; }
    bool AskYesNo(QWidget*, const QString&, bool) override { return false; }
    bool OpenUrl(const QUrl&) override { return true; }
};

std::string WithSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s TREE OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    snapsift::ScanState state;
    BenchServices services;
    snapsift::QtMainWindow window(state, services);
    window.show();
    QApplication::processEvents();

    window.findChild<QCheckBox*>(QStringLiteral("ProfileFoldersOnly"))->click();
    window.findChild<QCheckBox*>(QStringLiteral("IncludePhotos"))->click();  // like --no-photos
    services.folders = {WithSeparator(argv[1]), WithSeparator(argv[2])};
    window.findChild<QPushButton*>(QStringLiteral("SourceBrowseButton"))->click();
    window.findChild<QPushButton*>(QStringLiteral("OutputBrowseButton"))->click();

    QElapsedTimer clock;
    clock.start();
    window.findChild<QPushButton*>(QStringLiteral("StartButton"))->click();
    while (window.Logic().Running()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = clock.nsecsElapsed() / 1e9;

    // The run's count, as its final message gives it.
    const int found =
        services.lastMessage.section(QStringLiteral("Total files found: "), 1).section(QLatin1Char('\n'), 0, 0).toInt();
    std::printf("found: %d\nseconds: %.3f\nmessage: %s\n", found, seconds,
                qPrintable(services.lastMessage.simplified()));
    return services.lastMessage.startsWith(QStringLiteral("Operation complete.")) ? 0 : 1;
}
