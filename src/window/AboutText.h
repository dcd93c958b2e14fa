// The About box's texts, and the copyright line that the main window shows as well: the same
// in every window the program has.
#pragma once

namespace snapsift {

inline constexpr char kCopyrightLine[] = "Copyright (c) 2026 Snapsift Developers";
inline constexpr char kMakerAddress[] = "https://snapsift.example.org";
inline constexpr char kAboutDescriptionText[] =
    "Searches for possible Quorvia JPG image files and creates an HTML report with the file "
    "names, modified/accessed/created times, MD5 hash, Quorvia ID number, and the image itself.";
inline constexpr char kAboutDisclaimerText[] =
    "Legal disclaimer: This program is provided free of charge and comes with no guarantee or "
    "warranty whatsoever. All liability and risk is assumed by the user.";

}  // namespace snapsift
