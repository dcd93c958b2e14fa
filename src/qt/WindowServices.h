// What the main window asks of the desktop: the folder and file choosers, modal message boxes
// and the web browser. The program uses the system's; tests put in their own.
#pragma once

#include <QString>
#include <string>
#include <string_view>

class QUrl;
class QWidget;

namespace snapsift {

class WindowServices {
public:
    virtual ~WindowServices() = default;

    // A folder ending in the separator, or "" when the user cancelled; the chooser opens at
    // startFolder ("" for its own start).
    virtual std::string BrowseFolder(std::string_view title, const std::string& startFolder,
                                     QWidget* owner) = 0;
    // A file's path, or "" when the user cancelled; the chooser offers the files that `filter`
    // names (Qt's "Name (*.a *.b);;..." form) and opens at startFile ("" for its own start).
    // Where none is offered, nothing is chosen.
    virtual std::string ChooseFile(QWidget* /*owner*/, const QString& /*title*/, const QString& /*filter*/,
                                   const std::string& /*startFile*/) {
        return {};
    }
    // A modal box with the text alone, OK only, no icon, the program's title as caption.
    virtual void ShowMessage(QWidget* owner, const QString& text) = 0;
    // The same with Yes and No; true for Yes.
    virtual bool AskYesNo(QWidget* owner, const QString& text, bool noPreselected) = 0;
    // Opens a web page or a local file in the user's browser; false when the desktop could not.
    virtual bool OpenUrl(const QUrl& url) = 0;
};

// The real ones: the platform's folder and file choosers, QMessageBox and the desktop's browser.
class SystemWindowServices : public WindowServices {
public:
    std::string BrowseFolder(std::string_view title, const std::string& startFolder,
                             QWidget* owner) override;
    std::string ChooseFile(QWidget* owner, const QString& title, const QString& filter,
                           const std::string& startFile) override;
    void ShowMessage(QWidget* owner, const QString& text) override;
    bool AskYesNo(QWidget* owner, const QString& text, bool noPreselected) override;
    bool OpenUrl(const QUrl& url) override;
};

}  // namespace snapsift
