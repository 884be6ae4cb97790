#pragma once
// Settings of the print engine: "OVLPRINT.INI" in the settings folder, section [Print].
//   Output=pdf | printer | preview   (pdf when not given)
//   PdfFolder=<folder>               (pdf: <settings folder>/pdf)
//   Printer=<system printer name>    (printer: the default printer when empty)
//   OverlayFolder=<folder>           (the program's own folder)
//   Font=<font family>               (IPAGothic)
//   GaijiFont=<font family>          (none: the office's own font of user-defined codes)
//   Open=yes | no                    (no: pdf leaves the finished PDF in its folder)
// The file name is matched without regard to case ("ovlprint.ini" serves as well).
// Relative folders are taken from the folder of the INI file; "~/" at the start of a
// folder is the home folder of the user. A missing INI file
// means all defaults. Plain C++.
#include <optional>
#include <string>

namespace kov::overlayprint {

enum class OutputKind { Pdf, Printer, Preview };

struct EngineSettings {
    OutputKind output = OutputKind::Pdf;
    std::string pdfFolder;
    std::string printer;
    std::string overlayFolder;
    std::string fontFamily = "IPAGothic";
    std::string gaijiFontFamily; // draws the user-defined codes that GAIJI.INI does not name
    bool openPdf = false; // open each finished PDF in the desktop's viewer
    std::string iniPath; // the file read (may not exist)
};

inline constexpr const char* kIniName = "OVLPRINT.INI";

// Reads the settings; on a malformed file returns nothing and sets *error (Japanese,
// naming the file and line).
std::optional<EngineSettings> loadSettings(const std::string& settingsFolder, const std::string& appPath,
                                           std::string* error);
// The same from the text of an INI file (iniFolder resolves relative folders).
std::optional<EngineSettings> parseSettings(const std::string& text, const std::string& iniFolder,
                                            const std::string& appPath, std::string* error);
// The same, naming the file that was read (its name may differ in case from kIniName).
std::optional<EngineSettings> parseSettingsFile(const std::string& text, const std::string& iniFolder,
                                                const std::string& iniPath, const std::string& appPath,
                                                std::string* error);

} // namespace kov::overlayprint
