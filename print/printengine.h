#pragma once
// Contract of the overlay print engine: the programs set PrintFIlePath to the folder of
// "OVL.TMP" and call PrtFile with the job name, the screen's caption and the overlay
// file name. PrtFile returns when the engine has finished with the file.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kov {

class PrintEngine {
public:
    virtual ~PrintEngine();
    virtual void setPrintFIlePath(const std::string& folder) = 0;
    virtual std::string PrintFIlePath() const = 0;
    // 0 when done, negative on failure (the engine shows its own message).
    virtual std::int32_t PrtFile(const std::string& jobName, const std::string& caption,
                                 const std::string& overlayFile) = 0;
};

// How a program creates its engine object for one print run.
using PrintEngineFactory = std::function<std::unique_ptr<PrintEngine>()>;

} // namespace kov
