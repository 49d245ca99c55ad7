// The database password that protects the current database and every data file alike.
#pragma once

namespace cs::db {
inline constexpr char kDatabasePassword[] = "qed5190";
}  // namespace cs::db
