#include "tessera/idlepool.h"

#include <list>

namespace kov::tessera {

PooledConnection::~PooledConnection() = default;

namespace {

constinit bool g_poolGone = false;

// The idle connections, most recently kept first. The engines use them from the
// programs' one thread; they are gone once the statics of the process are destroyed.
struct IdleList {
    std::list<std::shared_ptr<PooledConnection>> connections;
    ~IdleList() { g_poolGone = true; }
};

std::list<std::shared_ptr<PooledConnection>>& idle()
{
    static IdleList pool;
    return pool.connections;
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
    if (g_poolGone) return nullptr;
    std::list<std::shared_ptr<PooledConnection>>& pool = idle();
    for (auto it = pool.begin(); it != pool.end();) {
        if ((*it)->poolKey != key) {
            ++it;
        } else if (!fits || fits(**it)) {
            std::shared_ptr<PooledConnection> conn = std::move(*it);
            pool.erase(it);
            return conn;
        } else {
            it = pool.erase(it); // closed
        }
    }
    return nullptr;
}

void keepIdle(std::shared_ptr<PooledConnection> conn)
{
    if (g_poolGone) return;
    conn->idleSince = std::chrono::steady_clock::now();
    idle().push_front(std::move(conn));
    if (idle().size() > kIdleTotal) idle().pop_back();
}

void closeIdleConnections()
{
    if (!g_poolGone) idle().clear();
}

} // namespace kov::tessera
