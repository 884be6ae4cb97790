#include "blockreport/blockreportrun.h"

#include "common/dataaccess/status.h"
#include "common/runtimeerror.h"
#include "common/sqltext.h"
#include "common/text.h"
#include "print/numedit.h"

namespace kov::blockreport {

namespace {
constexpr std::int16_t kEndOfRows = dataaccess::kStatusEof;
}

BlockReportRun::BlockReportRun(PrintContext& ctx) : m_ctx(ctx) {}

BlockReportRun::~BlockReportRun() = default;

PrintedFile BlockReportRun::print(const RunInput& input)
{
    // The input and the writer are the run's: nothing of them outlives it.
    struct RunScope {
        BlockReportRun& run;
        ~RunScope()
        {
            run.m_input = nullptr;
            run.m_writer = nullptr;
        }
    } scope{*this};
    m_input = &input;
    // The run's lookups: the staff member of each record, the school of each subtotal.
    input.staff.declareLookup("SYOKCD", {"SIMKNJ"});
    input.schools.declareLookup("SYOZOK", {"SZKKNJ"});
    PrintJob job;
    job.jobName = jobName();
    job.overlayFile = overlayFile();
    job.pages = [this](SubPrt& writer) {
        m_writer = &writer;
        printPages();
    };
    return writePrintFile(m_ctx, job);
}

const RunInput& BlockReportRun::input() const
{
    if (!m_input) throwInvalidArgument("block report run: no run in progress");
    return *m_input;
}

SubPrt& BlockReportRun::writer() const
{
    if (!m_writer) throwInvalidArgument("block report run: no page in progress");
    return *m_writer;
}

void BlockReportRun::printPages()
{
    dataaccess::clsTbAccess& records = input().records;
    m_state.iPageCnt = 0;
    m_state.iLine = 25;
    m_state.iPage = 1;
    prsGokeiClr(EntryLevel::Staff, EntryLevel::Block);

    // The rows are read to their end: the row count of the open (capped at 32767) only
    // says that there are some.
    // A run-time error while a record is read or its staff line printed (an amount too
    // large, a text in a number column) names the record after the column.
    const auto onRecord = [this](auto&& step) -> decltype(auto) {
        try {
            return step();
        } catch (RuntimeError& e) {
            e.addContext(currentRecord());
            throw;
        }
    };
    std::int16_t status = records.DAO_RecRead(1);
    if (status >= 0) {
        onRecord([&] {
            m_state.iBlock = dataaccess::toInt16(records.TBRec("SYRFLG"), "SYRFLG");
            m_state.strSyozok = dataaccess::toText(records.TBRec("SYOZOK"));
        });
    }
    while (status >= 0) {
        const std::int16_t block = onRecord([&] {
            prfReadJinji();
            return dataaccess::toInt16(records.TBRec("SYRFLG"), "SYRFLG");
        });
        const std::string syozok = dataaccess::toText(records.TBRec("SYOZOK"));
        if (block != m_state.iBlock) {
            prsGokeiPrint(EntryLevel::Affiliation);
            prsGokeiPrint(EntryLevel::Block);
            m_state.iBlock = block;
            m_state.strSyozok = syozok;
        }
        if (syozok != m_state.strSyozok) {
            prsGokeiPrint(EntryLevel::Affiliation);
            m_state.strSyozok = syozok;
        }
        onRecord([&] { prsGokeiPrint(EntryLevel::Staff); });
        status = records.DAO_RecRead(2);
    }
    // The end of the rows ends the loop; any other failed read is a failure of the
    // database and must not pass for a complete report.
    if (status != kEndOfRows) m_ctx.check(status);

    prsGokeiPrint(EntryLevel::Affiliation);
    prsGokeiPrint(EntryLevel::Block);
}

std::int16_t BlockReportRun::prfReadJinji()
{
    const std::string code = dataaccess::toCurrency(input().records.TBRec("SYOKCD"), "SYOKCD").toString();
    const std::int16_t status = input().staff.DAO_RecFind(1, "SYOKCD = " + code);
    if (status == 0) return -1;
    m_ctx.check(status);
    return 0;
}

std::string BlockReportRun::currentRecord() const
{
    return "SKSYKEI の職員コード「" + dataaccess::toText(input().records.TBRec("SYOKCD")) + "」";
}

std::string BlockReportRun::prfReadSyozk()
{
    dataaccess::clsTbAccess& schools = input().schools;
    if (schools.DAO_RecFind(1, "SYOZOK = '" + sql::escapeLiteral(m_state.strSyozok) + "'") == 0)
        return dataaccess::toText(schools.TBRec("SZKKNJ"));
    return {};
}

void BlockReportRun::prtTEichi(Currency curSX, Currency curSY, std::int32_t iFon, Currency iPat, std::int16_t iSizeX,
                               std::int16_t iSizeY, const std::string& strText)
{
    writer().prtTE(curSX + Currency::fromInt(iXShift), curSY, iFon, iPat, iSizeX, iSizeY, strText);
}

void BlockReportRun::prtHLichi(Currency curSX, Currency curSY, Currency curLen, Currency iTic, Currency iPat,
                               Currency curRX, Currency curRY, Currency curRcX, Currency curRcY)
{
    writer().prtHL(curSX + Currency::fromInt(iXShift), curSY, curLen, iTic, iPat, curRX, curRY, curRcX, curRcY);
}

std::string BlockReportRun::pageLabel() const
{
    return text::padLeft(std::to_string(m_state.iBlock), 2) + " -" + text::padLeft(std::to_string(m_state.iPage), 3);
}

void BlockReportRun::setRows()
{
    const Currency line = Currency::fromInt(m_state.iLine) * 2;
    m_state.curY1 = line + Currency::fromTenths(65);
    m_state.curY2 = line + Currency::fromTenths(75);
}

void BlockReportRun::beginEntry()
{
    if (m_state.iLine > 24) prfHeadPrint();
    setRows();
}

std::string BlockReportRun::edit(Currency value, int width)
{
    return prfNumEdit(value, static_cast<std::int16_t>(width), 0, -1, -1, -1, -1);
}

void BlockReportRun::prfHeadPrint()
{
    startPage();
    finishPageHeading();
}

void BlockReportRun::prtText(Currency x, Currency y, std::int16_t sizeX, const std::string& text)
{
    prtTEichi(x, y, 3, Currency::fromInt(1), sizeX, 100, text);
}

void BlockReportRun::startPage()
{
    if (m_state.iPageCnt != 0) writer().prtPE();
    m_state.iPageCnt = addInt16(m_state.iPageCnt, 1);
}

void BlockReportRun::finishPageHeading()
{
    prtText(Currency::fromInt(180), Currency::fromTenths(45), 100, pageLabel());
    m_state.iLine = 1;
    m_state.iPage = addInt16(m_state.iPage, 1);
}

std::string BlockReportRun::jobKindName()
{
    const NameGroup jobKinds = m_ctx.cmnName().prsNameRead(1);
    const Currency syosyu = dataaccess::toCurrency(input().records.TBRec("SYOSYU"), "SYOSYU");
    if (syosyu >= Currency::fromInt(1) && syosyu <= Currency::fromInt(10) && syosyu.roundedTo(0) == syosyu)
        return jobKinds.names[static_cast<std::size_t>(syosyu.truncated())];
    return {};
}

std::string BlockReportRun::gradeText() const
{
    const dataaccess::clsTbAccess& records = input().records;
    return dataaccess::toText(records.TBRec("KGOKYU")) + "-" +
           prfNumEdit(dataaccess::toCurrency(records.TBRec("KGOGHO"), "KGOGHO"), 2, 0, -1, -1, 0, -1);
}

void BlockReportRun::advanceAfter(EntryLevel level)
{
    switch (level) {
    case EntryLevel::Staff:
        m_state.iLine = addInt16(m_state.iLine, 1);
        break;
    case EntryLevel::Affiliation:
        m_state.iLine = addInt16(m_state.iLine, 2);
        prsGokeiClr(EntryLevel::Affiliation, EntryLevel::Affiliation);
        break;
    case EntryLevel::Block:
        m_state.iLine = 25;
        m_state.iPage = 1;
        prsGokeiClr(EntryLevel::Block, EntryLevel::Block);
        break;
    }
}

} // namespace kov::blockreport
