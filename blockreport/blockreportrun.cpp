#include "blockreport/blockreportrun.h"

#include "blockreport/blockreportscreen.h"
#include "common/dataaccess/status.h"
#include "common/runtimeerror.h"
#include "common/sqltext.h"
#include "common/text.h"
#include "print/numedit.h"

namespace kov::blockreport {

namespace {
constexpr std::int16_t kEndOfRows = dataaccess::kStatusEof;
}

BlockReportRun::BlockReportRun(BlockReportScreen& screen) : m_screen(screen), m_ctx(screen.context()) {}

BlockReportRun::~BlockReportRun() = default;

void BlockReportRun::run()
{
    PrintJob job;
    job.jobName = jobName();
    job.caption = m_screen.description().caption;
    job.overlayFile = overlayFile();
    job.pages = [this](SubPrt&) { printPages(); };
    job.afterEnd = [this] {
        m_ctx.closeChecked(*m_screen.SKSYKEI);
        m_screen.SKSYKEI.reset();
        m_ctx.endReads();
    };
    runPrintJob(m_ctx, job);
}

void BlockReportRun::printPages()
{
    dataaccess::clsTbAccess& sk = *m_screen.SKSYKEI;
    st.iPageCnt = 0;
    st.iLine = 25;
    st.iPage = 1;
    prsGokeiClr(0, 2);

    // The rows are read to their end: the row count of the open (capped at 32767) only
    // says that there are some.
    // A run-time error while a record is read or its staff line printed (an amount too
    // large, a text in a number column) names the record after the column.
    const auto onRecord = [this](auto&& f) -> decltype(auto) {
        try {
            return f();
        } catch (RuntimeError& e) {
            e.addContext(currentRecord());
            throw;
        }
    };
    std::int16_t status = sk.DAO_RecRead(1);
    if (status >= 0) {
        onRecord([&] {
            st.iBlock = dataaccess::toInt16(sk.TBRec("SYRFLG"), "SYRFLG");
            st.strSyozok = dataaccess::toText(sk.TBRec("SYOZOK"));
        });
    }
    while (status >= 0) {
        const std::int16_t block = onRecord([&] {
            prfReadJinji();
            return dataaccess::toInt16(sk.TBRec("SYRFLG"), "SYRFLG");
        });
        const std::string syozok = dataaccess::toText(sk.TBRec("SYOZOK"));
        if (block != st.iBlock) {
            prsGokeiPrint(kAffiliation);
            prsGokeiPrint(kBlock);
            st.iBlock = block;
            st.strSyozok = syozok;
        }
        if (syozok != st.strSyozok) {
            prsGokeiPrint(kAffiliation);
            st.strSyozok = syozok;
        }
        onRecord([&] { prsGokeiPrint(kStaff); });
        status = sk.DAO_RecRead(2);
    }
    // The end of the rows ends the loop; any other failed read is a failure of the
    // database and must not pass for a complete report.
    if (status != kEndOfRows) m_ctx.check(status);

    prsGokeiPrint(kAffiliation);
    prsGokeiPrint(kBlock);
}

std::int16_t BlockReportRun::prfReadJinji()
{
    const std::string code = dataaccess::toCurrency(m_screen.SKSYKEI->TBRec("SYOKCD"), "SYOKCD").toString();
    const std::int16_t r = m_screen.SKSYOKU->DAO_RecFind(1, "SYOKCD = " + code);
    if (r == 0) return -1;
    m_ctx.check(r);
    return 0;
}

std::string BlockReportRun::currentRecord() const
{
    return "SKSYKEI の職員コード「" + dataaccess::toText(m_screen.SKSYKEI->TBRec("SYOKCD")) + "」";
}

std::string BlockReportRun::prfReadSyozk()
{
    if (m_screen.SKSYOZK->DAO_RecFind(1, "SYOZOK = '" + sql::escapeLiteral(st.strSyozok) + "'") == 0)
        return dataaccess::toText(m_screen.SKSYOZK->TBRec("SZKKNJ"));
    return {};
}

void BlockReportRun::prtTEichi(Currency curSX, Currency curSY, std::int32_t iFon, Currency iPat, std::int16_t iSizeX,
                               std::int16_t iSizeY, const std::string& strText)
{
    m_ctx.subPrt.prtTE(curSX + Currency::fromInt(iXShift), curSY, iFon, iPat, iSizeX, iSizeY, strText);
}

void BlockReportRun::prtHLichi(Currency curSX, Currency curSY, Currency curLen, Currency iTic, Currency iPat,
                               Currency curRX, Currency curRY, Currency curRcX, Currency curRcY)
{
    m_ctx.subPrt.prtHL(curSX + Currency::fromInt(iXShift), curSY, curLen, iTic, iPat, curRX, curRY, curRcX, curRcY);
}

std::string BlockReportRun::pageLabel() const
{
    return text::padLeft(std::to_string(st.iBlock), 2) + " -" + text::padLeft(std::to_string(st.iPage), 3);
}

void BlockReportRun::setRows()
{
    const Currency line = Currency::fromInt(st.iLine) * 2;
    st.curY1 = line + Currency::fromTenths(65);
    st.curY2 = line + Currency::fromTenths(75);
}

void BlockReportRun::prtText(Currency x, Currency y, std::int16_t sizeX, const std::string& text)
{
    prtTEichi(x, y, 3, Currency::fromInt(1), sizeX, 100, text);
}

void BlockReportRun::startPage()
{
    if (st.iPageCnt != 0) m_ctx.subPrt.prtPE();
    st.iPageCnt = addInt16(st.iPageCnt, 1);
}

void BlockReportRun::finishPageHeading()
{
    prtText(Currency::fromInt(180), Currency::fromTenths(45), 100, pageLabel());
    st.iLine = 1;
    st.iPage = addInt16(st.iPage, 1);
}

std::string BlockReportRun::jobKindName()
{
    m_ctx.cmnName.prsNameRead(1);
    const Currency syosyu = dataaccess::toCurrency(m_screen.SKSYKEI->TBRec("SYOSYU"), "SYOSYU");
    if (syosyu >= Currency::fromInt(1) && syosyu <= Currency::fromInt(10) && syosyu.roundedTo(0) == syosyu)
        return m_ctx.cmnName.p_strName[static_cast<std::size_t>(syosyu.truncated())];
    return {};
}

std::string BlockReportRun::gradeText() const
{
    const dataaccess::clsTbAccess& sk = *m_screen.SKSYKEI;
    return dataaccess::toText(sk.TBRec("KGOKYU")) + "-" +
           prfNumEdit(dataaccess::toCurrency(sk.TBRec("KGOGHO"), "KGOGHO"), 2, 0, -1, -1, 0, -1);
}

void BlockReportRun::advanceAfter(std::int16_t inji)
{
    switch (inji) {
    case kStaff:
        st.iLine = addInt16(st.iLine, 1);
        break;
    case kAffiliation:
        st.iLine = addInt16(st.iLine, 2);
        prsGokeiClr(1, 1);
        break;
    default:
        st.iLine = 25;
        st.iPage = 1;
        prsGokeiClr(2, 2);
        break;
    }
}

} // namespace kov::blockreport
