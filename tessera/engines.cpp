// The engine factory: the engine that "Engine=" of a settings file names.
#include "tessera/backend.h"
#include "tessera/status.h"

namespace kov::tessera {

Cursor::~Cursor() = default;
Engine::~Engine() = default;

EngineOpen openEngine(const DatabaseLocation& location)
{
    if (location.engine == kEnginePostgresql)
        return openPostgresql(location.connection, location.busyTimeoutMs, location.readTimeoutS);
    if (location.engine == kEngineSqlite) return openSqlite(location.path, location.busyTimeoutMs);
    EngineOpen unknown;
    unknown.status = kStatusBadName;
    unknown.message = "unknown engine " + location.engine;
    return unknown;
}

} // namespace kov::tessera
