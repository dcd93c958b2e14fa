#include "qt/DriveCombo.h"

#include <QSignalBlocker>
#include <algorithm>

namespace snapsift {

DriveCombo::DriveCombo(QWidget* parent, DriveSource list) : QComboBox(parent), list_(std::move(list)) {
    Reload();
}

std::string DriveCombo::SelectedPrefix() const {
    const int index = currentIndex();
    if (index < 0 || index >= static_cast<int>(drives_.size())) return {};
    return drives_[static_cast<std::size_t>(index)].prefix;
}

void DriveCombo::Reload() {
    const int old = currentIndex();
    const bool hadSelection = old >= 0 && old < static_cast<int>(drives_.size());
    const std::string selected = SelectedPrefix();

    drives_ = list_();
    const auto kept = std::find_if(drives_.begin(), drives_.end(),
                                   [&](const DriveEntry& drive) { return drive.prefix == selected; });
    const int index = hadSelection && kept != drives_.end() ? static_cast<int>(kept - drives_.begin())
                                                            : InitialDriveIndex(drives_);
    const QSignalBlocker quiet(this);
    clear();
    for (const DriveEntry& drive : drives_) addItem(drive.text);
    setCurrentIndex(index);
}

void DriveCombo::SetSource(DriveSource list) {
    list_ = std::move(list);
    Reload();
}

void DriveCombo::showPopup() {
    Reload();
    QComboBox::showPopup();
}

}  // namespace snapsift
