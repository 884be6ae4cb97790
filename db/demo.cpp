// The demo installation written by kovgendemo.
//
// Schools: elementary (school type 4, codes 101...) and junior-high schools (type 5,
// codes from the next hundred), grouped into blocks of consecutive codes for pay kinds
// 2 (slots 1-15), 5 (slots 16-25) and 3 (slots 31-45). Staff are spread over the
// schools (a principal, a vice-principal and a school nurse first), with both staff
// groups (job kinds 5 and 6 are daily-paid). Payment records of the processing month:
// a term-end/diligence allowance record (pay kind 2) for every staff member, pay kind 5
// for about one in five, a differential payment record (pay kind 3) for every staff
// member. Summary rows of the fiscal year by finance office, school type and month.
// Everything is drawn from one seeded generator, so a seed always gives the same files.
#include "db/demo.h"
#include "common/sqltext.h"

#include "db/kovdb.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <unordered_map>
#include <vector>

namespace kov::gendemo {

namespace fs = std::filesystem;
using kov::db::Connection;
using kov::db::Value;

namespace {

// splitmix64: small, fast and the same on every platform (unlike the distributions of
// <random>, whose results differ between standard libraries).
class Rng {
public:
    explicit Rng(std::uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ULL + 0x1234567ULL) {}
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // lo..hi inclusive.
    std::int64_t range(std::int64_t lo, std::int64_t hi)
    {
        return lo + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    bool percent(int p) { return range(1, 100) <= p; }
    template <class T, std::size_t N>
    const T& pick(const std::array<T, N>& a)
    {
        return a[static_cast<std::size_t>(range(0, static_cast<std::int64_t>(N) - 1))];
    }

private:
    std::uint64_t m_state;
};

constexpr std::array<const char*, 40> kPlaces = {
    "城東", "北山",   "南台", "東町", "西原", "中央", "緑ヶ丘", "桜台", "旭",     "若葉",
    "青葉", "日の出", "松原", "本町", "川内", "大野", "高田",   "宮前", "富士見", "港",
    "山田", "清水",   "浜田", "岡本", "春日", "白山", "朝日",   "平和", "泉",     "栄",
    "新町", "住吉",   "梅林", "鶴見", "杉並", "柳川", "福島",   "千歳", "三川",   "竹の内",
};

struct NamePair {
    const char* kanji;
    const char* kana;
};

constexpr std::array<NamePair, 30> kSurnames = {{
    {"佐藤", "ｻﾄｳ"},   {"鈴木", "ｽｽﾞｷ"},  {"高橋", "ﾀｶﾊｼ"},  {"田中", "ﾀﾅｶ"},  {"伊藤", "ｲﾄｳ"},  {"渡辺", "ﾜﾀﾅﾍﾞ"},
    {"山本", "ﾔﾏﾓﾄ"},  {"中村", "ﾅｶﾑﾗ"},  {"小林", "ｺﾊﾞﾔｼ"}, {"加藤", "ｶﾄｳ"},  {"吉田", "ﾖｼﾀﾞ"}, {"山田", "ﾔﾏﾀﾞ"},
    {"佐々木", "ｻｻｷ"}, {"山口", "ﾔﾏｸﾞﾁ"}, {"松本", "ﾏﾂﾓﾄ"},  {"井上", "ｲﾉｳｴ"}, {"木村", "ｷﾑﾗ"},  {"林", "ﾊﾔｼ"},
    {"斎藤", "ｻｲﾄｳ"},  {"清水", "ｼﾐｽﾞ"},  {"山崎", "ﾔﾏｻﾞｷ"}, {"森", "ﾓﾘ"},     {"池田", "ｲｹﾀﾞ"}, {"橋本", "ﾊｼﾓﾄ"},
    {"阿部", "ｱﾍﾞ"},   {"石川", "ｲｼｶﾜ"},  {"前田", "ﾏｴﾀﾞ"},  {"藤田", "ﾌｼﾞﾀ"}, {"小川", "ｵｶﾞﾜ"}, {"岡田", "ｵｶﾀﾞ"},
}};

constexpr std::array<NamePair, 16> kMaleNames = {{
    {"太郎", "ﾀﾛｳ"},
    {"一郎", "ｲﾁﾛｳ"},
    {"健太", "ｹﾝﾀ"},
    {"大輔", "ﾀﾞｲｽｹ"},
    {"誠", "ﾏｺﾄ"},
    {"浩二", "ｺｳｼﾞ"},
    {"隆", "ﾀｶｼ"},
    {"翔太", "ｼｮｳﾀ"},
    {"拓也", "ﾀｸﾔ"},
    {"直樹", "ﾅｵｷ"},
    {"和也", "ｶｽﾞﾔ"},
    {"修", "ｵｻﾑ"},
    {"博", "ﾋﾛｼ"},
    {"剛", "ﾂﾖｼ"},
    {"悠斗", "ﾕｳﾄ"},
    {"正人", "ﾏｻﾄ"},
}};

constexpr std::array<NamePair, 16> kFemaleNames = {{
    {"花子", "ﾊﾅｺ"},
    {"陽子", "ﾖｳｺ"},
    {"美咲", "ﾐｻｷ"},
    {"恵子", "ｹｲｺ"},
    {"由美", "ﾕﾐ"},
    {"裕子", "ﾕｳｺ"},
    {"直美", "ﾅｵﾐ"},
    {"真由美", "ﾏﾕﾐ"},
    {"愛", "ｱｲ"},
    {"彩", "ｱﾔ"},
    {"久美子", "ｸﾐｺ"},
    {"明美", "ｱｹﾐ"},
    {"千尋", "ﾁﾋﾛ"},
    {"智子", "ﾄﾓｺ"},
    {"沙織", "ｻｵﾘ"},
    {"優子", "ﾕｳｺ"},
}};

// Finance offices with schools (8 is the prefectural schools' office: no school here).
constexpr std::array<std::int64_t, 8> kOffices = {1, 2, 3, 4, 5, 6, 7, 9};

std::string fullWidthNumber(std::int64_t n)
{
    static const char* digits[] = {"０", "１", "２", "３", "４", "５", "６", "７", "８", "９"};
    const std::string s = std::to_string(n);
    std::string out;
    for (char c : s) out += digits[c - '0'];
    return out;
}

struct School {
    std::int64_t code = 0; // SYOZOK = 'E' + code
    std::int64_t type = 4; // 4 elementary, 5 junior high
    std::int64_t zaimu = 1;
    std::string name;
    bool remote = false; // pays the remote-area allowance
    int block[3] = {0, 0, 0}; // slot for pay kinds 2, 5, 3
};

struct Person {
    std::int64_t syokcd = 0;
    std::int64_t syosyu = 3;
    std::size_t school = 0;
    int sex = 1;
    std::string name;
    std::string kana;
    std::int64_t birth = 0; // YYYYMMDD
    std::int64_t hired = 0; // YYYYMMDD
    std::string grade; // KGOKYU
    std::int64_t step = 1; // KGOGHO
    std::int64_t salary = 0; // monthly
    std::int64_t dependants = 0;
    bool dailyPaid() const { return syosyu == 5 || syosyu == 6; }
};

std::string syozok(std::int64_t code) { return "E" + std::to_string(code); }

// Whether the declared type in column 1 of a pragma_table_info row is TEXT.
bool sqlite3TypeIsText(const kov::db::Statement& info)
{
    const Value type = info.column(1);
    const auto* t = std::get_if<std::string>(&type);
    return t != nullptr && *t == "TEXT";
}

// Inserts rows with every column bound; columns left unset are 0 (numbers) or null (texts).
class TableWriter {
public:
    TableWriter(Connection& db, const std::string& table)
    {
        kov::db::Statement info = db.prepare("SELECT name, type FROM pragma_table_info(?) ORDER BY cid");
        info.bind(1, table);
        std::string cols, params;
        while (info.step()) {
            const std::string name = std::get<std::string>(info.column(0));
            const bool text = sqlite3TypeIsText(info);
            m_index.emplace(name, m_defaults.size());
            if (text) m_defaults.emplace_back(std::monostate{});
            else m_defaults.emplace_back(std::int64_t{0});
            if (!cols.empty()) {
                cols += ", ";
                params += ", ";
            }
            cols += kov::sql::quoteIdentifier(name);
            params += "?";
        }
        m_values = m_defaults;
        m_insert =
            db.prepare("INSERT INTO " + kov::sql::quoteIdentifier(table) + " (" + cols + ") VALUES (" + params + ")");
    }

