#pragma once
// The overlay print engine: reads "OVL.TMP" from PrintFIlePath, draws it over the
// named form overlay and sends the job to a PDF file, a printer or a print preview,
// as "OVLPRINT.INI" says. PrtFile blocks until the job is done. On failure it shows
// one stop-icon message (captioned with the calling screen's caption) that names the
// problem, and returns a negative value; nothing is printed and no PDF is left under
// its final name.
#include "print/printengine.h"

#include <cstdint>
#include <string>

namespace kov {
class RuntimeServices;
}

namespace kov::overlayprint {

// Results of PrtFile.
inline constexpr std::int32_t kPrtDone = 0;
inline constexpr std::int32_t kPrtSettingsError = -1;
inline constexpr std::int32_t kPrtCommandFileError = -2;
inline constexpr std::int32_t kPrtOverlayError = -3;
inline constexpr std::int32_t kPrtOutputError = -4;

class Renderer;
struct EngineSettings;

class OverlayPrintEngine : public kov::PrintEngine {
public:
    explicit OverlayPrintEngine(kov::RuntimeServices& rt);

    void setPrintFIlePath(const std::string& folder) override;
    std::string PrintFIlePath() const override;
    std::int32_t PrtFile(const std::string& jobName, const std::string& caption,
                         const std::string& overlayFile) override;

    // For tools and tests: write the next jobs to exactly this PDF file (replacing it
    // as a whole), whatever the settings say. Empty: follow the settings.
    void setPdfOutputFile(const std::string& path) { m_pdfOverride = path; }
    // The PDF written by the last successful job (empty for printer and preview).
    const std::string& lastOutputPath() const { return m_lastOutputPath; }
    // The message of the last failed job (empty after success).
    const std::string& lastError() const { return m_lastError; }
    int lastPageCount() const { return m_lastPageCount; }

private:
    std::int32_t fail(std::int32_t code, const std::string& caption, const std::string& message);
    // The job from the settings to the output; returns the pages drawn. A job that cannot
    // be printed raises the result and the message of its failure.
    int printJob(const std::string& jobName, const std::string& caption, const std::string& overlayFile);
    // The output "pdf": the PDF in the settings' folder, then opened or told.
    void savePdf(Renderer& renderer, const EngineSettings& settings, const std::string& jobName,
                 const std::string& caption);

    kov::RuntimeServices& m_rt;
    std::string m_folder;
    std::string m_pdfOverride;
    std::string m_lastOutputPath;
    std::string m_lastError;
    int m_lastPageCount = 0;
};

// The factory that the printing programs use to create one engine per print run.
kov::PrintEngineFactory makeEngineFactory(kov::RuntimeServices& rt);

// File name of a job's PDF: the job name (characters that no file name may hold become
// "_"), "_", the time as yyyyMMdd-HHmmss, and ".pdf".
std::string pdfBaseName(const std::string& jobName, const std::string& timestamp);

} // namespace kov::overlayprint
