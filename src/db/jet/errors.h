// The errors of the database layer, numbered and worded as ADO and the Jet engine report them.
// They are thrown as RunError, the program's one run-time error type.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/run_error.h"

namespace cs::db::jet {

inline constexpr std::int32_t kErrTableNotFound = -2147217865;
inline constexpr std::int32_t kErrNoValueGiven = -2147217904;
inline constexpr std::int32_t kErrSyntax = -2147217900;
inline constexpr std::int32_t kErrPassword = -2147217843;
inline constexpr std::int32_t kErrGeneral = -2147467259;
inline constexpr std::int32_t kErrProvider = 3706;

RunError TableNotFound(const std::string& table);
RunError ColumnNotFound();
RunError SyntaxError(const std::string& clause);  // "Syntax error in FROM clause."
RunError TableExists(const std::string& table);
RunError ColumnExists(const std::string& column, const std::string& table);
RunError WrongPassword();
RunError FileNotFound(const std::string& path);
RunError NotADatabase(const std::string& path);
RunError TextTooLong();
RunError DuplicateKey();
RunError UnknownInsertField(const std::string& field);
RunError ProviderNotFound();
RunError InvalidName(std::string_view name);

// Turns an error of SQLite into the Jet error a user of the product would have seen.
RunError FromSqlite(int code, const std::string& message);

}  // namespace cs::db::jet
