// The About box: the program's title, version, description and disclaimer, and the maker's
// copyright line and web address, both of which open the maker's page. Modeless.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>
#include <vector>

namespace snapsift {

class AboutBox : public QDialog {
    Q_OBJECT

public:
    using UrlOpener = std::function<void(const QUrl&)>;

    // A top-level window of its own, so that closing the main window leaves it open; it is
    // deleted when closed. openUrl opens the maker's page (the desktop's browser by default).
    explicit AboutBox(UrlOpener openUrl = {});

    // Shows the box centred on owner the first time, and brings it to the front.
    void ShowFor(QWidget* owner);

private:
    void OpenMakerPage();

    UrlOpener openUrl_;
    bool placed_ = false;
    std::vector<QWidget*> controls_;  // in the order of AboutControl
};

}  // namespace snapsift
