#include "dataaccess.h"

#include "common/runtimeerror.h"

#include <cmath>
#include <cstdio>
#include <map>

namespace kov::dataaccess {

DbHandle::~DbHandle() = default;
ComObject::~ComObject() = default;

ReadRun::ReadRun(clsDbAccess* db) : m_db(db)
{
    if (m_db) m_db->DAO_ReadBegin();
}

// Its status is the reads' own: a failure shows at the read that meets it.
void ReadRun::end()
{
    if (m_db) m_db->DAO_ReadEnd();
    m_db = nullptr;
}

bool isNull(const DbValue& v) { return std::holds_alternative<std::monostate>(v); }

std::string toText(const DbValue& v)
{
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15g", *d);
        return buf;
    }
    return {};
}

Currency toCurrency(const DbValue& v)
{
    if (const auto* i = std::get_if<std::int64_t>(&v)) return Currency::fromInt(*i);
    if (const auto* d = std::get_if<double>(&v)) return Currency::fromDouble(*d);
    if (const auto* s = std::get_if<std::string>(&v)) return Currency::parse(*s);
    return {};
}

std::int16_t toInt16(const DbValue& v) { return kov::toInt16(toCurrency(v)); }

// The column's text is made only for an error: these run for every amount of every row.
Currency toCurrency(const DbValue& v, std::string_view column)
{
    try {
        return toCurrency(v);
    } catch (RuntimeError& e) {
        e.addContext("列「" + std::string(column) + "」");
        throw;
    }
}

std::int16_t toInt16(const DbValue& v, std::string_view column)
{
    try {
        return toInt16(v);
    } catch (RuntimeError& e) {
        e.addContext("列「" + std::string(column) + "」");
        throw;
    }
}

// What the program and the component set for each other. The programs and the component
// run on one thread: the PostgreSQL engine's thread that cancels a statement touches none
// of it.
namespace {
std::string g_programName;
std::function<void()> g_waitHook;
std::function<void()> g_endHook;
std::map<std::string, std::function<std::unique_ptr<ComObject>()>, std::less<>> g_registry;
} // namespace

void setProgramName(std::string name) { g_programName = std::move(name); }

std::string programName() { return g_programName; }

void setWaitHook(std::function<void()> hook) { g_waitHook = std::move(hook); }

void callWaitHook()
{
    if (g_waitHook) g_waitHook();
}

void setEndHook(std::function<void()> hook) { g_endHook = std::move(hook); }

void callEndHook()
{
    if (g_endHook) g_endHook();
}

void RegisterClass(const std::string& progId, std::function<std::unique_ptr<ComObject>()> factory)
{
    g_registry[progId] = std::move(factory);
}

void UnregisterAll() { g_registry.clear(); }

std::unique_ptr<ComObject> CreateObject(std::string_view progId)
{
    const auto it = g_registry.find(progId);
    if (it == g_registry.end())
        throw RuntimeError(RuntimeErrorKind::ObjectCreation, "ProgID \"" + std::string(progId) + "\"");
    return it->second();
}

void throwTypeMismatchForObject(std::string_view progId)
{
    throwTypeMismatch("ProgID \"" + std::string(progId) + "\"");
}

} // namespace kov::dataaccess
