#pragma once
// kov570's screen model over a real fixture, the runtime services scripted, and a print
// engine that notes each call with a copy of the command file.
#include "common/tests/scriptedruntime.h"
#include "db/tests/fixture.h"
#include "kov570/kov570screen.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace kov::kov570::test {

struct NotedCall {
    std::string folder, jobName, caption, overlay, commandFile;
};

class NotingEngine : public PrintEngine {
public:
    explicit NotingEngine(std::vector<NotedCall>& calls) : m_calls(calls) {}
    void setPrintFIlePath(const std::string& folder) override { m_folder = folder; }
    std::string PrintFIlePath() const override { return m_folder; }
    std::int32_t PrtFile(const std::string& job, const std::string& caption, const std::string& overlay) override
    {
        std::ostringstream bytes;
        bytes << std::ifstream(m_folder + "/OVL.TMP", std::ios::binary).rdbuf();
        m_calls.push_back({m_folder, job, caption, overlay, bytes.str()});
        return 0;
    }

private:
    std::vector<NotedCall>& m_calls;
    std::string m_folder;
};

struct Kov570Env {
    db::Fixture fx;
    ScriptedRuntime rt{fx.dir()};
    std::vector<NotedCall> calls;
    PrintContext ctx{rt, "kov570", [this] { return std::make_unique<NotingEngine>(calls); }};
    Kov570Screen screen{ctx};

    // The work folders' root (KOV_WORK_DIR) is the fixture's folder "work".
    Kov570Env()
    {
        setenv("KOV_WORK_DIR", fx.path("work").c_str(), 1);
        fx.setStandardNames();
    }
    // kov570's work folder, where its command file goes.
    std::string workFolder() const { return fx.path("work") + "/kov570"; }
    // Runs a user action; a program end during it is returned.
    template <class F>
    std::optional<int> run(F&& action)
    {
        try {
            runGuarded(rt, kCaption, action);
        } catch (const ProgramEnded& e) {
            return e.exitStatus;
        }
        return std::nullopt;
    }
    // The load step and the opening.
    std::optional<int> open()
    {
        return run([this] { screen.formLoad(), screen.gnsStart(); });
    }
    // Ticks one finance box and one school box.
    void tick(int finance, int school)
    {
        screen.setChkZaimu(finance, CheckValue::Ticked), screen.setChkGakkou(school, CheckValue::Ticked);
    }
};

} // namespace kov::kov570::test
