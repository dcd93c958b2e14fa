#include "qt/DriveCombo.h"

#include <QDir>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QWheelEvent>
#include <utility>

namespace snapsift {

DriveCombo::DriveCombo(QWidget* parent, DriveSource list) : QComboBox(parent), list_(std::move(list)) {
    Reload();
    // The list's own changes are quiet: a change heard here is the user's (or a caller's) choice.
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index == AddIndex()) return;
        selected_ = index, userSelected_ = true;
        emit Selected();
    });
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (index == AddIndex() && !stepping_) ChooseAdd();
    });
}

bool DriveCombo::OnAddEntry() const { return AddIndex() >= 0 && currentIndex() == AddIndex(); }

int DriveCombo::Chosen() const { return OnAddEntry() ? selected_ : currentIndex(); }

void DriveCombo::ChooseAdd() {
    {
        const QSignalBlocker quiet(this);
        setCurrentIndex(selected_);
    }
    emit AddImageChosen();
}

std::string DriveCombo::SelectedPrefix() const {
    const int index = Chosen();
    if (index < 0 || index >= static_cast<int>(drives_.size())) return {};
    return drives_[static_cast<std::size_t>(index)].prefix;
}

int DriveCombo::SelectedImage() const {
    const int image = Chosen() - static_cast<int>(drives_.size());
    return image >= 0 && image < images_.size() ? image : -1;
}

int DriveCombo::AddIndex() const {
    return addEntry_.isEmpty() ? -1 : static_cast<int>(drives_.size() + images_.size());
}

void DriveCombo::Reload() {
    const bool onAdd = OnAddEntry();
    const int image = SelectedImage();
    const int old = Chosen();
    const bool hadVolume = userSelected_ && old >= 0 && old < static_cast<int>(drives_.size());
    const std::string selected = SelectedPrefix();

    drives_ = list_();
    if (image >= 0)
        Fill(static_cast<int>(drives_.size()) + image);
    else
        Fill(IndexAfterReread(drives_, hadVolume ? &selected : nullptr, QDir::currentPath().toStdString()));
    if (onAdd) {
        const QSignalBlocker quiet(this);
        setCurrentIndex(AddIndex());
    }
}

void DriveCombo::SetSource(DriveSource list) {
    list_ = std::move(list);
    Reload();
}

void DriveCombo::SetImageEntries(const QStringList& images, const QString& addEntry, int select) {
    const int image = SelectedImage();
    const int volume = image < 0 && Chosen() < static_cast<int>(drives_.size()) ? Chosen() : -1;
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

void DriveCombo::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && OnAddEntry()) {
        event->accept();
        ChooseAdd();
        return;
    }
    const bool stepping = std::exchange(stepping_, true);
    QComboBox::keyPressEvent(event);
    stepping_ = stepping;
}

void DriveCombo::wheelEvent(QWheelEvent* event) {
    const bool stepping = std::exchange(stepping_, true);
    QComboBox::wheelEvent(event);
    stepping_ = stepping;
}

void DriveCombo::focusOutEvent(QFocusEvent* event) {
    const Qt::FocusReason reason = event->reason();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && OnAddEntry()) {
        const QSignalBlocker quiet(this);
        setCurrentIndex(selected_);
    }
    QComboBox::focusOutEvent(event);
}

}  // namespace snapsift
