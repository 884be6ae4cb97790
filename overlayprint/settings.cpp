#include "settings.h"

#include "common/inifile.h"
#include "common/text.h"

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace kov::overlayprint {

namespace {

std::string resolved(const std::string& value, const std::string& base)
{
    std::filesystem::path p(value);
    // "~/" is the home folder of the user who prints (the package's settings say ~/帳票).
    if (value.rfind("~/", 0) == 0)
        if (const char* home = std::getenv("HOME"); home && *home) p = std::filesystem::path(home) / value.substr(2);
    if (p.is_relative()) p = std::filesystem::path(base) / p;
    return p.lexically_normal().string();
}

} // namespace

std::optional<EngineSettings> parseSettings(const std::string& text, const std::string& iniFolder,
                                            const std::string& appPath, std::string* error)
{
    return parseSettingsFile(text, iniFolder, (std::filesystem::path(iniFolder) / kIniName).string(), appPath, error);
}

namespace {

// The value of Output (pdf, printer, preview; empty is pdf), or nullopt.
std::optional<OutputKind> outputKind(const std::string& value)
{
    const std::string v = text::foldAsciiCase(value);
    if (v == "pdf" || v.empty()) return OutputKind::Pdf;
    if (v == "printer") return OutputKind::Printer;
    if (v == "preview") return OutputKind::Preview;
    return std::nullopt;
}

// The value of Open (yes, true, 1; no, false, 0, empty), or nullopt.
std::optional<bool> yesOrNo(const std::string& value)
{
    const std::string v = text::foldAsciiCase(value);
    if (v == "yes" || v == "true" || v == "1") return true;
    if (v == "no" || v == "false" || v == "0" || v.empty()) return false;
    return std::nullopt;
}

// One entry of the section [Print] into the settings; a wrong value or an unknown key is
// noted as the fault of its line.
void applyEntry(EngineSettings& s, const ini::Entry& e, const std::string& iniFolder, ini::FirstFault& fault)
{
    const std::string key = text::foldAsciiCase(e.key);
    const std::string& value = e.value;
    if (key == "output") {
        if (const std::optional<OutputKind> kind = outputKind(value)) s.output = *kind;
        else fault.note(e.line, "Output の値「" + value + "」は使えません（pdf、printer、preview）。");
    } else if (key == "pdffolder") {
        if (!value.empty()) s.pdfFolder = resolved(value, iniFolder);
    } else if (key == "printer") {
        s.printer = value;
    } else if (key == "overlayfolder") {
        if (!value.empty()) s.overlayFolder = resolved(value, iniFolder);
    } else if (key == "font") {
        if (!value.empty()) s.fontFamily = value;
    } else if (key == "gaijifont") {
        s.gaijiFontFamily = value;
    } else if (key == "open") {
        if (const std::optional<bool> open = yesOrNo(value)) s.openPdf = *open;
        else fault.note(e.line, "Open の値「" + value + "」は使えません（yes、no）。");
    } else {
        fault.note(e.line, "不明な設定「" + e.key +
                               "」です（Output、PdfFolder、Printer、OverlayFolder、Font、GaijiFont、Open）。");
    }
}

} // namespace

std::optional<EngineSettings> parseSettingsFile(const std::string& text, const std::string& iniFolder,
                                                const std::string& iniPath, const std::string& appPath,
                                                std::string* error)
{
    EngineSettings s;
    s.pdfFolder = resolved("pdf", iniFolder);
    s.overlayFolder = appPath;
    s.iniPath = iniPath;

    const ini::IniFile file = ini::parse(text);
    ini::FirstFault fault(file);
    for (const ini::Entry& e : file.entries) {
        if (!text::equalsIgnoringAsciiCase(e.section, "print")) continue; // other sections belong to other tools
        applyEntry(s, e, iniFolder, fault);
    }
    if (fault.any()) {
        if (error) *error = fault.text(s.iniPath);
        return std::nullopt;
    }
    return s;
}

std::optional<EngineSettings> loadSettings(const std::string& settingsFolder, const std::string& appPath,
                                           std::string* error)
{
    // The name is matched without regard to case: "ovlprint.ini" serves as well.
    const std::string ini = ini::findFile(settingsFolder, kIniName);
    std::error_code ec;
    if (!std::filesystem::exists(ini, ec)) return parseSettings({}, settingsFolder, appPath, error);
    std::string text;
    if (!ini::readFile(ini, text)) {
        if (error) *error = "設定ファイル「" + ini + "」を読めません。";
        return std::nullopt;
    }
    return parseSettingsFile(text, settingsFolder, ini, appPath, error);
}

} // namespace kov::overlayprint
