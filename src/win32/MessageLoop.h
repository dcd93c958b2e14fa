// The thread's message loop, with the keyboard handling of the dialog that each message's
// window belongs to: the program's main loop, and one pass over the waiting messages.
#pragma once

namespace snapsift {

// Handles every message waiting in the thread's queue. False when WM_QUIT came; it is posted
// again for the outer loop, and the rest of the queue is left to it.
bool PumpPendingMessages();

// Runs until WM_QUIT; gives its exit code.
int RunMessageLoop();

}  // namespace snapsift
