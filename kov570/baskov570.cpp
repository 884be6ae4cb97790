#include "kov570/baskov570.h"

#include "common/dataaccess/status.h"
#include "common/runtimeerror.h"
#include "common/text.h"

#include <cstdio>
#include <cstdlib>
#include <vector>
#include <string_view>

namespace kov::kov570 {

using dataaccess::DbValue;

namespace {

// The amount columns in the order of the select list, then the count.
constexpr std::array<const char*, 21> kAmountColumns = {
    "KYUYO",  "KTYOGK", "STYOGK", "CHIIKI", "KTOKUB", "FUYOTE", "JYUKYO", "TUKINH", "TUKINK", "HEKICI", "HEKJUN",
    "SYUKUH", "SYUKUK", "TANSIN", "TOKGYO", "ZANGYO", "JIDOU",  "KIMATU", "KINBEN", "KYUJIT", "TAGAKU"};

// Result columns of the printed items 1 to 21 (index 0 unused); two names are added.
struct ItemColumns {
    const char* first;
    const char* second;
};
constexpr std::array<ItemColumns, 22> kItemColumns = {{
    {nullptr, nullptr},
    {"GNINZU", nullptr},    {"GKYUYO", nullptr},   {"GKTYOGK", nullptr},  {"GSTYOGK", nullptr},
    {"GTOTAL02", nullptr},  {"GCHIIKI", nullptr},  {"GKTOKUB", nullptr},  {"GTUKINH", "GTUKINK"},
    {"GJYUKYO", nullptr},   {"GFUYOTE", nullptr},  {"GTANSIN", nullptr},  {"GSYUKUH", "GSYUKUK"},
    {"GHEKICI", nullptr},   {"GHEKJUN", nullptr},  {"GTOKGYO", nullptr},  {"GJIDOU", "GTAGAKU"},
    {"GKYUJIT", "GZANGYO"}, {"GKIMATU", nullptr},  {"GKINBEN", nullptr},  {"GTOTAL03", nullptr},
    {"GTOTALSUM", nullptr},
}};

std::string sumOf(std::size_t from, std::size_t to, const char* alias)
{
    std::string s = "SUM(";
    for (std::size_t i = from; i < to; ++i) {
        if (i > from) s += " + ";
        s += kAmountColumns[i];
    }
    return s + ") AS " + alias;
}

// A whole number of a value, or nothing when it is not one.
bool wholeNumber(const DbValue& v, std::int64_t& out)
{
    Currency c;
    if (const auto* s = std::get_if<std::string>(&v)) {
        if (!Currency::tryParse(*s, c)) return false;
    } else {
        c = dataaccess::toCurrency(v);
    }
    if (c.raw() % Currency::Scale != 0) return false;
    out = c.truncated();
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

// The fiscal year's rows with a text in a summed column. SQLite keeps a text that is not
// a number as it is in a number column, and SUM counts it as 0 or as its leading digits
// ('12,345' as 12). A number equals itself plus 0, a text never does (the sum is a
// number), NULL matches nothing; where number columns hold numbers only, no row matches.
std::string textAmountCondition(std::int16_t nendo)
{
    std::string c = BasKov570::condition(nendo) + " AND (NINZU <> NINZU + 0";
    for (const char* col : kAmountColumns) c += std::string(" OR ") + col + " <> " + col + " + 0";
    return c + ")";
}

Currency summedAmount(const DbValue& v, const char* alias)
{
    try {
        return dataaccess::toCurrency(v);
    } catch (RuntimeError& e) {
        e.addContext(summedColumns(alias));
        throw;
    }
}

} // namespace

std::size_t SumTable::index(int f, int s, int m, int item)
{
    if (f < 0 || f >= kFinanceSlots || s < 1 || s > kSchoolSlots || m < 1 || m > kMonthSlots || item < 1 ||
        item > kItems)
        throwInvalidArgument("SumTable(" + std::to_string(f) + ", " + std::to_string(s) + ", " + std::to_string(m) +
                             ", " + std::to_string(item) + ")");
    return ((static_cast<std::size_t>(f) * kSchoolSlots + (s - 1)) * kMonthSlots + (m - 1)) * kItems + (item - 1);
}

Currency& SumTable::at(int f, int s, int m, int item) { return m_cells[index(f, s, m, item)]; }
Currency SumTable::at(int f, int s, int m, int item) const { return m_cells[index(f, s, m, item)]; }

bool slotsOfRow(std::int64_t zaimu, std::int64_t syochu, const std::string& sharym, std::int16_t nendo, RowSlots& out)
{
    if (zaimu < 1 || zaimu > 9) return false;
    if (syochu != 4 && syochu != 5) return false;
    Currency year, month;
    if (!Currency::tryParse(text::left(sharym, 4), year) || !Currency::tryParse(text::right(sharym, 2), month))
        return false;
    const std::int64_t mm = month.truncated();
    const std::int64_t m = year.truncated() == nendo ? mm - 3 : mm + 9;
    if (m < 1 || m > SumTable::kMonthSlots) return false;
    out.finance = zaimu == 9 ? 0 : static_cast<int>(zaimu);
    out.school = syochu == 4 ? 1 : 2;
    out.month = static_cast<int>(m);
    return true;
}

std::string BasKov570::fieldList()
{
    std::string list = "SHARYM AS GSHARYM,SYOCHU AS GSYOCHU,ZAIMU AS GZAIMU";
    for (const char* c : kAmountColumns) list += std::string(",SUM(") + c + ") AS G" + c;
    list += ",SUM(NINZU) AS GNINZU";
    list += "," + sumOf(0, 3, "GTOTAL02");
    list += "," + sumOf(3, kAmountColumns.size(), "GTOTAL03");
    list += "," + sumOf(0, kAmountColumns.size(), "GTOTALSUM");
    return list;
}

std::string BasKov570::condition(std::int16_t nendo) { return "NENDO = " + std::to_string(nendo); }

void BasKov570::endWithWarning(const std::string& text)
{
    throw ProgramStop(text, MsgIcon::Exclamation, kCaption);
}

void BasKov570::prsOpenDb()
{
    m_ctx.createConnection();
    m_ctx.prsDbOpen("KOV.INI");
}

void BasKov570::prsReadNendo()
{
    auto kanri = m_ctx.newTable("SKKANRI");
    const std::int16_t rows = kanri->DAO_TableOpen("KEY = 'KANRI'", "");
    if (rows == 0) endWithWarning("管理マスタが読込できません。");
    m_ctx.check(rows);
    // The open makes no row current: the first matching record is read first.
    m_ctx.check(kanri->DAO_RecRead(1));
    NENDO = dataaccess::toInt16(kanri->TBRec("NENDO"), "NENDO");
    m_ctx.closeChecked(*kanri);
}

void BasKov570::prsOpenSumi()
{
    SKSUMI = m_ctx.newTable("SKSUMI");
    const std::int16_t rows = SKSUMI->DAO_TableGroupOpen(fieldList(), condition(NENDO), kGrouping, kGrouping);
    if (rows == 0) endWithWarning("該当するデータが登録されていません。");
    m_ctx.check(rows);
}

void BasKov570::prsCloseSumi()
{
    m_ctx.closeChecked(*SKSUMI);
    SKSUMI.reset();
}

void BasKov570::prsCloseDb()
{
    m_ctx.prsDbClose();
    m_ctx.releaseConnection();
}

void BasKov570::prsCheckAmounts()
{
    auto rows = m_ctx.newTable("SKSUMI");
    if (m_ctx.openChecked(*rows, textAmountCondition(NENDO), kGrouping) > 0) {
        m_ctx.check(rows->DAO_RecRead(1));
        std::vector<const char*> columns(kAmountColumns.begin(), kAmountColumns.end());
        columns.push_back("NINZU");
        for (const char* c : columns) {
            const DbValue v = rows->TBRec(c);
            if (std::holds_alternative<std::int64_t>(v) || std::holds_alternative<double>(v) || dataaccess::isNull(v))
                continue;
            RuntimeError e(RuntimeErrorKind::TypeMismatch, "「" + dataaccess::toText(v) + "」は数値ではありません。");
            e.addContext(summedColumns(std::string("G") + c));
            e.addContext(rowText(rows->TBRec("ZAIMU"), rows->TBRec("SYOCHU"), rows->TBRec("SHARYM")));
            throw e;
        }
    }
    m_ctx.closeChecked(*rows);
}

void BasKov570::prsSumLoad()
{
    if (SumLoaded) return;
    // A text among the amounts would be summed wrongly without a word: it stops the run.
    prsCheckAmounts();
    SumLoaded = true;
    sumTable.clear();
    long skipped = 0;
    for (std::int16_t st = SKSUMI->DAO_RecRead(1); st != dataaccess::kStatusEof && st != dataaccess::kStatusRowInitFailed;
         st = SKSUMI->DAO_RecRead(2)) {
        // Any other failure would repeat on every further read: it ends the program with
        // its status message instead of reading on without end.
        if (st < 0) m_ctx.check(st);
        // A row without a slot is left out: it is never stored in another row's cells.
        std::int64_t zaimu = 0, syochu = 0;
        RowSlots slots;
        if (!wholeNumber(SKSUMI->TBRec("GZAIMU"), zaimu) || !wholeNumber(SKSUMI->TBRec("GSYOCHU"), syochu) ||
            !slotsOfRow(zaimu, syochu, dataaccess::toText(SKSUMI->TBRec("GSHARYM")), NENDO, slots)) {
            ++skipped;
            continue;
        }
        // A run-time error (an amount too large) names the column and the row.
        try {
            prsSumStore(slots.finance, slots.school, slots.month);
        } catch (RuntimeError& e) {
            e.addContext(rowText(SKSUMI->TBRec("GZAIMU"), SKSUMI->TBRec("GSYOCHU"), SKSUMI->TBRec("GSHARYM")));
            throw;
        }
    }
    if (skipped > 0) {
        std::fprintf(stderr, "kov570: SKSUMI の %ld 組（財務コード・学校種別・支払年月）は集計表に欄がないため、集計していません。\n",
                     skipped);
        std::fflush(stderr);
    }
    fillTotals();
}

void BasKov570::prsSumStore(int f, int s, int m)
{
    for (int item = 1; item <= SumTable::kItems; ++item) {
        const ItemColumns& c = kItemColumns[static_cast<std::size_t>(item)];
        Currency v = summedAmount(SKSUMI->TBRec(c.first), c.first);
        if (c.second) v += summedAmount(SKSUMI->TBRec(c.second), c.second);
        sumTable.at(f, s, m, item) = v;
    }
}

// Month total, then school total, then finance total. The month and school totals also
// cover slot 8, so that the rows of finance-office code 8 (stored there directly) count
// in its totals as in its month rows.
void BasKov570::fillTotals()
{
    SumTable& t = sumTable;
    for (int f = 0; f <= 8; ++f)
        for (int s = 1; s <= 2; ++s)
            for (int m = 1; m <= 13; ++m)
                for (int i = 1; i <= SumTable::kItems; ++i) t.at(f, s, 14, i) += t.at(f, s, m, i);
    for (int f = 0; f <= 8; ++f)
        for (int s = 1; s <= 2; ++s)
            for (int m = 1; m <= 14; ++m)
                for (int i = 1; i <= SumTable::kItems; ++i) t.at(f, 3, m, i) += t.at(f, s, m, i);
    for (int f = 0; f <= 7; ++f)
        for (int s = 1; s <= 3; ++s)
            for (int m = 1; m <= 14; ++m)
                for (int i = 1; i <= SumTable::kItems; ++i) t.at(8, s, m, i) += t.at(f, s, m, i);
}

} // namespace kov::kov570
