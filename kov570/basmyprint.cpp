#include "kov570/basmyprint.h"

#include "common/text.h"
#include "print/era.h"
#include "print/numedit.h"

namespace kov::kov570 {

namespace {

constexpr std::int16_t kLeftMargin = 8;
constexpr std::int16_t kTopMargin = 5;

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

std::string prfSumEdit(Currency value, std::int16_t width) { return prfNumEdit(value, width, 0, -1, -1, -1, -1); }

// The pages of one run on its command file: the current column and line, and the width
// reserved by the field placed last on the line.
class SumPages {
public:
    SumPages(SubPrt& prt, BasCmnName& names, const SumTable& table, const ZaimuLabels& labels)
        : m_prt(prt), m_names(names), m_table(table), m_labels(labels)
    {
    }

    void prsNewPage()
    {
        m_prt.prtPE();
        m_printX = Currency::fromInt(kLeftMargin);
        m_printY = Currency::fromInt(kTopMargin);
    }

    void prsSumHead(int finance, int school)
    {
        prsNextLine(0);
        const Currency yearEnd = Currency::fromInt(static_cast<std::int64_t>(m_table.fiscalYear()) * 10000 + 1231);
        const std::string year = prfChgDate(m_names, yearEnd, "JY", "DSP", "NB");
        prfNextCol(15, 10);
        printText(m_printY, year);
        prfNextCol(20, 0);
        printText(m_printY, m_labels[static_cast<std::size_t>(finance)]);
        prfNextCol(40, 25);
        printText(m_printY, std::string(kSchoolTexts[static_cast<std::size_t>(school)]) + "給与費支出額集計表    ",
                  200);
        prsNextLine(6);
    }

    void prsSumLine(int finance, int school, int month)
    {
        const Currency upper = m_printY - Currency::fromInt(1);
        for (const Field& field : kFields) {
            prfNextCol(field.width, field.gap);
            const Currency value = m_table.at(finance, school, month, field.item);
            printText(field.upper ? upper : m_printY,
                      field.editWidth == 0 ? text::padLeft(value.toString(), 4) : prfSumEdit(value, field.editWidth));
        }
        if (month == SumTable::kMonthSlots) {
            prsNextLine(1);
            prfNextCol(0, 115);
            const Currency sum = m_table.at(finance, school, month, 13) + m_table.at(finance, school, month, 14);
            printText(m_printY, prfSumEdit(sum, 10));
        }
        prsNextLine(2);
    }

private:
    // The next field's column: after the width reserved for the last one and the gap.
    std::int16_t prfNextCol(std::int16_t width, std::int16_t gap)
    {
        m_printX = m_printX + Currency::fromInt(m_lastWidth) + Currency::fromInt(gap);
        m_lastWidth = width;
        return toInt16(m_printX);
    }

    void prsNextLine(std::int16_t dy)
    {
        m_printX = Currency::fromInt(kLeftMargin);
        m_printY = m_printY + Currency::fromInt(dy);
        m_lastWidth = 0;
    }

    // A text at the current column on line y.
    void printText(Currency y, const std::string& content, std::int16_t sizeX = 100)
    {
        m_prt.prtTE(m_printX, y, 3, Currency::fromInt(1), sizeX, 100, content);
    }

    SubPrt& m_prt;
    BasCmnName& m_names;
    const SumTable& m_table;
    const ZaimuLabels& m_labels;
    Currency m_printX = Currency::fromInt(kLeftMargin);
    Currency m_printY = Currency::fromInt(kTopMargin);
    std::int16_t m_lastWidth = 0;
};

} // namespace

void prsSumPrint(PrintContext& ctx, const SumTable& table, const SumSelection& selection, const ZaimuLabels& labels)
{
    PrintJob job;
    job.jobName = "Kov570";
    job.overlayFile = "Kov570p.OVL";
    job.pages = [&](SubPrt& prt) {
        SumPages pages(prt, ctx.cmnName(), table, labels);
        for (int finance = 0; finance < SumTable::kFinanceSlots; ++finance) {
            if (!selection.finance(finance)) continue;
            for (int school = 1; school <= SumTable::kSchoolSlots; ++school) {
                if (!selection.school(school)) continue;
                pages.prsNewPage();
                pages.prsSumHead(finance, school);
                for (int month = 1; month <= SumTable::kMonthSlots; ++month) pages.prsSumLine(finance, school, month);
            }
        }
    };
    job.afterEnd = [&ctx] { ctx.endReads(); };
    runPrintJob(ctx, job);
}

} // namespace kov::kov570
