// The About box: the program's title, version, description and disclaimer, and the maker's
// copyright line and web address, both of which open the maker's page. Modeless.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

#include "window/AboutText.h"

namespace snapsift {

class LinkLabel;


class frmAbout : public QDialog {
    Q_OBJECT

public:
    using UrlOpener = std::function<void(const QUrl&)>;

    // A top-level window of its own, so that closing the main window leaves it open; it is
    // deleted when closed. openUrl opens the maker's page (the desktop's browser by default).
    explicit frmAbout(UrlOpener openUrl = {});

    // Shows the box centred on owner the first time, and brings it to the front.
    void ShowFor(QWidget* owner);

private slots:
    void Form_Load();
    void cmdOK_Click();
    void Label1_Click();
    void Label2_Click();

private:
    void OpenMakerPage();

    UrlOpener openUrl_;
    bool placed_ = false;
    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblVersion;
    LinkLabel* Label1;
    LinkLabel* Label2;
    QLabel* lblDescription;
    QWidget* Line1;
    QLabel* lblDisclaimer;
    QPushButton* cmdOK;
};

}  // namespace snapsift
