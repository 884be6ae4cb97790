#pragma once
// The data of kov570: the connection, the fiscal year NENDO read from the management
// master, the grouped summary query over SKSUMI, and SumTable, the summed amounts by
// finance slot, school slot, month slot and printed item, with its three total slots.
#include "common/currency.h"
#include "common/dataaccess/dataaccess.h"
#include "print/printrun.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace kov::kov570 {

// Finance slots 0 to 8 (slot 0 = finance-office code 9, slot 8 = all), school slots 1 to 3
// (3 = all), month slots 1 to 14 (14 = the year's total), items 1 to 21. A cell outside
// these ranges is an invalid argument.
class SumTable {
public:
    static constexpr int kFinanceSlots = 9;
    static constexpr int kSchoolSlots = 3;
    static constexpr int kMonthSlots = 14;
    static constexpr int kItems = 21;

    Currency& at(int finance, int school, int month, int item);
    Currency at(int finance, int school, int month, int item) const;
    void clear() { m_cells.fill(Currency()); }

private:
    static std::size_t index(int finance, int school, int month, int item);
    std::array<Currency, kFinanceSlots * kSchoolSlots * kMonthSlots * kItems> m_cells{};
};

// The screen's caption; the title of the data messages.
inline constexpr const char* kCaption = "給与費支出額集計表印刷";

// The slots of one query row, or none when the row has no slot (a school type other than
// 4 or 5, a finance-office code outside 1 to 9, a month outside the slots 1 to 14).
struct RowSlots {
    int finance = 0, school = 0, month = 0;
};
bool slotsOfRow(std::int64_t zaimu, std::int64_t syochu, const std::string& sharym, std::int16_t nendo,
                RowSlots& out);

class BasKov570 {
public:
    explicit BasKov570(PrintContext& ctx) : m_ctx(ctx) {}

    // The select list of the summary query (971 characters).
    static std::string fieldList();
    // "NENDO = " and the fiscal year.
    static std::string condition(std::int16_t nendo);
    static constexpr const char* kGrouping = "ZAIMU,SYOCHU,SHARYM";

    // Finance-office labels, indexes 0 to 8 (0 = code 9, 8 = "全　体"), set by the screen.
    std::array<std::string, 9> ZaimuLabel;

    std::int16_t NENDO = 0;
    bool SumLoaded = false;
    SumTable sumTable;
    std::unique_ptr<dataaccess::clsTbAccess> SKSUMI;  // the open summary query

    void prsOpenDb();
    void prsReadNendo();
    void prsOpenSumi();
    void prsCloseSumi();
    void prsCloseDb();

    // Stops with a run-time error (type mismatch naming the value, the column and the row)
    // when a summed column of the fiscal year's rows holds a text.
    void prsCheckAmounts();
    // Builds sumTable from the open query on the first call; later calls do nothing.
    void prsSumLoad();
    // Stores the current query row into the cells (f, s, m, 1..21).
    void prsSumStore(int finance, int school, int month);

private:
    void fillTotals();
    [[noreturn]] void endWithWarning(const std::string& text);
    PrintContext& m_ctx;
};

} // namespace kov::kov570
