#pragma once
// The data of kov570: the connection, the fiscal year NENDO read from the management
// master, the grouped summary query over SKSUMI, and SumTable, the summed amounts by
// finance slot, school slot, month slot and printed item, with its three total slots.
#include "common/currency.h"
#include "common/dataaccess/dataaccess.h"
#include "common/programcontext.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace kov::kov570 {

// The summed amounts of one fiscal year. Finance slots 0 to 8 (slot 0 = finance-office
// code 9, slot 8 = all), school slots 1 to 3 (3 = all), month slots 1 to 14 (14 = the
// year's total), items 1 to 21; every cell is 0 until stored. A cell outside these
// ranges is an invalid argument.
class SumTable {
public:
    static constexpr int kFinanceSlots = 9;
    static constexpr int kSchoolSlots = 3;
    static constexpr int kMonthSlots = 14;
    static constexpr int kItems = 21;

    explicit SumTable(std::int16_t fiscalYear) : m_fiscalYear(fiscalYear) {}

    std::int16_t fiscalYear() const { return m_fiscalYear; }
    Currency& at(int finance, int school, int month, int item);
    Currency at(int finance, int school, int month, int item) const;

private:
    static std::size_t index(int finance, int school, int month, int item);
    std::int16_t m_fiscalYear;
    std::array<Currency, kFinanceSlots * kSchoolSlots * kMonthSlots * kItems> m_cells{};
};

// The screen's caption; the title of the data messages.
inline constexpr const char* kCaption = "給与費支出額集計表印刷";

// The opening and the end of kov570's data on the program's connection, and the load of
// the summary table. A failing status ends the program through the status check.
class BasKov570 {
public:
    explicit BasKov570(ProgramContext& ctx) : m_ctx(ctx) {}

    // The select list of the summary query (971 characters).
    static std::string fieldList();
    // "NENDO = " and the fiscal year.
    static std::string condition(std::int16_t nendo);
    static constexpr const char* kGrouping = "ZAIMU,SYOCHU,SHARYM";

    // Creates the connection and opens it on "KOV.INI".
    void prsOpenDb();
    // NENDO of the management record; without the record the program ends with a warning.
    std::int16_t readFiscalYear();
    // The summary query of the fiscal year, open; without a row the program ends with a
    // warning.
    std::unique_ptr<dataaccess::clsTbAccess> openSumQuery(std::int16_t fiscalYear);
    // Closes the open summary query and releases it.
    void closeSumQuery(std::unique_ptr<dataaccess::clsTbAccess> sumQuery);
    // Closes the connection and releases it.
    void prsCloseDb();

    // The summary table of the fiscal year from its open summary query, which it reads
    // once and closes. A text in a summed column of the fiscal year's rows stops it first
    // with a run-time error (type mismatch naming the value, the column and the row).
    SumTable loadSumTable(std::int16_t fiscalYear, std::unique_ptr<dataaccess::clsTbAccess> sumQuery);

private:
    [[noreturn]] void endWithWarning(const std::string& text);
    ProgramContext& m_ctx;
};

} // namespace kov::kov570
