// subKov120: the start routine of kov120. Checks the argument before any window, then
// shows the background screen, the payment-record screen, and opens it.
#include "blockreport/blockreportscreen.h"
#include "blockreport/ui/frmblockreport.h"
#include "common/runtimeservices.h"
#include "common/ui/startup.h"
#include "kov120/kov120run.h"
#include "kov120/kov120screen.h"
#include "overlayprint/overlayprintengine.h"
#include "tessera/tessera.h"

#include <cstdint>
#include <memory>
#include <string>

namespace {

// Module state of the start routine.
struct SubKov120 {
    // Pay kind of the run: 2, 5, or 25 for 2 and 5 together.
    std::int16_t p_iKyusyu = 0;
};

constexpr const char* kUsage = "使い方: kov120 2|5|25（支給区分 2、5、または 25 で両方。処理メニューから起動します）";

} // namespace

int main(int argc, char** argv)
{
    SubKov120 sub;
    const std::string line = kov::ui::commandLineOf(argc, argv);
    kov::ui::answerStandardOptions(line, "kov120", kUsage);
    const auto kyusyu = kov::kov120::parseKov120Argument(line);
    if (!kyusyu) {
        kov::ui::printUsage(kUsage);
        return kov::kExitLaunchRule;
    }
    sub.p_iKyusyu = *kyusyu;

    return kov::ui::runProgram(argc, argv, "kov120", [&sub](kov::ui::QtRuntime& rt, kov::ui::FrmBack&) {
        kov::tessera::registerComponent(rt.appPath());
        // The program's context, the screen and its window live until the program ends
        // (through the end key or a fatal status, both of which end the process at once).
        auto* ctx = new kov::PrintContext(rt, "kov120", kov::overlayprint::makeEngineFactory(rt));
        auto* screen = new kov::blockreport::BlockReportScreen(*ctx, kov::kov120::kov120Screen(sub.p_iKyusyu));
        screen->setPrintRun(std::make_unique<kov::kov120::Kov120Run>(*ctx));
        auto* frmKov120 = new kov::blockreport::FrmBlockReport(*screen, rt);
        frmKov120->load();
        frmKov120->showScreen();
        screen->prsOpenSet();
    });
}
