#pragma once
// The print run of a block report after its records are selected: the pages of the
// shared print run (writePrintFile) are the reading loop with breaks on block (SYRFLG)
// then affiliation (SYOZOK) and the closing subtotal and block total. The run is given
// everything it reads (RunInput) and knows no screen; each program fills in its entries,
// totals, job name and overlay through the virtual hooks.
#include "blockreport/leveltotals.h"
#include "common/currency.h"
#include "common/dataaccess/dataaccess.h"
#include "print/printrun.h"

#include <cstdint>
#include <string>

namespace kov::blockreport {

// The staff group of a selection: optGetugaku (monthly-paid) or optNichigaku (daily-paid).
enum class StaffGroup { Monthly, Daily };

// What the screen gives a print run. The tables are the screen's and stay open after the
// run: their owner closes them.
struct RunInput {
    dataaccess::clsTbAccess& records; // SKSYKEI, open on the selected records (at least one) in print order
    dataaccess::clsTbAccess& staff; // SKSYOKU, found on the staff member of each record
    dataaccess::clsTbAccess& schools; // SKSYOZK, found on the affiliation of each subtotal
    StaffGroup group;
    Currency processingMonth; // SYORID of the management record, YYYYMM
};

class BlockReportRun {
public:
    explicit BlockReportRun(PrintContext& ctx);
    virtual ~BlockReportRun();

    // Writes the report of input.records, read to the end of its rows, into the command
    // file from "ST " to "ED " and returns the file for the hand-over (kov::handOver),
    // which the caller makes once it has closed the records and ended its reads.
    PrintedFile print(const RunInput& input);

    // Added to every x by prtTEichi and prtHLichi.
    static constexpr int iXShift = -2; // NOLINT(readability-identifier-naming): the design's name

protected:
    // One entry of the level, starting a new page first when needed.
    virtual void prsGokeiPrint(EntryLevel level) = 0;
    // Clears the accumulator levels from `first` to `last`.
    virtual void prsGokeiClr(EntryLevel first, EntryLevel last) = 0;
    virtual std::string jobName() const = 0;
    virtual std::string overlayFile() const = 0;
    // Starts a new page and prints its heading; the programs print theirs between
    // startPage and finishPageHeading. By default the page label alone.
    virtual void prfHeadPrint();

    // The input of the run in progress (a run-time error outside a run).
    const RunInput& input() const;
    ReportState& state() { return m_state; }
    const ReportState& state() const { return m_state; }
    PrintContext& context() const { return m_ctx; }

    // Positions the staff master on the staff member of the current payment record; a
    // find that fails goes to the status check. −1 when found.
    std::int16_t prfReadJinji();
    // The current payment record as a run-time error names it:
    // "SKSYKEI の職員コード「1002」".
    std::string currentRecord() const;
    // Name SZKKNJ of the affiliation state().strSyozok; empty when the master lacks it.
    std::string prfReadSyozk();
    // Text and line commands with the column shift applied to x.
    void prtTEichi(Currency curSX, Currency curSY, std::int32_t iFon, Currency iPat, std::int16_t iSizeX,
                   std::int16_t iSizeY, const std::string& strText);
    void prtHLichi(Currency curSX, Currency curSY, Currency curLen, Currency iTic, Currency iPat, Currency curRX,
                   Currency curRY, Currency curRcX, Currency curRcY);
    // The page label: the block right-aligned in two characters, " -", the page in three.
    std::string pageLabel() const;
    // Rows of the entry at the current iLine: curY1 = 2 × iLine + 6.5, curY2 = + 7.5.
    void setRows();
    // The start of every entry: a full page (iLine above 24) is followed by a new page
    // (prfHeadPrint), then the rows of the entry are set.
    void beginEntry();
    // A whole number as a print coordinate.
    static Currency num(int value) { return Currency::fromInt(value); }
    // An amount field: value edited in `width` characters without decimals, with sign,
    // grouping, zero suppression and the edited zero (prfNumEdit, all four options on).
    static std::string edit(Currency value, int width);

    // Text in the font of the block reports (3, pattern 1), sizeX wide and 100 high.
    void prtText(Currency x, Currency y, std::int16_t sizeX, const std::string& text);
    // The start of a new page: the page before, if any, is ended (PE) and the page counted.
    void startPage();
    // The end of a page's heading: the page label at the top right; the entries of the
    // page begin on its first line.
    void finishPageHeading();
    // The left-hand text of a block total.
    static constexpr const char* kBlockTotalText = "※ブロック合計※";
    // The name of the job kind SYOSYU of the current payment record, from the name
    // settings (read again here); empty for a job kind without a name slot (outside 1 to 10).
    std::string jobKindName();
    // The grade of the current payment record: KGOKYU, "-" and KGOGHO in two digits.
    std::string gradeText() const;
    // Moves on after an entry of the level: a staff line takes one line; a subtotal takes
    // two and clears the affiliation level; a block total fills the page, so that the next
    // block begins on a new page numbered 1, and clears the block level. The staff level
    // is left to each program.
    void advanceAfter(EntryLevel level);

private:
    // The pages: the reading loop with its breaks and the closing totals.
    void printPages();
    SubPrt& writer() const;

    PrintContext& m_ctx;
    ReportState m_state;
    // Of the run in progress only.
    const RunInput* m_input = nullptr;
    SubPrt* m_writer = nullptr;
};

} // namespace kov::blockreport
