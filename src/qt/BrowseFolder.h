// The folder chooser behind both Browse buttons: a modal dialog that yields a folder path
// ending in exactly one separator, or "" when nothing was chosen.
#pragma once

#include <string>
#include <string_view>

class QWidget;

namespace snapsift {

// Shows the platform's folder chooser with the given title, modal to owner, opening at
// startFolder (UTF-8; "" for the chooser's own start). Returns the chosen folder (UTF-8) ending
// in one separator, or "" on cancel or when no file-system path came back.
std::string BrowseFolder(std::string_view title, const std::string& startFolder, QWidget* owner);

}  // namespace snapsift
