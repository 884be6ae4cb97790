#pragma once
// The one decoder of SQLite column values, for the data-access component and for the
// tools and tests that read SQLite files: a column of the current row as a DbValue,
// typed by its storage class (a blob as its bytes). Header only: whoever includes it
// links tessera_sqlitevalue, which brings SQLite, and not the whole component.
#include "common/dataaccess/dataaccess.h"

#include <sqlite3.h>

#include <string>

namespace kov::sqlite {

inline kov::dataaccess::DbValue columnValue(sqlite3_stmt* stmt, int i)
{
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
        return static_cast<std::int64_t>(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt, i);
    case SQLITE_NULL:
        return std::monostate{};
    default: {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, i));
        return std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)));
    }
    }
}

} // namespace kov::sqlite
