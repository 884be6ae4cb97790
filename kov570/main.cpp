// The start routine of kov570. Any non-empty argument starts it (the background screen's
// load step applies that rule and "@"); then the background, the summary screen
// frmKov570, and its opening gnsStart.
#include "common/ui/startup.h"
#include "kov570/kov570screen.h"
#include "kov570/ui/frmkov570.h"
#include "overlayprint/overlayprintengine.h"
#include "print/printrun.h"
#include "tessera/tessera.h"

int main(int argc, char** argv)
{
    return kov::ui::runProgram(argc, argv, "kov570", [](kov::ui::QtRuntime& rt, kov::ui::FrmBack&) {
        kov::tessera::registerComponent(rt.appPath());
        // The program's context, the screen and its window live until the program ends
        // (through the end key or a fatal status, both of which end the process at once).
        auto* ctx = new kov::PrintContext(rt, "kov570", kov::overlayprint::makeEngineFactory(rt));
        auto* screen = new kov::kov570::Kov570Screen(*ctx);
        auto* frmKov570 = new kov::kov570::FrmKov570(*screen, rt);
        frmKov570->load();
        frmKov570->showScreen();
        screen->gnsStart();
    });
}
