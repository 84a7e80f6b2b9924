#pragma once

#include <string>
#include <string_view>

namespace velmora::server {

// The statements that read a table, named as statements name it ("[Order Details]",
// "Sales.Customer"), narrowed by a row condition as the user typed it: the condition goes to
// the server unchanged, between parentheses, so that any T-SQL search condition works and an
// OR in it stays inside. An empty condition reads every row.

// " where (<condition>)", or nothing for an empty condition.
std::u16string whereClause(std::u16string_view condition);

// "select * from <table>" and its where clause: the rows a run writes.
std::u16string tableReadStatement(std::u16string_view nameAsSent, std::u16string_view condition);

// "select top 0 * from <table>" and its where clause: the server checks the condition and
// describes the columns without sending a row.
std::u16string tableCheckStatement(std::u16string_view nameAsSent, std::u16string_view condition);

// "select top 1 * from <table>" and its where clause: whether a run writes a row of the
// table. A read that can return a row also fixes the view of a SNAPSHOT transaction.
std::u16string firstRowStatement(std::u16string_view nameAsSent, std::u16string_view condition);

}  // namespace velmora::server
