#include "kov570/baskov570.h"

#include "common/dataaccess/status.h"
#include "common/runtimeerror.h"
#include "common/text.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace kov::kov570 {

using dataaccess::clsTbAccess;
using dataaccess::DbValue;

namespace {

// The amount columns in the order of the select list (the count NINZU follows them).
constexpr std::array<const char*, 21> kAmountColumns = {
    "KYUYO",  "KTYOGK", "STYOGK", "CHIIKI", "KTOKUB", "FUYOTE", "JYUKYO", "TUKINH", "TUKINK", "HEKICI", "HEKJUN",
    "SYUKUH", "SYUKUK", "TANSIN", "TOKGYO", "ZANGYO", "JIDOU",  "KIMATU", "KINBEN", "KYUJIT", "TAGAKU"};

// Result columns of the printed items 1 to 21 (index 0 unused); two names are added.
struct ItemColumns {
    const char* first;
    const char* second;
};
constexpr std::array<ItemColumns, 22> kItemColumns = {{
    {nullptr, nullptr},    {"GNINZU", nullptr},    {"GKYUYO", nullptr},    {"GKTYOGK", nullptr},   {"GSTYOGK", nullptr},
    {"GTOTAL02", nullptr}, {"GCHIIKI", nullptr},   {"GKTOKUB", nullptr},   {"GTUKINH", "GTUKINK"}, {"GJYUKYO", nullptr},
    {"GFUYOTE", nullptr},  {"GTANSIN", nullptr},   {"GSYUKUH", "GSYUKUK"}, {"GHEKICI", nullptr},   {"GHEKJUN", nullptr},
    {"GTOKGYO", nullptr},  {"GJIDOU", "GTAGAKU"},  {"GKYUJIT", "GZANGYO"}, {"GKIMATU", nullptr},   {"GKINBEN", nullptr},
    {"GTOTAL03", nullptr}, {"GTOTALSUM", nullptr},
}};

std::string sumOf(std::size_t from, std::size_t to, const char* alias)
{
    std::string sum = "SUM(";
    for (std::size_t i = from; i < to; ++i) {
        if (i > from) sum += " + ";
        sum += kAmountColumns[i];
    }
    return sum + ") AS " + alias;
}

// A whole number of a value, or nothing when it is not one.
bool wholeNumber(const DbValue& value, std::int64_t& out)
{
    Currency number;
    if (const auto* digits = std::get_if<std::string>(&value)) {
        if (!Currency::tryParse(*digits, number)) return false;
    } else {
        number = dataaccess::toCurrency(value);
    }
    if (number.raw() % Currency::Scale != 0) return false;
    out = number.truncated();
    return true;
}

// The SKSUMI column that a result column sums, as an error names it: "列「KYUYO」の合計"
// for GKYUYO, "列「KYUYO」～「STYOGK」の合計" for GTOTAL02.
std::string summedColumns(std::string_view alias)
{
    const auto range = [](std::size_t from, std::size_t to) {
        return "列「" + std::string(kAmountColumns[from]) + "」～「" + kAmountColumns[to] + "」の合計";
    };
    if (alias == "GTOTAL02") return range(0, 2);
    if (alias == "GTOTAL03") return range(3, kAmountColumns.size() - 1);
    if (alias == "GTOTALSUM") return range(0, kAmountColumns.size() - 1);
    return "列「" + std::string(alias.substr(1)) + "」の合計";
}

// Where a row of SKSUMI or of the summary query stands, as an error names it.
std::string rowText(const DbValue& zaimu, const DbValue& syochu, const DbValue& sharym)
{
    return "SKSUMI の財務コード「" + dataaccess::toText(zaimu) + "」、学校種別「" + dataaccess::toText(syochu) +
           "」、支払年月「" + dataaccess::toText(sharym) + "」";
}

// Whether a sum given as a text is a number written in plain decimal digits, as an engine
// gives an exact decimal ("-12", "0.0456").
bool plainDecimal(std::string_view text)
{
    if (!text.empty() && text.front() == '-') text.remove_prefix(1);
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? "1" : text.substr(dot + 1);
    const auto digits = [](std::string_view part) {
        return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return digits(whole) && digits(fraction);
}

// Refuses a group of the summary query whose summed column holds a text: the engine gives
// the sum of such a column as that text (SQLite keeps a text that is no number as it is in
// a number column, and would count it as 0 or as its leading digits, '12,345' as 12). The
// columns are looked at in the order of the table, the count NINZU last.
void refuseTextSums(const clsTbAccess& row)
{
    static const std::array<std::string, kAmountColumns.size() + 1> kSums = [] {
        std::array<std::string, kAmountColumns.size() + 1> sums;
        for (std::size_t i = 0; i < kAmountColumns.size(); ++i) sums[i] = std::string("G") + kAmountColumns[i];
        sums.back() = "GNINZU";
        return sums;
    }();
    for (const std::string& sum : kSums) {
        const DbValue value = row.TBRec(sum);
        const auto* text = std::get_if<std::string>(&value);
        if (!text || plainDecimal(*text)) continue;
        RuntimeError e(RuntimeErrorKind::TypeMismatch, "「" + *text + "」は数値ではありません。");
        e.addContext(summedColumns(sum));
        e.addContext(rowText(row.TBRec("GZAIMU"), row.TBRec("GSYOCHU"), row.TBRec("GSHARYM")));
        throw e;
    }
}

Currency summedAmount(const DbValue& value, const char* alias)
{
    try {
        return dataaccess::toCurrency(value);
    } catch (RuntimeError& e) {
        e.addContext(summedColumns(alias));
        throw;
    }
}

// The slots of one query row: finance, school and month slot.
struct RowSlots {
    int finance = 0, school = 0, month = 0;
};

// The slots of a row, or none when it has no slot (a school type other than 4 or 5, a
// finance-office code outside 1 to 9, a month outside the slots 1 to 14).
std::optional<RowSlots> slotsOfRow(std::int64_t zaimu, std::int64_t syochu, const std::string& sharym,
                                   std::int16_t fiscalYear)
{
    if (zaimu < 1 || zaimu > 9) return std::nullopt;
    if (syochu != 4 && syochu != 5) return std::nullopt;
    Currency year, month;
    if (!Currency::tryParse(text::left(sharym, 4), year) || !Currency::tryParse(text::right(sharym, 2), month))
        return std::nullopt;
    const std::int64_t monthOfYear = month.truncated();
    const std::int64_t slot = year.truncated() == fiscalYear ? monthOfYear - 3 : monthOfYear + 9;
    if (slot < 1 || slot > SumTable::kMonthSlots) return std::nullopt;
    return RowSlots{zaimu == 9 ? 0 : static_cast<int>(zaimu), syochu == 4 ? 1 : 2, static_cast<int>(slot)};
}

// Stores the current row of the summary query into the cells (finance, school, month,
// 1..21): each item is assigned, not added to.
void storeRow(SumTable& table, const clsTbAccess& row, const RowSlots& slots)
{
    for (int item = 1; item <= SumTable::kItems; ++item) {
        const ItemColumns& columns = kItemColumns[static_cast<std::size_t>(item)];
        Currency value = summedAmount(row.TBRec(columns.first), columns.first);
        if (columns.second) value += summedAmount(row.TBRec(columns.second), columns.second);
        table.at(slots.finance, slots.school, slots.month, item) = value;
    }
}

// Adds every item of the cell (finance, school, month) into the cell of the total.
void addItems(SumTable& table, const std::array<int, 3>& from, const std::array<int, 3>& total)
{
    for (int item = 1; item <= SumTable::kItems; ++item)
        table.at(total[0], total[1], total[2], item) += table.at(from[0], from[1], from[2], item);
}

// Month total, then school total, then finance total. The month and school totals also
// cover slot 8, so that the rows of finance-office code 8 (stored there directly) count
// in its totals as in its month rows.
void fillTotals(SumTable& table)
{
    constexpr int kAllFinance = 8, kAllSchools = 3, kYear = SumTable::kMonthSlots;
    for (int finance = 0; finance <= kAllFinance; ++finance)
        for (int school = 1; school < kAllSchools; ++school)
            for (int month = 1; month < kYear; ++month)
                addItems(table, {finance, school, month}, {finance, school, kYear});
    for (int finance = 0; finance <= kAllFinance; ++finance)
        for (int school = 1; school < kAllSchools; ++school)
            for (int month = 1; month <= kYear; ++month)
                addItems(table, {finance, school, month}, {finance, kAllSchools, month});
    for (int finance = 0; finance < kAllFinance; ++finance)
        for (int school = 1; school <= kAllSchools; ++school)
            for (int month = 1; month <= kYear; ++month)
                addItems(table, {finance, school, month}, {kAllFinance, school, month});
}

} // namespace

std::size_t SumTable::index(int finance, int school, int month, int item)
{
    if (finance < 0 || finance >= kFinanceSlots || school < 1 || school > kSchoolSlots || month < 1 ||
        month > kMonthSlots || item < 1 || item > kItems)
        throwInvalidArgument("SumTable(" + std::to_string(finance) + ", " + std::to_string(school) + ", " +
                             std::to_string(month) + ", " + std::to_string(item) + ")");
    return ((static_cast<std::size_t>(finance) * kSchoolSlots + static_cast<std::size_t>(school - 1)) * kMonthSlots +
            static_cast<std::size_t>(month - 1)) *
               kItems +
           static_cast<std::size_t>(item - 1);
}

Currency& SumTable::at(int finance, int school, int month, int item)
{
    return m_cells[index(finance, school, month, item)];
}

Currency SumTable::at(int finance, int school, int month, int item) const
{
    return m_cells[index(finance, school, month, item)];
}

std::string BasKov570::fieldList()
{
    std::string list = "SHARYM AS GSHARYM,SYOCHU AS GSYOCHU,ZAIMU AS GZAIMU";
    for (const char* column : kAmountColumns) list += std::string(",SUM(") + column + ") AS G" + column;
    list += ",SUM(NINZU) AS GNINZU";
    list += "," + sumOf(0, 3, "GTOTAL02");
    list += "," + sumOf(3, kAmountColumns.size(), "GTOTAL03");
    list += "," + sumOf(0, kAmountColumns.size(), "GTOTALSUM");
    return list;
}

std::string BasKov570::condition(std::int16_t nendo) { return "NENDO = " + std::to_string(nendo); }

void BasKov570::endWithWarning(const std::string& text) { throw ProgramStop(text, MsgIcon::Exclamation, kCaption); }

void BasKov570::prsOpenDb()
{
    m_ctx.createConnection();
    m_ctx.prsDbOpen("KOV.INI");
}

std::int16_t BasKov570::readFiscalYear()
{
    auto kanri = m_ctx.newTable("SKKANRI");
    const std::int16_t rows = kanri->DAO_TableOpen("KEY = 'KANRI'", "");
    if (rows == 0) endWithWarning("管理マスタが読込できません。");
    m_ctx.check(rows, kanri.get());
    // The open makes no row current: the first matching record is read first.
    m_ctx.check(kanri->DAO_RecRead(1));
    const std::int16_t fiscalYear = dataaccess::toInt16(kanri->TBRec("NENDO"), "NENDO");
    m_ctx.closeChecked(*kanri);
    return fiscalYear;
}

std::unique_ptr<clsTbAccess> BasKov570::openSumQuery(std::int16_t fiscalYear)
{
    auto sumQuery = m_ctx.newTable("SKSUMI");
    const std::int16_t rows = sumQuery->DAO_TableGroupOpen(fieldList(), condition(fiscalYear), kGrouping, kGrouping);
    if (rows == 0) endWithWarning("該当するデータが登録されていません。");
    m_ctx.check(rows, sumQuery.get());
    return sumQuery;
}

void BasKov570::closeSumQuery(std::unique_ptr<clsTbAccess> sumQuery) { m_ctx.closeChecked(*sumQuery); }

void BasKov570::prsCloseDb()
{
    m_ctx.prsDbClose();
    m_ctx.releaseConnection();
}

SumTable BasKov570::loadSumTable(std::int16_t fiscalYear, std::unique_ptr<clsTbAccess> sumQuery)
{
    if (!sumQuery) throwInvalidArgument("summary query not open");
    SumTable table(fiscalYear);
    const clsTbAccess& row = *sumQuery;
    long skipped = 0;
    for (std::int16_t status = sumQuery->DAO_RecRead(1);
         status != dataaccess::kStatusEof && status != dataaccess::kStatusRowInitFailed;
         status = sumQuery->DAO_RecRead(2)) {
        // Any other failure would repeat on every further read: it ends the program with
        // its status message instead of reading on without end.
        if (status < 0) m_ctx.check(status);
        // A text among the amounts would be summed wrongly without a word: it stops the
        // run, also in a row that has no slot.
        refuseTextSums(row);
        // A row without a slot is left out: it is never stored in another row's cells.
        std::int64_t zaimu = 0, syochu = 0;
        std::optional<RowSlots> slots;
        if (wholeNumber(row.TBRec("GZAIMU"), zaimu) && wholeNumber(row.TBRec("GSYOCHU"), syochu))
            slots = slotsOfRow(zaimu, syochu, dataaccess::toText(row.TBRec("GSHARYM")), fiscalYear);
        if (!slots) {
            ++skipped;
            continue;
        }
        // A run-time error (an amount too large) names the column and the row.
        try {
            storeRow(table, row, *slots);
        } catch (RuntimeError& e) {
            e.addContext(rowText(row.TBRec("GZAIMU"), row.TBRec("GSYOCHU"), row.TBRec("GSHARYM")));
            throw;
        }
    }
    if (skipped > 0) {
        std::fprintf(
            stderr,
            "kov570: SKSUMI の %ld 組（財務コード・学校種別・支払年月）は集計表に欄がないため、集計していません。\n",
            skipped);
        std::fflush(stderr);
    }
    fillTotals(table);
    closeSumQuery(std::move(sumQuery));
    return table;
}

} // namespace kov::kov570
