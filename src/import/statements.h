// The SQL the imports run themselves, built from their fixed pieces.
#pragma once

#include <string>

namespace cs::import {

// "[MS Access;DATABASE=<ToFile>;PWD=qed5190].[<table>]": a table of the current database named
// in a statement run on the data file.
std::string LinkedTable(const std::string& ToFile, const std::string& table);

// "INSERT INTO <linked table> SELECT * FROM <source>", run on the data file.
std::string CopyInto(const std::string& ToFile, const std::string& table,
                     const std::string& source);

// A text put inside an SQL string literal: each ' doubled.
std::string SqlText(const std::string& text);
// A text put at the head of a Like pattern, matching itself: %, _ and [ bracketed.
std::string LikeText(const std::string& text);

// Writes the vendor's prefix in front of every SKU of the data file that does not carry it.
std::string PrefixSkusStatement(const std::string& prefix);
// Deletes the current database's rows whose SKU begins with the prefix.
std::string DeleteOldSkusStatement(const std::string& prefix);

// The month-to-date merge: new SKUs inserted, the 31 columns of known SKUs updated.
extern const char kInsertNewSkus[];
extern const char kUpdateKnownSkus[];

// The custom import's three updates of the store and competitor tables.
extern const char kClearComp5[];
extern const char kSetComp5[];
extern const char kNameComp5[];

}  // namespace cs::import
