#include "qt/DriveCombo.h"

#include <QDir>
#include <QSignalBlocker>

namespace snapsift {

DriveCombo::DriveCombo(QWidget* parent, DriveSource list) : QComboBox(parent), list_(std::move(list)) {
    Reload();
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index != AddIndex()) selected_ = index;
    });
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (index != AddIndex()) return;
        {
            const QSignalBlocker quiet(this);
            setCurrentIndex(selected_);
        }
        emit AddImageChosen();
    });
}

std::string DriveCombo::SelectedPrefix() const {
    const int index = currentIndex();
    if (index < 0 || index >= static_cast<int>(drives_.size())) return {};
    return drives_[static_cast<std::size_t>(index)].prefix;
}

int DriveCombo::SelectedImage() const {
    const int image = currentIndex() - static_cast<int>(drives_.size());
    return image >= 0 && image < images_.size() ? image : -1;
}

int DriveCombo::AddIndex() const {
    return addEntry_.isEmpty() ? -1 : static_cast<int>(drives_.size() + images_.size());
}

void DriveCombo::Reload() {
    const int image = SelectedImage();
    const int old = currentIndex();
    const bool hadVolume = old >= 0 && old < static_cast<int>(drives_.size());
    const std::string selected = SelectedPrefix();

    drives_ = list_();
    if (image >= 0)
        Fill(static_cast<int>(drives_.size()) + image);
    else
        Fill(IndexAfterReread(drives_, hadVolume ? &selected : nullptr, QDir::currentPath().toStdString()));
}

void DriveCombo::SetSource(DriveSource list) {
    list_ = std::move(list);
    Reload();
}

void DriveCombo::SetImageEntries(const QStringList& images, const QString& addEntry, int select) {
    const int image = SelectedImage();
    const int volume = image < 0 && currentIndex() < static_cast<int>(drives_.size()) ? currentIndex() : -1;
    images_ = images;
    addEntry_ = addEntry;
    const int keep = image >= 0 && image < images_.size() ? static_cast<int>(drives_.size()) + image : volume;
    Fill(select >= 0 && select < images_.size() ? static_cast<int>(drives_.size()) + select : keep);
}

void DriveCombo::Fill(int index) {
    const QSignalBlocker quiet(this);
    clear();
    for (const DriveEntry& drive : drives_) addItem(QString::fromStdString(drive.text));
    addItems(images_);
    if (!addEntry_.isEmpty()) addItem(addEntry_);
    setCurrentIndex(index);
    selected_ = index;
}

void DriveCombo::showPopup() {
    Reload();
    QComboBox::showPopup();
}

}  // namespace snapsift
