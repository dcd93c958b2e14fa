// The drive list of the main window: a combo box that reads the volumes again each time it is
// opened, so that a volume mounted while the program runs is offered too.
#pragma once

#include <QComboBox>
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

    // The selected entry's search prefix ("" for "/", "/media/x", "c:"); "" when the list is empty.
    std::string SelectedPrefix() const;

    // Reads the list again. The selected volume stays selected when it is still listed (by its
    // search prefix); otherwise the initial entry of the new list is. Sends no change signals.
    void Reload();

    // Takes the list from `list` from now on, and reads it with the selection as Reload() keeps it.
    void SetSource(DriveSource list);

    // Reload(), then the usual popup.
    void showPopup() override;

private:
    DriveSource list_;
    std::vector<DriveEntry> drives_;
};

}  // namespace snapsift
