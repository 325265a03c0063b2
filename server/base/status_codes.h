// Statuses the server answers statement requests with. SQLite's own failures
// keep SQLite's primary result code (1 to 28), and PostgreSQL's SQLSTATEs map
// onto the nearest of them (pg_status.h); the server's own failures use the
// range from 201 on.
#pragma once

#include <cstdint>

namespace dorvd {

constexpr int16_t kStatusOk = 0;
constexpr int16_t kStatusEndOfData = -9;

// SQLite's primary result codes that the server answers with, whichever
// backend failed.
constexpr int16_t kStatusError = 1;
constexpr int16_t kStatusBusy = 5;
constexpr int16_t kStatusNoMemory = 7;
constexpr int16_t kStatusReadOnly = 8;
constexpr int16_t kStatusInterrupted = 9;
constexpr int16_t kStatusIoError = 10;
constexpr int16_t kStatusCorrupt = 11;
constexpr int16_t kStatusFull = 13;
constexpr int16_t kStatusTooBig = 18;
constexpr int16_t kStatusConstraint = 19;
constexpr int16_t kStatusMismatch = 20;
constexpr int16_t kStatusNotAuthorized = 23;

constexpr int16_t kStatusUnknownDatabase = 201;
constexpr int16_t kStatusWrongPassword = 202;
constexpr int16_t kStatusOpenSyntax = 203;
constexpr int16_t kStatusResultTooLarge = 204;
constexpr int16_t kStatusOneStatementOnly = 205;
constexpr int16_t kStatusBadStatementText = 206;
constexpr int16_t kStatusPasswordFileUnreadable = 207;
constexpr int16_t kStatusSessionUnavailable = 208;
constexpr int16_t kStatusStatementTimeout = 209;
// PostgreSQL cannot be reached, or the connection to it was lost.
constexpr int16_t kStatusDatabaseUnreachable = 210;

} // namespace dorvd
