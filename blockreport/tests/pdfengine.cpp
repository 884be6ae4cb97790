// The real print engine for the block report tests, with its calls noted. A file of its
// own, so that tests which never print to PDF do not take the engine in.
#include "blockreport/tests/blockreport_testsupport.h"
#include "overlayprint/overlayprintengine.h"

namespace kov::blockreport::test {

namespace {

class NotedEngine : public PrintEngine {
public:
    NotedEngine(const ProgramContext& ctx, std::vector<EngineCall>& calls)
        : m_engine(std::make_unique<overlayprint::OverlayPrintEngine>(ctx.runtime())), m_ctx(ctx), m_calls(calls)
    {
    }
    void setPrintFIlePath(const std::string& folder) override { m_engine->setPrintFIlePath(folder); }
    std::string PrintFIlePath() const override { return m_engine->PrintFIlePath(); }
    std::int32_t PrtFile(const std::string& job, const std::string& caption, const std::string& overlay) override
    {
        EngineCall call;
        call.folder = PrintFIlePath();
        call.jobName = job;
        call.caption = caption;
        call.overlay = overlay;
        call.duringReads = m_ctx.inReads();
        call.result = m_engine->PrtFile(job, caption, overlay);
        call.pdf = m_engine->lastOutputPath();
        m_calls.push_back(call);
        return call.result;
    }

private:
    std::unique_ptr<overlayprint::OverlayPrintEngine> m_engine;
    const ProgramContext& m_ctx;
    std::vector<EngineCall>& m_calls;
};

} // namespace

PrintEngineFactory BlockReportEnv::pdfEngine()
{
    fx.writeSettings("OVLPRINT.INI", "[Print]\r\nOutput=pdf\r\nPdfFolder=" + fx.path("pdf") +
                                         "\r\nOverlayFolder=" + std::string(KOV_BIN_DIR) + "\r\n");
    return [this] { return std::make_unique<NotedEngine>(ctx, engineCalls); };
}

} // namespace kov::blockreport::test
