#pragma once
// The statuses of the data-access component (their texts are shown by ComTessera):
// the one place where their numbers are written.
#include <cstdint>

namespace kov::dataaccess {
inline namespace status {

inline constexpr std::int16_t kStatusOk = 0;
inline constexpr std::int16_t kStatusDbOpenClose = -1;      // database cannot be opened / closed
inline constexpr std::int16_t kStatusTbOpenClose = -2;      // table cannot be opened (no name, no such table)
inline constexpr std::int16_t kStatusDbIsOpen = -4;         // DAO_DBOpen on an open connection
inline constexpr std::int16_t kStatusDbClosed = -5;         // no database, or the database is closed
inline constexpr std::int16_t kStatusTbIsOpen = -6;         // open on an open table object
inline constexpr std::int16_t kStatusTbClosed = -7;         // use of a table object that is not open
inline constexpr std::int16_t kStatusNotFound = -8;         // DAO_RecFind: no row matches
inline constexpr std::int16_t kStatusEof = -9;              // DAO_RecRead past the last row
inline constexpr std::int16_t kStatusBadName = -18;         // settings file name or content not usable
inline constexpr std::int16_t kStatusNoFolder = -19;        // folder of the settings or database file missing
inline constexpr std::int16_t kStatusNoFile = -20;          // settings or database file missing
inline constexpr std::int16_t kStatusNoArgument = -24;      // select list missing, or a mode that does not exist
inline constexpr std::int16_t kStatusSqlError = -66;        // the SQL built from the arguments failed
inline constexpr std::int16_t kStatusRowInitFailed = -99;   // the current row could not be set up

} // namespace status
} // namespace kov::dataaccess
