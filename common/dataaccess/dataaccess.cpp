#include "dataaccess.h"

#include "common/runtimeerror.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>

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

namespace {
std::mutex& sessionMutex()
{
    static std::mutex m;
    return m;
}
std::string& programNameSlot()
{
    static std::string name;
    return name;
}
std::function<void()>& waitHookSlot()
{
    static std::function<void()> hook;
    return hook;
}
std::function<void()>& endHookSlot()
{
    static std::function<void()> hook;
    return hook;
}
} // namespace

void setProgramName(std::string name)
{
    const std::lock_guard lock(sessionMutex());
    programNameSlot() = std::move(name);
}

std::string programName()
{
    const std::lock_guard lock(sessionMutex());
    return programNameSlot();
}

void setWaitHook(std::function<void()> hook) { waitHookSlot() = std::move(hook); }

void callWaitHook()
{
    if (const std::function<void()>& hook = waitHookSlot()) hook();
}

void setEndHook(std::function<void()> hook) { endHookSlot() = std::move(hook); }

void callEndHook()
{
    if (const std::function<void()>& hook = endHookSlot()) hook();
}

namespace {
std::map<std::string, std::function<std::unique_ptr<ComObject>()>, std::less<>>& registry()
{
    static std::map<std::string, std::function<std::unique_ptr<ComObject>()>, std::less<>> r;
    return r;
}
std::mutex& registryMutex()
{
    static std::mutex m;
    return m;
}
} // namespace

void RegisterClass(const std::string& progId, std::function<std::unique_ptr<ComObject>()> factory)
{
    std::lock_guard lock(registryMutex());
    registry()[progId] = std::move(factory);
}

void UnregisterAll()
{
    std::lock_guard lock(registryMutex());
    registry().clear();
}

std::unique_ptr<ComObject> CreateObject(std::string_view progId)
{
    std::function<std::unique_ptr<ComObject>()> factory;
    {
        std::lock_guard lock(registryMutex());
        auto it = registry().find(progId);
        if (it != registry().end()) factory = it->second;
    }
    if (!factory) throw RuntimeError(RuntimeErrorKind::ObjectCreation, "ProgID \"" + std::string(progId) + "\"");
    return factory();
}

void throwTypeMismatchForObject(std::string_view progId)
{
    throwTypeMismatch("ProgID \"" + std::string(progId) + "\"");
}

} // namespace kov::dataaccess
