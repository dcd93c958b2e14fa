// The drive list of the main window: a combo box that reads the volumes again each time it is
// opened, so that a volume mounted while the program runs is offered too. Below the volumes it
// keeps the disk image entries it is given, and last the entry that asks for an image to add.
// That entry asks only when chosen from the open list or with Enter: stepping onto it with the
// list closed (arrow keys, Home, End, typing, the wheel) merely shows it, and the volume or image
// selected before stays the one searched; moving the focus elsewhere in the window puts that
// one back on show.
#pragma once

#include <QComboBox>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "qt/DriveList.h"

namespace snapsift {

class DriveCombo : public QComboBox {
    Q_OBJECT

public:
    using DriveSource = std::function<std::vector<DriveEntry>()>;

    // Reads the list from `list` at once and selects its initial entry (InitialDriveIndex).
    explicit DriveCombo(QWidget* parent = nullptr, DriveSource list = ListDrives);

    // The selected volume's search prefix ("" for "/", "/media/x", "c:"); "" when the list is
    // empty or an image entry is selected.
    std::string SelectedPrefix() const;
    // The selected entry's index among the image entries, or -1.
    int SelectedImage() const;

    // Reads the volumes again. A selected image entry stays selected, and so does a volume the
    // user selected that is still listed (by its search prefix); otherwise the initial entry of
    // the new list is, a volume holding profile folders where there is one (one mounted since the
    // last read too). Sends no change signals.
    void Reload();

    // Takes the list from `list` from now on, and reads it with the selection as Reload() keeps it.
    void SetSource(DriveSource list);

    // The entries below the volumes: `images`, then `addEntry` (none when empty). select >= 0
    // selects that image entry; -1 keeps the selection.
    void SetImageEntries(const QStringList& images, const QString& addEntry, int select);

    // Reload(), then the usual popup.
    void showPopup() override;

signals:
    // The add entry was chosen; the selection is back where it was before.
    void AddImageChosen();
    // A volume or an image entry was chosen.
    void Selected();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The entry a search takes: the one on show, or the one before the add entry when that is.
    int Chosen() const;
    bool OnAddEntry() const;
    // Shows the selection again and sends AddImageChosen.
    void ChooseAdd();
    // Lists the volumes, the image entries and the add entry, and selects `index`, quietly.
    void Fill(int index);
    int AddIndex() const;

    DriveSource list_;
    std::vector<DriveEntry> drives_;
    QStringList images_;
    QString addEntry_;
    int selected_ = -1;  // the entry selected last, never the add entry
    bool userSelected_ = false;  // selected_ is the user's choice, not the list's initial entry
    bool stepping_ = false;  // a key or the wheel moves through the closed list
};

}  // namespace snapsift
