#pragma once
// Opens a finished PDF in the desktop's viewer ("xdg-open" on the PATH), as Open=yes in
// OVLPRINT.INI asks.
#include <string>

namespace kov::overlayprint {

// Hands `pdf` to the desktop's viewer. False, with the cause in Japanese in *error, when
// the opener is missing, ends with a failure within the first seconds (no viewer for
// PDF files, no desktop), or cannot be started. An opener still running after those
// seconds is showing the file and is left to run.
bool openInViewer(const std::string& pdf, std::string* error);

// False only when the desktop clearly has no program for PDF files ("xdg-mime query
// default application/pdf" answers nothing); true when it has one or cannot tell.
bool desktopHasPdfViewer();

} // namespace kov::overlayprint
