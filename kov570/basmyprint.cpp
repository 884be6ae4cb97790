#include "kov570/basmyprint.h"

#include "print/era.h"
#include "print/numedit.h"
#include "common/text.h"

namespace kov::kov570 {

namespace {

// One field of a month row: the item, its width and gap for prfNextCol, its edit width
// (0 = item 1, written right-aligned in four characters) and whether it sits one line up.
struct Field {
    int item;
    std::int16_t width, gap, editWidth;
    bool upper;
};

constexpr std::array<Field, 21> kFields = {{
    {1, 4, 0, 0, false},    {2, 11, 1, 11, false},  {3, 10, 0, 10, false},  {4, 11, 0, 11, false},
    {5, 12, 1, 12, false},  {6, 11, 0, 11, false},  {7, 11, 0, 11, false},  {8, 11, 0, 11, false},
    {9, 11, 0, 11, false},  {10, 0, 0, 10, true},   {11, 10, 0, 10, false}, {12, 0, 0, 11, true},
    {15, 11, 0, 11, false}, {13, 0, 0, 10, true},   {14, 10, 0, 10, false}, {16, 7, 1, 7, false},
    {17, 11, 0, 11, false}, {18, 11, 1, 11, false}, {19, 11, 1, 11, false}, {20, 13, 0, 13, false},
    {21, 15, 0, 15, false},
}};

constexpr std::array<const char*, 4> kSchoolTexts = {"", "小学校", "中学校", "全　体"};

} // namespace

void BasMyPrint::prsSetSelect(const std::array<std::int16_t, 9>& zaimu, const std::array<std::int16_t, 4>& gakkou)
{
    ZaimuSelect = zaimu;
    GakkouSelect = gakkou;
}

std::int32_t BasMyPrint::prsSumPrint()
{
    PrintJob job;
    job.jobName = "Kov570";
    job.caption = kCaption;
    job.overlayFile = "Kov570p.OVL";
    job.prepare = [this] {
        PrintX = Currency::fromInt(kLeftMargin);
        PrintY = Currency::fromInt(kTopMargin);
        PrintLastWidth = 0;
        m_data.prsSumLoad();
    };
    // The summary and the names of the run from one state of the data, up to the hand-over.
    const ProgramContext::Reads reads(m_ctx);
    job.afterEnd = [this] { m_ctx.endReads(); };
    job.pages = [this](SubPrt& writer) {
        m_writer = &writer;
        for (int f = 0; f <= 8; ++f) {
            if (!ZaimuSelect[static_cast<std::size_t>(f)]) continue;
            for (int s = 1; s <= 3; ++s) {
                if (!GakkouSelect[static_cast<std::size_t>(s)]) continue;
                prsNewPage();
                prsSumHead(f, s);
                for (int m = 1; m <= 14; ++m) prsSumLine(f, s, m);
            }
        }
    };
    return runPrintJob(m_ctx, job);
}

std::int16_t BasMyPrint::prfNextCol(std::int16_t width, std::int16_t gap)
{
    PrintX = PrintX + Currency::fromInt(PrintLastWidth) + Currency::fromInt(gap);
    PrintLastWidth = width;
    return toInt16(PrintX);
}

void BasMyPrint::prsNextLine(std::int16_t dy)
{
    PrintX = Currency::fromInt(kLeftMargin);
    PrintY = PrintY + Currency::fromInt(dy);
    PrintLastWidth = 0;
}

void BasMyPrint::prsNewPage()
{
    m_writer->prtPE();
    PrintX = Currency::fromInt(kLeftMargin);
    PrintY = Currency::fromInt(kTopMargin);
}

void BasMyPrint::text(Currency y, const std::string& s, std::int16_t sizeX)
{
    m_writer->prtTE(PrintX, y, 3, Currency::fromInt(1), sizeX, 100, s);
}

void BasMyPrint::prsSumHead(int f, int s)
{
    prsNextLine(0);
    const Currency yearEnd = Currency::fromInt(static_cast<std::int64_t>(m_data.NENDO) * 10000 + 1231);
    const std::string year = prfChgDate(m_ctx.cmnName(), yearEnd, "JY", "DSP", "NB");
    prfNextCol(15, 10);
    text(PrintY, year);
    prfNextCol(20, 0);
    text(PrintY, m_data.ZaimuLabel[static_cast<std::size_t>(f)]);
    prfNextCol(40, 25);
    text(PrintY, std::string(kSchoolTexts[static_cast<std::size_t>(s)]) + "給与費支出額集計表    ", 200);
    prsNextLine(6);
}

void BasMyPrint::prsSumLine(int f, int s, int m)
{
    const SumTable& t = m_data.sumTable;
    const Currency up = PrintY - Currency::fromInt(1);
    for (const Field& fd : kFields) {
        prfNextCol(fd.width, fd.gap);
        const Currency v = t.at(f, s, m, fd.item);
        text(fd.upper ? up : PrintY, fd.editWidth == 0 ? text::padLeft(v.toString(), 4) : prfSumEdit(v, fd.editWidth));
    }
    if (m == SumTable::kMonthSlots) {
        prsNextLine(1);
        prfNextCol(0, 115);
        text(PrintY, prfSumEdit(t.at(f, s, m, 13) + t.at(f, s, m, 14), 10));
    }
    prsNextLine(2);
}

std::string BasMyPrint::prfSumEdit(Currency value, std::int16_t width)
{
    return prfNumEdit(value, width, 0, -1, -1, -1, -1);
}

} // namespace kov::kov570
