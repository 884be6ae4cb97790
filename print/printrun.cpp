#include "print/printrun.h"

#include "common/runtimeerror.h"
#include "common/workfolder.h"

namespace kov {

PrintContext::PrintContext(RuntimeServices& rt, std::string programName, PrintEngineFactory factory)
    : ProgramContext(rt, std::move(programName)), m_engineFactory(std::move(factory))
{
}

std::string PrintContext::printFolder() const { return workFolder(programName()); }

std::unique_ptr<PrintEngine> PrintContext::newEngine() const { return m_engineFactory ? m_engineFactory() : nullptr; }

PrintedFile writePrintFile(PrintContext& ctx, const PrintJob& job)
{
    // A name-setting failure is shown once in this run, not for every line that reads it.
    ctx.cmnName().beginMessageWindow();
    // The screen that waits for the run shows how far it is.
    RuntimeServices& rt = ctx.runtime();
    SubPrt prt([&rt](int pages) { rt.reportProgress(ProgressPhase::PagesWritten, pages); });
    const std::string folder = ctx.printFolder();
    prt.p_strPrtPath = folder;
    if (job.prepare) job.prepare();
    prt.prtST(11, 1);
    prt.prtCR(Currency::fromInt(15), Currency::fromInt(6));
    if (job.pages) job.pages(prt);
    prt.prtED();
    return {folder, job.jobName, job.overlayFile};
}

std::int32_t handOver(PrintContext& ctx, const PrintedFile& file)
{
    std::unique_ptr<PrintEngine> engine = ctx.newEngine();
    if (!engine) throw RuntimeError(RuntimeErrorKind::ObjectCreation, "OverlayPrintEngine");
    engine->setPrintFIlePath(file.folder);
    return engine->PrtFile(file.jobName, ctx.screenCaption(), file.overlayFile);
}

std::int32_t runPrintJob(PrintContext& ctx, const PrintJob& job)
{
    const PrintedFile file = writePrintFile(ctx, job);
    if (job.afterEnd) job.afterEnd();
    return handOver(ctx, file);
}

} // namespace kov
