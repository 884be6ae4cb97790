#pragma once
// The statuses of the data-access component (their texts are shown by ComTessera):
// the one place where their numbers are written.
#include <cstdint>

namespace kov::dataaccess {
inline namespace status {

inline constexpr std::int16_t kStatusOk = 0;
inline constexpr std::int16_t kStatusDbOpenClose = -1; // database cannot be opened / closed
inline constexpr std::int16_t kStatusTbOpenClose = -2; // table cannot be opened (no name, no such table)
inline constexpr std::int16_t kStatusTbNoContent = -3; // the content of the table cannot be read
inline constexpr std::int16_t kStatusDbIsOpen = -4; // DAO_DBOpen on an open connection
inline constexpr std::int16_t kStatusDbClosed = -5; // no database, or the database is closed
inline constexpr std::int16_t kStatusTbIsOpen = -6; // open on an open table object
inline constexpr std::int16_t kStatusTbClosed = -7; // use of a table object that is not open
inline constexpr std::int16_t kStatusNotFound = -8; // DAO_RecFind: no row matches
inline constexpr std::int16_t kStatusEof = -9; // DAO_RecRead past the last row
inline constexpr std::int16_t kStatusRecAddFailed = -10; // a row cannot be added
inline constexpr std::int16_t kStatusRecEditFailed = -11; // a row cannot be edited
inline constexpr std::int16_t kStatusRecUpdateFailed = -12; // a row cannot be updated
inline constexpr std::int16_t kStatusRecDeleteFailed = -13; // a row cannot be deleted
inline constexpr std::int16_t kStatusRecCancelFailed = -14; // an edit of a row cannot be cancelled
inline constexpr std::int16_t kStatusTxBeginFailed = -15; // a transaction cannot begin
inline constexpr std::int16_t kStatusTxEndFailed = -16; // a transaction cannot end
inline constexpr std::int16_t kStatusTxRollbackFailed = -17; // a transaction cannot be rolled back
inline constexpr std::int16_t kStatusBadName = -18; // settings file name or content not usable
inline constexpr std::int16_t kStatusNoFolder = -19; // folder of the settings or database file missing
inline constexpr std::int16_t kStatusNoFile = -20; // settings or database file missing
inline constexpr std::int16_t kStatusRecIsNew = -21; // a new row is being made
inline constexpr std::int16_t kStatusRecIsEdited = -22; // the current row is being edited
inline constexpr std::int16_t kStatusRecNotEdited = -23; // the current row is not being edited
inline constexpr std::int16_t kStatusNoArgument = -24; // select list missing, or a mode that does not exist
inline constexpr std::int16_t kStatusSqlError = -66; // the SQL built from the arguments failed
inline constexpr std::int16_t kStatusCompactFailed = -77; // the database cannot be compacted
inline constexpr std::int16_t kStatusCompactNoSource = -84; // compacting: the database to compact is missing
inline constexpr std::int16_t kStatusCompactNoTargetFolder = -85; // compacting: the folder of the result is missing
inline constexpr std::int16_t kStatusCompactTargetExists = -86; // compacting: the result exists already
inline constexpr std::int16_t kStatusCompactBadSource = -87; // compacting: the database's name is not usable
inline constexpr std::int16_t kStatusCompactBadTarget = -88; // compacting: the result's name is not usable
inline constexpr std::int16_t kStatusCompactSameFile = -89; // compacting: database and result are one file
inline constexpr std::int16_t kStatusRowInitFailed = -99; // the current row could not be set up

} // namespace status
} // namespace kov::dataaccess