    TableWriter& set(const std::string& column, Value v)
    {
        const auto it = m_index.find(column);
        if (it == m_index.end()) throw std::logic_error("no column " + column);
        m_values[it->second] = std::move(v);
        return *this;
    }

    void insert()
    {
        for (std::size_t i = 0; i < m_values.size(); ++i) m_insert.bind(static_cast<int>(i + 1), m_values[i]);
        m_insert.run();
        m_values = m_defaults;
        ++m_rows;
    }

    std::int64_t rows() const { return m_rows; }

private:
    std::unordered_map<std::string, std::size_t> m_index;
    std::vector<Value> m_defaults;
    std::vector<Value> m_values;
    kov::db::Statement m_insert;
    std::int64_t m_rows = 0;
};

std::int64_t roundYen(double v) { return static_cast<std::int64_t>(v >= 0 ? v + 0.5 : v - 0.5); }
std::int64_t floorYen(double v) { return static_cast<std::int64_t>(v); }
// A summary table keeps its amounts in thousands of yen (rounded, halves away from zero).
std::int64_t thousands(std::int64_t yen) { return (yen >= 0 ? yen + 500 : yen - 500) / 1000; }

// Withholding rate (percent) of a bonus by the previous month's taxable pay and the
// number of dependants, after the shape of the national table.
double bonusTaxRate(std::int64_t previousPay, std::int64_t dependants)
{
    static constexpr double kRates[] = {0.0, 2.042, 4.084, 6.126, 8.168, 10.21, 12.252, 14.294, 16.336, 18.378, 20.42};
    std::int64_t band = previousPay / 60000 - 2 - dependants;
    band = std::clamp<std::int64_t>(band, 0, 10);
    return kRates[band];
}

// Every finance-office code 1 to 9 has a whole fiscal year of the salary-expense summary
// for both school types, so that kov570 prints every page of the demo: a pair without
// schools of its own (code 8, the prefecture's own schools, or a school type that a
// small demo lacks) gets a quarter of the figures of the lowest code that has the type.
// Returns the number of rows added.
std::int64_t completeSalaryExpenseSummary(Connection& db, std::int64_t nendo)
{
    const std::string n = std::to_string(nendo);
    std::string columns = "NINZU", quarters = "(s.NINZU + 3) / 4";
    for (const char* c :
         {"KYUYO",  "KTYOGK", "STYOGK", "CHIIKI", "KTOKUB", "FUYOTE", "JYUKYO", "TUKINH", "TUKINK", "HEKICI", "HEKJUN",
          "SYUKUH", "SYUKUK", "TANSIN", "TOKGYO", "ZANGYO", "JIDOU",  "KIMATU", "KINBEN", "KYUJIT", "TAGAKU"}) {
        columns += std::string(", ") + c;
        quarters += std::string(", s.") + c + " / 4";
    }
    db.exec("WITH RECURSIVE codes(z) AS (SELECT 1 UNION ALL SELECT z + 1 FROM codes WHERE z < 9) "
            "INSERT INTO SKSUMI (NENDO, ZAIMU, SYOCHU, SHARYM, " +
            columns +
            ") "
            "SELECT s.NENDO, codes.z, s.SYOCHU, s.SHARYM, " +
            quarters +
            " FROM SKSUMI s, codes "
            "WHERE s.NENDO = " +
            n + " AND s.ZAIMU = (SELECT MIN(ZAIMU) FROM SKSUMI WHERE NENDO = " + n +
            " AND SYOCHU = s.SYOCHU) AND NOT EXISTS (SELECT 1 FROM SKSUMI t WHERE t.NENDO = " + n +
            " AND t.ZAIMU = codes.z AND t.SYOCHU = s.SYOCHU)");
    return std::get<std::int64_t>(db.scalar("SELECT changes()"));
}

// ---- schools ----

// Elementary schools (type 4) from code 101, then junior-high schools (type 5) from the
// next hundred, named after the places in a shuffled order.
std::vector<School> makeSchools(Rng& rng, std::int64_t nSchools)
{
    const std::int64_t nElem = (nSchools * 2 + 2) / 3;
    const std::int64_t nJunior = nSchools - nElem;
    const std::int64_t juniorBase = ((100 + nElem) / 100 + 1) * 100 + 1;
    std::vector<const char*> places(kPlaces.begin(), kPlaces.end());
    for (std::size_t i = places.size(); i > 1; --i)
        std::swap(places[i - 1], places[static_cast<std::size_t>(rng.range(0, static_cast<std::int64_t>(i) - 1))]);

    std::vector<School> schools;
    auto addSchools = [&](std::int64_t count, std::int64_t type, std::int64_t firstCode) {
        for (std::int64_t i = 0; i < count; ++i) {
            School s;
            s.code = firstCode + i;
            s.type = type;
            s.zaimu = kOffices[static_cast<std::size_t>(i * static_cast<std::int64_t>(kOffices.size()) / count)];
            const std::size_t p = static_cast<std::size_t>(i) % places.size();
            const std::int64_t round = i / static_cast<std::int64_t>(places.size());
            s.name = std::string(places[p]) + (round > 0 ? "第" + fullWidthNumber(round + 1) : "") +
                     (type == 4 ? "小学校" : "中学校");
            s.remote = rng.percent(10);
            schools.push_back(std::move(s));
        }
    };
    addSchools(nElem, 4, 101);
    addSchools(nJunior, 5, juniorBase);
    return schools;
}

// ---- blocks: consecutive schools, per pay kind ----

struct BlockSlot {
    int slot;
    std::int64_t first, last, count, kyusyu;
};

// The blocks of pay kinds 2, 5 and 3; each school learns its slot of each kind.
std::vector<BlockSlot> makeBlocks(std::vector<School>& schools)
{
    std::vector<BlockSlot> blocks;
    const auto nSchools = static_cast<std::int64_t>(schools.size());
    const std::int64_t kinds[3] = {2, 5, 3};
    const int firstSlot[3] = {1, 16, 31};
    const std::int64_t maxBlocks[3] = {15, 10, 15};
    const std::int64_t perBlock[3] = {3, 6, 3};
    for (int k = 0; k < 3; ++k) {
        const std::int64_t nb = std::clamp<std::int64_t>(nSchools / perBlock[k], 1, maxBlocks[k]);
        for (std::int64_t g = 0; g < nb; ++g) {
            const std::int64_t from = g * nSchools / nb, to = (g + 1) * nSchools / nb; // [from, to)
            const int slot = firstSlot[k] + static_cast<int>(g);
            for (std::int64_t j = from; j < to; ++j) schools[static_cast<std::size_t>(j)].block[k] = slot;
            blocks.push_back({slot, schools[static_cast<std::size_t>(from)].code,
                              schools[static_cast<std::size_t>(to - 1)].code, to - from, kinds[k]});
        }
    }
    return blocks;
}

// ---- staff ----

// The job kind of the j-th staff member: each school's principal, vice-principal and
// nurse first, then drawn.
std::int64_t jobKindOf(Rng& rng, std::int64_t role)
{
    if (role == 0) return 1;
    if (role == 1) return 2;
    if (role == 2) return 4;
    const std::int64_t r = rng.range(1, 100);
    return r <= 62 ? 3 : r <= 70 ? 5 : r <= 76 ? 6 : r <= 84 ? 7 : r <= 87 ? 8 : r <= 93 ? 9 : 10;
}

std::int64_t ageOf(Rng& rng, const Person& p)
{
    if (p.syosyu == 1) return rng.range(54, 59);
    if (p.syosyu == 2) return rng.range(48, 57);
    return p.dailyPaid() ? rng.range(23, 64) : rng.range(23, 59);
}

// Grade, step and monthly salary by job kind and years of service.
void setGradeAndSalary(Person& p, std::int64_t years)
{
    switch (p.syosyu) {
    case 1:
        p.grade = "4";
        p.step = std::min<std::int64_t>(10 + years, 40);
        p.salary = 400000 + p.step * 1200;
        break;
    case 2:
        p.grade = "3";
        p.step = std::min<std::int64_t>(20 + years, 60);
        p.salary = 350000 + p.step * 900;
        break;
    case 5:
    case 6:
    case 10:
        p.grade = "1";
        p.step = std::min<std::int64_t>(1 + years * 2, 99);
        p.salary = 180000 + p.step * 1100;
        break;
    default:
        p.grade = "2";
        p.step = std::min<std::int64_t>(1 + years * 4, 99);
        p.salary = 200000 + p.step * 1900;
        break;
    }
    p.salary = p.salary / 100 * 100;
}

Person makePerson(Rng& rng, std::int64_t j, std::int64_t nSchools, std::int64_t syorid)
{
    Person p;
    p.syokcd = 100001 + j;
    p.school = static_cast<std::size_t>(j % nSchools);
    p.syosyu = jobKindOf(rng, j / nSchools);
    p.sex = rng.percent(p.syosyu == 1 ? 20 : p.syosyu == 4 ? 95 : 50) ? 2 : 1;
    const NamePair& sn = rng.pick(kSurnames);
    const NamePair& gn = p.sex == 1 ? rng.pick(kMaleNames) : rng.pick(kFemaleNames);
    p.name = std::string(sn.kanji) + "　" + gn.kanji;
    p.kana = std::string(sn.kana) + " " + gn.kana;
    const std::int64_t age = ageOf(rng, p);
    p.birth = (syorid / 100 - age) * 10000 + rng.range(1, 12) * 100 + rng.range(1, 28);
    p.hired = (p.birth / 10000 + std::min<std::int64_t>(age, rng.range(22, 26))) * 10000 + 401;
    setGradeAndSalary(p, std::max<std::int64_t>(0, syorid / 100 - p.hired / 10000));
    p.dependants = p.dailyPaid() ? rng.range(0, 1) : rng.range(0, 4);
    return p;
}

// ---- masters ----

void writeKanri(Connection& db, const DemoOptions& opt)
{
    TableWriter kanri(db, "SKKANRI");
    kanri.set("KEY", "KANRI").set("NENDO", opt.nendo).set("SYORID", opt.syorid);
    kanri.set("KENKO", 46.5)
        .set("KETOKO", 23.25)
        .set("KETOJI", 23.25)
        .set("KOSEI", 183.0)
        .set("KOTOKO", 91.5)
        .set("KOTOJI", 91.5)
        .set("KAIGO", 8.2)
        .set("JIDOU", 3.6)
        .set("KMKM6", 1.2)
        .set("KMKM12", 1.25)
        .set("KMKM3", 0.0)
        .set("KMKB6", 0.95)
        .set("KMKB12", 1.05)
        .set("KMKM12N", 1.25)
        .set("ZFKBN1", 1)
        .set("ZFKBN2", 0)
        .set("ZFHAITO", "0")
        .set("ZFKYU", 1)
        .set("ZFSYO", 1)
        .set("ZFSAG", 0)
        .set("ZFSYA", 0)
        .set("ZFKOYO", 0)
        .set("ZFSAI", "1");
    for (int t = 1; t <= 6; ++t) {
        char col[16];
        std::snprintf(col, sizeof col, "TOKTAN_%02d", t);
        kanri.set(col, std::int64_t{t * 1000});
    }
    kanri.insert();
}

void writeSchoolsAndBlocks(Connection& db, const std::vector<School>& schools, const std::vector<BlockSlot>& blocks)
{
    TableWriter syozk(db, "SKSYOZK");
    for (const School& s : schools) syozk.set("SYOZOK", syozok(s.code)).set("SZKKNJ", s.name).insert();

    TableWriter block(db, "SKBLOCK");
    block.set("KEY", "BLOCK");
    for (const BlockSlot& b : blocks) {
        char nn[3];
        std::snprintf(nn, sizeof nn, "%02d", b.slot);
        block.set(std::string("SSYOZK_") + nn, b.first)
            .set(std::string("ESYOZK_") + nn, b.last)
            .set(std::string("CNT_") + nn, b.count)
            .set(std::string("KYUSYU_") + nn, b.kyusyu);
    }
    block.insert();
}

void writeStaffMember(TableWriter& syoku, const Person& p, const School& s, std::int64_t syorid)
{
    syoku.set("SYOKCD", p.syokcd)
        .set("SYOSYU", p.syosyu)
        .set("SYOZOK", syozok(s.code))
        .set("ZAIMU", s.zaimu)
        .set("SIMKNJ", p.name)
        .set("SIMKNA", p.kana)
        .set("SEIBET", std::int64_t{p.sex})
        .set("SEIYMD", p.birth)
        .set("KGOKYU", p.grade)
        .set("KGOGHO", p.step)
        .set("KKIGOU", "教")
        .set("KBANGO", p.syokcd % 100000)
        .set("NBANGO", "1" + std::to_string(p.syokcd))
        .set("HYOJUN", (p.salary + 20000) / 10000 * 10000)
        .set("SSYUCD", std::int64_t{1})
        .set("SSOSCD", std::int64_t{1})
        .set("SKFYMD", p.hired)
        .set("SKEYMD", std::int64_t{0})
        .set("SSOYMD", p.hired)
        .set("KOYBAN", p.dailyPaid() ? "5001-" + std::to_string(p.syokcd) : "")
        .set("KSYUCD", std::int64_t{1})
        .set("KSOSCD", std::int64_t{1})
        .set("KNFYMD", p.hired)
        .set("KNEYMD", std::int64_t{0})
        .set("KSOYMD", p.hired)
        .set("KAIKBN", std::int64_t{p.birth / 10000 <= syorid / 100 - 40 ? 1 : 0})
        .set("HATJIU_01", std::int64_t{1})
        .set("HAFYMD_01", std::max(p.hired, (syorid / 100 - 3) * 10000 + 401))
        .set("HAEYMD_01", std::int64_t{0})
        .set("HATSYO_01", syozok(s.code))
        .set("CHOKBN", "0");
    syoku.insert();
}

// ---- payment records of the processing month ----

// The term-end and diligence allowance of one staff member, before deductions.
struct Allowance {
    std::int64_t kyuryo, ktyogk, styogk, fuyote, kmchiiki, kbchiiki;
    std::int64_t period; // of service in the six months before the base date: months*100 + days
    double kmRate, kbRate;
    std::int64_t kimatuKiso, kinbenKiso;
};

std::int64_t adjustmentOf(const Person& p, std::int64_t kyuryo)
{
    if (p.syosyu == 1) return roundYen(kyuryo * 0.15);
    if (p.syosyu == 2) return roundYen(kyuryo * 0.10);
    return 0;
}

// The payment rate (percent) of the term-end allowance by the period of service.
double periodRate(std::int64_t period)
{
    if (period >= 600) return 100;
    if (period >= 500) return 80;
    return period >= 300 ? 60 : 30;
}

Allowance allowanceOf(Rng& rng, const Person& p, const School& s)
{
    Allowance a{};
    const bool teacher = p.syosyu <= 4 || p.syosyu == 10 || p.syosyu == 5;
    a.kyuryo = p.salary;
    a.ktyogk = teacher ? roundYen(a.kyuryo * 0.04) : 0;
    a.styogk = adjustmentOf(p, a.kyuryo);
    a.fuyote = p.dependants * 10000;
    const double areaRate = s.zaimu == 1 ? 0.03 : s.zaimu == 2 ? 0.01 : 0.0;
    a.kmchiiki = roundYen((a.kyuryo + a.ktyogk + a.styogk + a.fuyote) * areaRate);
    a.kbchiiki = roundYen((a.kyuryo + a.ktyogk + a.styogk) * areaRate);
    a.period = 600;
    if (rng.percent(12)) a.period = rng.pick(std::array<std::int64_t, 6>{515, 430, 315, 200, 115, 10});
    a.kmRate = periodRate(a.period);
    if (p.dailyPaid()) a.kbRate = 0;
    else a.kbRate = a.period >= 600 ? rng.pick(std::array<double, 4>{95, 95, 100, 67.5}) : periodRate(a.period);
    a.kimatuKiso = a.kyuryo + a.ktyogk + a.styogk + a.fuyote + a.kmchiiki;
    a.kinbenKiso = a.kyuryo + a.ktyogk + a.styogk + a.kbchiiki;
    return a;
}

// Writes the payment records of the processing month into SKSYKEI.
class PaymentWriter {
public:
    PaymentWriter(Connection& db, Rng& rng, const std::vector<School>& schools, std::int64_t syorid)
        : m_kei(db, "SKSYKEI"), m_rng(rng), m_schools(schools), m_syorid(syorid), m_march(syorid % 100 == 3)
    {
    }

