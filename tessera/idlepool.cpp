#include "tessera/idlepool.h"

#include <list>
#include <mutex>
#include <utility>
#include <vector>

namespace kov::tessera {

PooledConnection::~PooledConnection() = default;

namespace {

constinit bool g_poolGone = false;

class IdlePool {
public:
    IdlePool() = default;
    ~IdlePool() { g_poolGone = true; }
    IdlePool(const IdlePool&) = delete;
    IdlePool& operator=(const IdlePool&) = delete;

    std::shared_ptr<PooledConnection> take(const std::string& key,
                                           const std::function<bool(const PooledConnection&)>& fits)
    {
        std::vector<std::shared_ptr<PooledConnection>> unfit; // closed after the lock is let go
        const std::lock_guard lock(m_mutex);
        for (auto it = m_idle.begin(); it != m_idle.end();) {
            if ((*it)->poolKey != key) {
                ++it;
            } else if (!fits || fits(**it)) {
                std::shared_ptr<PooledConnection> conn = std::move(*it);
                m_idle.erase(it);
                return conn;
            } else {
                unfit.push_back(std::move(*it));
                it = m_idle.erase(it);
            }
        }
        return nullptr;
    }

    void put(std::shared_ptr<PooledConnection> conn)
    {
        std::vector<std::shared_ptr<PooledConnection>> evicted;
        const std::lock_guard lock(m_mutex);
        conn->idleSince = std::chrono::steady_clock::now();
        m_idle.push_front(std::move(conn));
        while (m_idle.size() > kIdleTotal) {
            evicted.push_back(std::move(m_idle.back()));
            m_idle.pop_back();
        }
    }

    // Every connection, out of the pool (closed by the caller, after the lock).
    std::list<std::shared_ptr<PooledConnection>> removeAll()
    {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_idle, {});
    }

private:
    std::mutex m_mutex;
    std::list<std::shared_ptr<PooledConnection>> m_idle; // most recently kept first
};

IdlePool& pool()
{
    static IdlePool instance;
    return instance;
}

} // namespace

std::string idleKey(std::string_view engine, std::string_view what)
{
    std::string key(engine);
    key += '\0';
    key += what;
    return key;
}

bool idlePoolOpen() { return !g_poolGone; }

std::shared_ptr<PooledConnection> takeIdle(const std::string& key,
                                           const std::function<bool(const PooledConnection&)>& fits)
{
    return g_poolGone ? nullptr : pool().take(key, fits);
}

void keepIdle(std::shared_ptr<PooledConnection> conn)
{
    if (!g_poolGone) pool().put(std::move(conn));
}

void closeIdleConnections()
{
    if (!g_poolGone) pool().removeAll();
}

} // namespace kov::tessera
