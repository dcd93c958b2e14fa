#include "window/FormView.h"

#include <array>

namespace snapsift {

std::string_view ControlName(Control control) {
    static constexpr std::array<std::string_view, kControlCount> kNames = {
        "Command1", "chkPro",   "Drive1", "txtOut",  "txtSource", "chkIncl", "cmdABORT",
        "Frame1",   "lblFile",  "Label7", "cmdSTART", "cmdOut",   "chkSubs", "cmdSource",
        "Line1",    "Label4",   "Label5", "Label3",  "Label2",    "Label1"};
    return kNames[static_cast<std::size_t>(control)];
}

}  // namespace snapsift
