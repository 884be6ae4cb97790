// subKov140: the start routine of kov140. Any non-empty argument starts it (the
// background screen's load step applies that rule and "@"); then the background, the
// differential breakdown screen frmKov140, and its opening.
#include "blockreport/blockreportscreen.h"
#include "blockreport/ui/frmblockreport.h"
#include "common/ui/startup.h"
#include "kov140/kov140run.h"
#include "kov140/kov140screen.h"
#include "overlayprint/overlayprintengine.h"
#include "tessera/tessera.h"

#include <memory>

namespace {

void subKov140(kov::ui::QtRuntime& rt)
{
    kov::tessera::registerComponent(rt.appPath());
    // The program's context, the screen and its window live until the program ends
    // (through the end key or a fatal status, both of which end the process at once).
    auto* ctx = new kov::PrintContext(rt, "kov140", kov::overlayprint::makeEngineFactory(rt));
    auto* screen = new kov::blockreport::BlockReportScreen(*ctx, kov::kov140::kov140Screen());
    screen->setPrintRun(std::make_unique<kov::kov140::Kov140Run>(*ctx));
    auto* frmKov140 = new kov::blockreport::FrmBlockReport(*screen, rt);
    frmKov140->load();
    frmKov140->showScreen();
    screen->prsOpenSet();
}

} // namespace

int main(int argc, char** argv)
{
    return kov::ui::runProgram(argc, argv, "kov140", [](kov::ui::QtRuntime& rt, kov::ui::FrmBack&) { subKov140(rt); });
}
