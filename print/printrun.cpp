#include "print/printrun.h"

#include "common/runtimeerror.h"
#include "common/workfolder.h"

namespace kov {

PrintContext::PrintContext(RuntimeServices& rt, std::string programName, PrintEngineFactory factory)
    : ProgramContext(rt, std::move(programName)), engineFactory(std::move(factory))
{
    // The screen that waits for the run shows how far it is.
    subPrt.onPageEnd = [&rt](int pages) { rt.reportProgress(pages); };
}

std::string PrintContext::printFolder() const { return workFolder(programName()); }

std::int32_t runPrintJob(PrintContext& ctx, const PrintJob& job)
{
    // A name-setting failure is shown once in this run, not for every line that reads it.
    ctx.cmnName.beginMessageWindow();
    SubPrt& prt = ctx.subPrt;
    const std::string folder = ctx.printFolder();
    prt.p_strPrtPath = folder;
    if (job.prepare) job.prepare();
    prt.prtST(11, 1);
    prt.prtCR(Currency::fromInt(15), Currency::fromInt(6));
    if (job.pages) job.pages(prt);
    prt.prtED();
    if (job.afterEnd) job.afterEnd();

    std::unique_ptr<PrintEngine> engine = ctx.engineFactory ? ctx.engineFactory() : nullptr;
    if (!engine) throw RuntimeError(RuntimeErrorKind::ObjectCreation, "OverlayPrintEngine");
    engine->setPrintFIlePath(folder);
    return engine->PrtFile(job.jobName, job.caption, job.overlayFile);
}

} // namespace kov
