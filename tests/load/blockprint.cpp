// kov_blockprint PROGRAM DIR
// The print run of kov120 (pay kind 25) or kov140 over the database that DIR/KOV.INI
// names, for every block and the monthly-paid group, as the program runs it after F6:
// the command file OVL.TMP in the program's work folder, then the hand-over to the print
// engine, which here only says that it was called ("handed over: <folder>"). A failing status ends the process
// as the program ends (the message on standard error, exit status 2). Used by the load
// test (tests/load/run-load.sh), which starts many of them at once.
#include "blockreport/blockreportscreen.h"
#include "common/runtimeerror.h"
#include "common/tests/batchruntime.h"
#include "kov120/kov120run.h"
#include "kov120/kov120screen.h"
#include "kov140/kov140run.h"
#include "kov140/kov140screen.h"
#include "tessera/tessera.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

class NotingEngine : public kov::PrintEngine {
public:
    void setPrintFIlePath(const std::string& f) override { m_f = f; }
    std::string PrintFIlePath() const override { return m_f; }
    std::int32_t PrtFile(const std::string&, const std::string&, const std::string&) override
    {
        std::printf("handed over: %s\n", m_f.c_str());
        return 0;
    }

private:
    std::string m_f;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || (std::string(argv[1]) != "kov120" && std::string(argv[1]) != "kov140")) {
        std::fprintf(stderr, "usage: kov_blockprint kov120|kov140 DIR\n");
        return 1;
    }
    const std::string program = argv[1], dir = argv[2];
    setenv("KOV_INI_DIR", dir.c_str(), 1);
    kov::BatchRuntime rt(dir);
    try {
        kov::tessera::registerComponent(dir);
        kov::PrintContext ctx(rt, program, [] { return std::make_unique<NotingEngine>(); });
        const bool is120 = program == "kov120";
        kov::blockreport::BlockReportScreen screen(ctx,
                                                   is120 ? kov::kov120::kov120Screen(25) : kov::kov140::kov140Screen());
        if (is120) screen.setPrintRun(std::make_unique<kov::kov120::Kov120Run>(ctx));
        else screen.setPrintRun(std::make_unique<kov::kov140::Kov140Run>(ctx));
        screen.formLoad();
        screen.prsOpenSet();
        for (std::size_t i = 0; i < screen.lstMain().size(); ++i) screen.setSelected(static_cast<int>(i), true);
        screen.prsPrint();
    } catch (const kov::ProgramStop& stop) {
        rt.endWith(stop);
    } catch (const kov::RuntimeError& e) {
        std::fprintf(stderr, "kov_blockprint: %s\n", e.userMessage().c_str());
        return 2;
    }
    return 0;
}
