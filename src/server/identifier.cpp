#include "server/identifier.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>

#include <QChar>

namespace velmora::server {

namespace {

// The T-SQL reserved keywords, sorted. A name equal to one of them (in any case) must be
// bracketed to be read as a name.
// clang-format off
constexpr std::string_view kReservedKeywords[] = {
    "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUTHORIZATION", "BACKUP", "BEGIN",
    "BETWEEN", "BREAK", "BROWSE", "BULK", "BY", "CASCADE", "CASE", "CHECK", "CHECKPOINT", "CLOSE",
    "CLUSTERED", "COALESCE", "COLLATE", "COLUMN", "COMMIT", "COMPUTE", "CONSTRAINT", "CONTAINS",
    "CONTAINSTABLE", "CONTINUE", "CONVERT", "CREATE", "CROSS", "CURRENT", "CURRENT_DATE",
    "CURRENT_TIME", "CURRENT_TIMESTAMP", "CURRENT_USER", "CURSOR", "DATABASE", "DBCC",
    "DEALLOCATE", "DECLARE", "DEFAULT", "DELETE", "DENY", "DESC", "DISK", "DISTINCT",
    "DISTRIBUTED", "DOUBLE", "DROP", "DUMP", "ELSE", "END", "ERRLVL", "ESCAPE", "EXCEPT", "EXEC",
    "EXECUTE", "EXISTS", "EXIT", "EXTERNAL", "FETCH", "FILE", "FILLFACTOR", "FOR", "FOREIGN",
    "FREETEXT", "FREETEXTTABLE", "FROM", "FULL", "FUNCTION", "GOTO", "GRANT", "GROUP", "HAVING",
    "HOLDLOCK", "IDENTITY", "IDENTITYCOL", "IDENTITY_INSERT", "IF", "IN", "INDEX", "INNER",
    "INSERT", "INTERSECT", "INTO", "IS", "JOIN", "KEY", "KILL", "LEFT", "LIKE", "LINENO", "LOAD",
    "MERGE", "NATIONAL", "NOCHECK", "NONCLUSTERED", "NOT", "NULL", "NULLIF", "OF", "OFF",
    "OFFSETS", "ON", "OPEN", "OPENDATASOURCE", "OPENQUERY", "OPENROWSET", "OPENXML", "OPTION",
    "OR", "ORDER", "OUTER", "OVER", "PERCENT", "PIVOT", "PLAN", "PRECISION", "PRIMARY", "PRINT",
    "PROC", "PROCEDURE", "PUBLIC", "RAISERROR", "READ", "READTEXT", "RECONFIGURE", "REFERENCES",
    "REPLICATION", "RESTORE", "RESTRICT", "RETURN", "REVERT", "REVOKE", "RIGHT", "ROLLBACK",
    "ROWCOUNT", "ROWGUIDCOL", "RULE", "SAVE", "SCHEMA", "SECURITYAUDIT", "SELECT",
    "SEMANTICKEYPHRASETABLE", "SEMANTICSIMILARITYDETAILSTABLE", "SEMANTICSIMILARITYTABLE",
    "SESSION_USER", "SET", "SETUSER", "SHUTDOWN", "SOME", "STATISTICS", "SYSTEM_USER", "TABLE",
    "TABLESAMPLE", "TEXTSIZE", "THEN", "TO", "TOP", "TRAN", "TRANSACTION", "TRIGGER", "TRUNCATE",
    "TRY_CONVERT", "TSEQUAL", "UNION", "UNIQUE", "UNPIVOT", "UPDATE", "UPDATETEXT", "USE", "USER",
    "VALUES", "VARYING", "VIEW", "WAITFOR", "WHEN", "WHERE", "WHILE", "WITH", "WITHIN GROUP",
    "WRITETEXT"};
// clang-format on
static_assert(std::is_sorted(std::begin(kReservedKeywords), std::end(kReservedKeywords)));

// Letters and decimal digits are the Unicode general categories L* and Nd, so Chinese names
// stay bare while an ideographic space, a no-break space, full-width punctuation or an emoji
// make a name irregular.
bool isRegularIdentifier(std::u16string_view name) {
  if (name.empty())
    return false;
  bool first = true;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char32_t c = name[i];
    if (QChar::isHighSurrogate(c) && i + 1 < name.size() && QChar::isLowSurrogate(name[i + 1])) {
      c = QChar::surrogateToUcs4(name[i], name[i + 1]);
      ++i;
    }
    const bool allowed = QChar::isLetter(c) || c == U'_' ||
                         (!first && (QChar::isDigit(c) || c == U'@' || c == U'#' || c == U'$'));
    if (!allowed)
      return false;
    first = false;
  }
  return true;
}

bool isReservedKeyword(std::u16string_view name) {
  constexpr std::size_t kLongest = 30;
  if (name.size() > kLongest)
    return false;
  std::array<char, kLongest> upper{};
  for (std::size_t i = 0; i < name.size(); ++i) {
    char16_t c = name[i];
    if (c >= 0x80)
      return false;
    upper[i] = static_cast<char>((c >= u'a' && c <= u'z') ? c - u'a' + u'A' : c);
  }
  return std::binary_search(std::begin(kReservedKeywords), std::end(kReservedKeywords),
                            std::string_view(upper.data(), name.size()));
}

}  // namespace

std::u16string sqlIdentifier(std::u16string_view name) {
  if (isRegularIdentifier(name) && !isReservedKeyword(name))
    return std::u16string(name);
  return enclosed(name, u'[', u']');
}

std::u16string enclosed(std::u16string_view text, char16_t open, char16_t close) {
  std::u16string result;
  result.reserve(text.size() + 2);
  appendEnclosed(result, text, open, close);
  return result;
}

}  // namespace velmora::server
