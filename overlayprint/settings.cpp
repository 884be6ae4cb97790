#include "settings.h"

#include "common/text.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kov::overlayprint {

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string resolved(const std::string& value, const std::string& base)
{
    std::filesystem::path p(value);
    if (p.is_relative()) p = std::filesystem::path(base) / p;
    return p.lexically_normal().string();
}

} // namespace

std::optional<EngineSettings> parseSettings(const std::string& text, const std::string& iniFolder,
                                            const std::string& appPath, std::string* error)
{
    EngineSettings s;
    s.pdfFolder = resolved("pdf", iniFolder);
    s.overlayFolder = appPath;
    s.iniPath = (std::filesystem::path(iniFolder) / kIniName).string();

    auto fail = [&](std::size_t lineNo, const std::string& what) -> std::optional<EngineSettings> {
        if (error) *error = "設定ファイル「" + s.iniPath + "」の " + std::to_string(lineNo) + " 行目: " + what;
        return std::nullopt;
    };

    std::istringstream in(text);
    std::string line;
    std::string section;
    std::size_t lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (lineNo == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        const std::string t = text::trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t[0] == '[') {
            if (t.back() != ']') return fail(lineNo, "節の名前が ] で閉じられていません。");
            section = lower(text::trim(t.substr(1, t.size() - 2)));
            continue;
        }
        const auto eq = t.find('=');
        if (eq == std::string::npos) return fail(lineNo, "「名前=値」の形ではありません。");
        if (section != "print") continue;  // other sections belong to other tools
        const std::string key = lower(text::trim(t.substr(0, eq)));
        const std::string value = text::trim(t.substr(eq + 1));
        if (key == "output") {
            const std::string v = lower(value);
            if (v == "pdf" || v.empty()) s.output = OutputKind::Pdf;
            else if (v == "printer") s.output = OutputKind::Printer;
            else if (v == "preview") s.output = OutputKind::Preview;
            else return fail(lineNo, "Output の値「" + value + "」は使えません（pdf、printer、preview）。");
        } else if (key == "pdffolder") {
            if (!value.empty()) s.pdfFolder = resolved(value, iniFolder);
        } else if (key == "printer") {
            s.printer = value;
        } else if (key == "overlayfolder") {
            if (!value.empty()) s.overlayFolder = resolved(value, iniFolder);
        } else if (key == "font") {
            if (!value.empty()) s.fontFamily = value;
        } else {
            return fail(lineNo, "不明な設定「" + text::trim(t.substr(0, eq)) +
                                    "」です（Output、PdfFolder、Printer、OverlayFolder、Font）。");
        }
    }
    return s;
}

std::optional<EngineSettings> loadSettings(const std::string& settingsFolder, const std::string& appPath,
                                           std::string* error)
{
    const std::filesystem::path ini = std::filesystem::path(settingsFolder) / kIniName;
    std::error_code ec;
    if (!std::filesystem::exists(ini, ec)) return parseSettings({}, settingsFolder, appPath, error);
    std::ifstream in(ini, std::ios::binary);
    if (!in) {
        if (error) *error = "設定ファイル「" + ini.string() + "」を読めません。";
        return std::nullopt;
    }
    std::ostringstream buf;
    buf << in.rdbuf();
    return parseSettings(buf.str(), settingsFolder, appPath, error);
}

} // namespace kov::overlayprint
