#pragma once
// The idle connections of the process. An engine closed with nothing open on its
// connection keeps the connection here, under a key of the engine and what it was
// opened on (a connection string and its options), and an open of the same key takes
// it back: a connection to a server is costly to make anew. The pool is bounded (the
// least recently kept closed first), and the connections left in it are closed when
// the program ends (closeIdleConnections, and the end of the process).
//
// What makes an idle connection fit for reuse is its engine's to judge (a server gone
// away).
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kov::tessera {

inline constexpr std::size_t kIdleTotal = 8; // idle connections kept

// A connection that may wait in the pool; its destructor closes it.
class PooledConnection {
public:
    virtual ~PooledConnection();
    std::string poolKey; // set by the engine when it opens it
    std::chrono::steady_clock::time_point idleSince; // when it was last kept
};

// The key of a connection of `engine` opened on `what`.
std::string idleKey(std::string_view engine, std::string_view what);

// False once the pool has been closed at the end of the process: engines closed later
// close their connections.
bool idlePoolOpen();

// The most recently kept idle connection of `key` for which `fits` holds, taken out of
// the pool; those of `key` found not to fit on the way are closed. Null when none.
// `fits` must not wait.
std::shared_ptr<PooledConnection> takeIdle(const std::string& key,
                                           const std::function<bool(const PooledConnection&)>& fits = {});

// Keeps `conn` idle (its idleSince set now); past the bounds the least recently kept
// connections are closed.
void keepIdle(std::shared_ptr<PooledConnection> conn);

// Closes every idle connection.
void closeIdleConnections();

} // namespace kov::tessera
