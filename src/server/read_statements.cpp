#include "server/read_statements.h"

namespace velmora::server {
namespace {

std::u16string readStatement(std::u16string_view select, std::u16string_view nameAsSent,
                             std::u16string_view condition) {
  std::u16string text(select);
  text += u" from ";
  text += nameAsSent;
  text += whereClause(condition);
  return text;
}

}  // namespace

std::u16string whereClause(std::u16string_view condition) {
  if (condition.empty())
    return {};
  return u" where (" + std::u16string(condition) + u")";
}

std::u16string tableReadStatement(std::u16string_view nameAsSent, std::u16string_view condition) {
  return readStatement(u"select *", nameAsSent, condition);
}

std::u16string tableCheckStatement(std::u16string_view nameAsSent, std::u16string_view condition) {
  return readStatement(u"select top 0 *", nameAsSent, condition);
}

std::u16string firstRowStatement(std::u16string_view nameAsSent, std::u16string_view condition) {
  return readStatement(u"select top 1 *", nameAsSent, condition);
}

}  // namespace velmora::server