    // A term-end and diligence allowance record (pay kind 2 or 5) for the months given.
    void allowance(const Person& p, std::int64_t kyusyu, double kimatuMonths, double kinbenMonths);
    // A differential payment: the retroactive difference of a pay revision (two months).
    void differential(const Person& p);
    std::int64_t rows() const { return m_kei.rows(); }

private:
    // The columns every payment record begins with: the month, the pay kind and the block
    // of its slot (0, 1, 2 for pay kinds 2, 5, 3), the staff member and the base pay.
    TableWriter& payment(const Person& p, std::int64_t kyusyu, std::size_t slot, std::int64_t kyuryo,
                         std::int64_t ktyogk, std::int64_t styogk);

    TableWriter m_kei;
    Rng& m_rng;
    const std::vector<School>& m_schools;
    std::int64_t m_syorid;
    bool m_march;
};

TableWriter& PaymentWriter::payment(const Person& p, std::int64_t kyusyu, std::size_t slot, std::int64_t kyuryo,
                                    std::int64_t ktyogk, std::int64_t styogk)
{
    const School& s = m_schools[p.school];
    return m_kei.set("SKYUYM", m_syorid)
        .set("KYUSYU", kyusyu)
        .set("SYRFLG", std::int64_t{s.block[slot]})
        .set("SYOSYU", p.syosyu)
        .set("SYOZOK", syozok(s.code))
        .set("SYOKCD", p.syokcd)
        .set("KGOKYU", p.grade)
        .set("KGOGHO", p.step)
        .set("KYURYO", kyuryo)
        .set("KTYOGK", ktyogk)
        .set("STYOGK", styogk);
}

void PaymentWriter::allowance(const Person& p, std::int64_t kyusyu, double kimatuMonths, double kinbenMonths)
{
    const Allowance a = allowanceOf(m_rng, p, m_schools[p.school]);
    const std::int64_t kimatu = floorYen(a.kimatuKiso * kimatuMonths * a.kmRate / 100);
    const std::int64_t kinben = p.dailyPaid() ? 0 : floorYen(a.kinbenKiso * kinbenMonths * a.kbRate / 100);
    const std::int64_t kmzoge = m_march ? roundYen(a.kimatuKiso * -0.0035) : 0;
    const std::int64_t ssikyu = kimatu + kinben + kmzoge;
    const std::int64_t zenkaz = roundYen((a.kyuryo + a.ktyogk + a.styogk + a.fuyote) * 0.86);
    const double taxRate = bonusTaxRate(zenkaz, p.dependants);
    const std::int64_t kenko = roundYen(ssikyu * 0.0465);
    const std::int64_t kosei = roundYen(ssikyu * 0.0915);
    const std::int64_t koyou = p.dailyPaid() ? roundYen(ssikyu * 0.006) : 0;
    const std::int64_t syotok = floorYen((ssikyu - kenko - kosei - koyou) * taxRate / 100);
    payment(p, kyusyu, kyusyu == 2 ? 0 : 1, a.kyuryo, a.ktyogk, a.styogk)
        .set("KBCHIIKI", a.kbchiiki)
        .set("FUYOTE", a.fuyote)
        .set("KMCHIIKI", a.kmchiiki)
        .set("KIMATU", kimatu)
        .set("KINBEN", kinben)
        .set("KMZOGE", kmzoge)
        .set("SSIKYU", ssikyu)
        .set("ZENKAZ", zenkaz)
        .set("SYOTOK", syotok)
        .set("KOYOU", koyou)
        .set("KENKO", kenko)
        .set("KOSEI", kosei)
        .set("SASIHK", ssikyu - syotok - koyou - kenko - kosei)
        .set("KMRITU", roundYen(a.kmRate * 100000))
        .set("KBRITU", roundYen(a.kbRate * 100000))
        .set("FSINSU", p.dependants)
        .set("ZEIRT2", taxRate)
        .set("KMMMDD", a.period)
        .set("KBMMDD", p.dailyPaid() ? std::int64_t{0} : a.period);
    m_kei.insert();
}

// Amounts drawn for a differential payment, beside the base pay.
struct Differential {
    std::int64_t chiiki, tukinh, tukink, jyukyo, syukuh, kisyuh, syukuk, kisyuk, hekici, hekjun, zangyo, kyujit, kimatu,
        kinben;
    std::int64_t sum() const
    {
        return chiiki + tukinh + tukink + jyukyo + syukuh + kisyuh + syukuk + kisyuk + hekici + hekjun + zangyo +
               kyujit + kimatu + kinben;
    }
};

// Draws what a differential payment holds beside the base pay; the order of the draws is
// that of the columns.
Differential differentialOf(Rng& rng, const Person& p, const School& s, std::int64_t kyuryo, std::int64_t ktyogk)
{
    Differential d{};
    d.chiiki = s.zaimu == 1 ? roundYen((kyuryo + ktyogk) * 0.03) : 0;
    d.tukinh = rng.percent(15) ? rng.range(1, 20) * 100 : 0;
    d.tukink = rng.percent(5) ? rng.range(1, 10) * 100 : 0;
    d.jyukyo = rng.percent(10) ? rng.range(-5, 10) * 100 : 0;
    d.syukuh = rng.percent(8) ? 2000 : 0;
    d.kisyuh = rng.percent(3) ? 1000 : 0;
    d.syukuk = rng.percent(5) ? 1500 : 0;
    d.kisyuk = rng.percent(2) ? 800 : 0;
    d.hekici = s.remote ? roundYen((kyuryo + ktyogk) * 0.08) : 0;
    d.hekjun = s.remote && rng.percent(30) ? roundYen((kyuryo + ktyogk) * 0.04) : 0;
    d.zangyo = p.syosyu == 7 && rng.percent(40) ? rng.range(1, 30) * 250 : 0;
    d.kyujit = p.syosyu == 7 && rng.percent(15) ? rng.range(1, 8) * 300 : 0;
    d.kimatu = rng.percent(50) ? roundYen(kyuryo * 0.6) : 0;
    d.kinben = d.kimatu && !p.dailyPaid() ? roundYen(kyuryo * 0.45) : 0;
    return d;
}

void PaymentWriter::differential(const Person& p)
{
    const std::int64_t kyuryo = roundYen(p.salary * 0.003) * 2;
    const std::int64_t ktyogk = p.syosyu <= 4 || p.syosyu == 10 ? roundYen(kyuryo * 0.04) : 0;
    const std::int64_t styogk = p.syosyu <= 2 ? roundYen(kyuryo * 0.1) : 0;
    const Differential d = differentialOf(m_rng, p, m_schools[p.school], kyuryo, ktyogk);
    const std::int64_t ssikyu = kyuryo + ktyogk + styogk + d.sum();
    const std::int64_t kazeig = ssikyu - d.tukinh;
    const std::int64_t kenko = roundYen(kazeig * 0.0465);
    const std::int64_t kosei = roundYen(kazeig * 0.0915);
    const std::int64_t koyou = p.dailyPaid() ? roundYen(kazeig * 0.006) : 0;
    const std::int64_t nenfus = m_rng.percent(25) ? m_rng.range(-60, 40) * 100 : 0;
    const std::int64_t kougok = m_rng.percent(5) ? m_rng.range(1, 20) * 1000 : 0;
    payment(p, 3, 2, kyuryo, ktyogk, styogk)
        .set("CHIIKI", d.chiiki)
        .set("KTOKUB", std::int64_t{0})
        .set("TUKINH", d.tukinh)
        .set("TUKINK", d.tukink)
        .set("JYUKYO", d.jyukyo)
        .set("FUYOTE", std::int64_t{0})
        .set("SYUKUH", d.syukuh)
        .set("KISYUH", d.kisyuh)
        .set("SYUKUK", d.syukuk)
        .set("KISYUK", d.kisyuk)
        .set("HEKICI", d.hekici)
        .set("HEKJUN", d.hekjun)
        .set("ZANGYO", d.zangyo)
        .set("KYUJIT", d.kyujit)
        .set("KIMATU", d.kimatu)
        .set("KINBEN", d.kinben)
        .set("KAZEIG", kazeig)
        .set("SSIKYU", ssikyu)
        .set("KENKO", kenko)
        .set("KOSEI", kosei)
        .set("KOYOU", koyou)
        .set("NENFUS", nenfus)
        .set("KOUGOK", kougok)
        .set("SASIHK", ssikyu - kenko - kosei - koyou - kougok + nenfus);
    m_kei.insert();
}

// Every staff member's allowance (pay kind 2), about one in five of its daily-paid form
// (pay kind 5), and every staff member's differential payment (pay kind 3).
std::int64_t writePayments(Connection& db, Rng& rng, const std::vector<School>& schools,
                           const std::vector<Person>& staff, std::int64_t syorid)
{
    PaymentWriter kei(db, rng, schools, syorid);
    const bool march = syorid % 100 == 3;
    const double kimatuMonths = march ? 0.0 : syorid % 100 == 12 ? 1.25 : 1.20;
    const double kinbenMonths = march ? 0.0 : syorid % 100 == 12 ? 1.05 : 0.95;
    for (const Person& p : staff) kei.allowance(p, 2, kimatuMonths, kinbenMonths);
    for (const Person& p : staff)
        if (rng.percent(20)) kei.allowance(p, 5, kimatuMonths * 0.55, kinbenMonths * 0.45);
    for (const Person& p : staff) kei.differential(p);
    return kei.rows();
}

// ---- salary-expense summary of the fiscal year ----

constexpr std::array<const char*, 21> kSumiAmounts = {
    "KYUYO",  "KTYOGK", "STYOGK", "CHIIKI", "KTOKUB", "FUYOTE", "JYUKYO", "TUKINH", "TUKINK", "HEKICI", "HEKJUN",
    "SYUKUH", "SYUKUK", "TANSIN", "TOKGYO", "ZANGYO", "JIDOU",  "KIMATU", "KINBEN", "KYUJIT", "TAGAKU"};

// Monthly amounts of one finance office and school type, from the staff's pay.
struct Group {
    std::int64_t ninzu = 0;
    std::array<std::int64_t, 21> monthly{};
    std::int64_t bonusBase = 0;
};

using Groups = std::map<std::pair<std::int64_t, std::int64_t>, Group>; // (zaimu, type)

void addToGroup(Group& g, const Person& p, const School& s)
{
    ++g.ninzu;
    const std::int64_t ktyogk = p.syosyu <= 4 || p.syosyu == 10 ? roundYen(p.salary * 0.04) : 0;
    const std::int64_t styogk = adjustmentOf(p, p.salary);
    g.monthly[0] += p.salary;
    g.monthly[1] += ktyogk;
    g.monthly[2] += styogk;
    g.monthly[3] += s.zaimu == 1 ? roundYen((p.salary + ktyogk) * 0.03) : 0;
    g.monthly[4] += p.syosyu == 1 ? 5000 : 0; // KTOKUB
    g.monthly[5] += p.dependants * 10000; // FUYOTE
    g.monthly[6] += (p.syokcd % 7 == 0) ? 27000 : 0; // JYUKYO
    g.monthly[7] += (p.syokcd % 3 == 0) ? 4200 : 0; // TUKINH
    g.monthly[8] += (p.syokcd % 11 == 0) ? 1800 : 0; // TUKINK
    g.monthly[9] += s.remote ? roundYen((p.salary + ktyogk) * 0.08) : 0; // HEKICI
    g.monthly[10] += s.remote && p.syokcd % 4 == 0 ? 3000 : 0; // HEKJUN
    g.monthly[11] += p.syosyu == 3 && p.syokcd % 5 == 0 ? 4400 : 0; // SYUKUH
    g.monthly[12] += p.syosyu == 3 && p.syokcd % 9 == 0 ? 2200 : 0; // SYUKUK
    g.monthly[13] += p.syokcd % 31 == 0 ? 30000 : 0; // TANSIN
    g.monthly[14] += p.syosyu == 3 && p.syokcd % 2 == 0 ? 3600 : 0; // TOKGYO
    g.monthly[15] += p.syosyu == 7 ? 12000 : 0; // ZANGYO
    g.monthly[16] += p.dependants >= 2 ? 10000 : 0; // JIDOU
    g.monthly[19] += p.syosyu == 7 ? 2500 : 0; // KYUJIT
    g.monthly[20] += p.syosyu == 3 && p.syokcd % 13 == 0 ? 1000 : 0; // TAGAKU
    g.bonusBase += p.salary + ktyogk + styogk + p.dependants * 10000;
}

// One month's row of a group: the monthly amounts varied a little, the allowances in
// June and December; April of the next year (lateApril) holds only the payments that
// belong to March.
void writeSummaryMonth(TableWriter& sumi, Rng& rng, const Group& g, std::int64_t month, bool lateApril)
{
    for (std::size_t i = 0; i < kSumiAmounts.size(); ++i) {
        std::int64_t v = g.monthly[i];
        if (lateApril) {
            // Only the allowances paid in arrears: overtime, holiday and duty work.
            v = (i == 11 || i == 12 || i == 14 || i == 15 || i == 19) ? v : 0;
        } else if (v != 0) {
            v += roundYen(static_cast<double>(v) * static_cast<double>(rng.range(-20, 20)) / 1000.0);
        }
        sumi.set(kSumiAmounts[i], thousands(v));
    }
    if (!lateApril && (month == 6 || month == 12)) {
        sumi.set("KIMATU", thousands(floorYen(g.bonusBase * (month == 6 ? 1.20 : 1.25))));
        sumi.set("KINBEN", thousands(floorYen(g.bonusBase * (month == 6 ? 0.95 : 1.05))));
    }
    sumi.insert();
}

std::int64_t writeSummary(Connection& db, Rng& rng, const Groups& groups, std::int64_t nendo)
{
    TableWriter sumi(db, "SKSUMI");
    for (const auto& [key, g] : groups) {
        for (int m = 0; m < 13; ++m) {
            const std::int64_t year = nendo + (m >= 9 ? 1 : 0);
            const std::int64_t month = (m + 3) % 12 + 1;
            const bool lateApril = m == 12; // April of the next year: payments that belong to March
            sumi.set("NENDO", nendo)
                .set("ZAIMU", key.first)
                .set("SYOCHU", key.second)
                .set("SHARYM", year * 100 + month)
                .set("NINZU", lateApril ? 0 : g.ninzu);
            writeSummaryMonth(sumi, rng, g, month, lateApril);
        }
    }
    return sumi.rows() + completeSalaryExpenseSummary(db, nendo);
}

void removeEarlierFiles(const fs::path& dir)
{
    fs::create_directories(dir);
    for (const char* f : {kov::db::kPayrollIni, kov::db::kNamesIni, kov::db::kPayrollDbFile, kov::db::kNamesDbFile}) {
        fs::remove(dir / f);
        fs::remove(dir / (std::string(f) + "-journal"));
    }
}

} // namespace

DemoSummary generateDemo(const DemoOptions& opt)
{
    if (opt.outDir.empty()) throw std::runtime_error("no output folder");
    const fs::path dir(opt.outDir);
    removeEarlierFiles(dir);

    Rng rng(opt.seed);
    DemoSummary summary;
    const std::int64_t nSchools = std::clamp<std::int64_t>((opt.staff + 17) / 18, 4, 4000);
    std::vector<School> schools = makeSchools(rng, nSchools);
    const std::vector<BlockSlot> blocks = makeBlocks(schools);
    std::vector<Person> staff;
    staff.reserve(static_cast<std::size_t>(opt.staff));
    for (std::int64_t j = 0; j < opt.staff; ++j) staff.push_back(makePerson(rng, j, nSchools, opt.syorid));
    summary.schools = nSchools;
    summary.blocks = static_cast<int>(blocks.size());
    summary.staff = opt.staff;

    Connection db = kov::db::createPayrollDatabase((dir / kov::db::kPayrollDbFile).string());
    db.exec("PRAGMA journal_mode = OFF");
    db.exec("BEGIN");
    writeKanri(db, opt);
    writeSchoolsAndBlocks(db, schools, blocks);
    TableWriter syoku(db, "SKSYOKU");
    for (const Person& p : staff) writeStaffMember(syoku, p, schools[p.school], opt.syorid);
    summary.payments = writePayments(db, rng, schools, staff, opt.syorid);
    Groups groups;
    for (const Person& p : staff) {
        const School& s = schools[p.school];
        addToGroup(groups[{s.zaimu, s.type}], p, s);
    }
    summary.summaryRows = writeSummary(db, rng, groups, opt.nendo);
    db.exec("COMMIT");
    db.exec("ANALYZE");
    db.close();

    Connection names = kov::db::createNameDatabase((dir / kov::db::kNamesDbFile).string());
    kov::db::insertRow(names, kov::db::kNameTable, kov::db::standardNames());
    names.close();
    kov::db::writeIni((dir / kov::db::kPayrollIni).string(), kov::db::kPayrollDbFile);
    kov::db::writeIni((dir / kov::db::kNamesIni).string(), kov::db::kNamesDbFile);
    return summary;
}

} // namespace kov::gendemo
