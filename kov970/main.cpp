// basKov970's start routine: the background screen, the connection, the drive list, then
// the backup screen with the focus on the drive list.
#include "common/programcontext.h"
#include "common/ui/startup.h"
#include "kov970/drives.h"
#include "kov970/frmkov970.h"
#include "kov970/kov970screen.h"
#include "tessera/tessera.h"

int main(int argc, char** argv)
{
    return kov::ui::runProgram(argc, argv, "kov970", [](kov::ui::QtRuntime& rt, kov::ui::FrmBack&) {
        kov::tessera::registerComponent(rt.appPath());
        rt.doEvents();
        // Everything lives until the program ends (after a backup, by the end key or a
        // fatal status, each of which ends the process at once).
        auto* ctx = new kov::ProgramContext(rt, "kov970");
        auto* drives = kov::makeSystemDrives().release();
        auto* screen = new kov::kov970::Kov970Screen(*ctx, *drives);
        auto* frmKov970 = new kov::kov970::FrmKov970(*screen, rt);
        frmKov970->load();
        screen->start();
        frmKov970->showScreen();
    });
}
