#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cell.h"
#include "fixture.h"

namespace standin {

// What a result set's rows are encoded for: the client's TDS version, the session's TEXTSIZE
// and the database whose collation the text columns carry.
struct EncodeContext {
  uint32_t tdsVersion = 0;
  int64_t textSize = 4096;  // bytes; negative for no limit
  const Database* database = nullptr;
};

// Encodes COLMETADATA and ROW/NBCROW tokens for one result set, as a SQL Server sends them for
// the column types: fixed types for NOT NULL columns, nullable types otherwise, PLP for (max)
// and xml, text pointers for text/ntext/image, and the older forms for TDS 7.1 and 7.2.
class RowEncoder {
 public:
  RowEncoder(const std::vector<Column>& columns, const std::string& tableName,
             const EncodeContext& context);

  void putColMetadata(std::string& out) const;
  // Appends one row; `cells` holds a value for each column.
  void putRow(std::string& out, const std::vector<Cell>& cells) const;

  enum class Frame : uint8_t { Fixed, ByteLen, UShortLen, Plp, LongText, Variant };

  struct Plan {
    const Column* column = nullptr;
    SqlType type;  // the type as it goes on the wire (older clients get older types)
    uint8_t typeToken = 0;
    Frame frame = Frame::Fixed;
    int size = 0;         // value bytes of Fixed and ByteLen types; the maximum of UShortLen types
    bool asText = false;  // a time type sent as nvarchar to a client before TDS 7.3
    bool textSizeApplies = false;
  };

 private:
  void putTypeInfo(std::string& out, const Plan& plan) const;
  void putValue(std::string& out, const Plan& plan, const Cell& cell) const;

  std::vector<Plan> plans_;
  std::string tableName_;
  EncodeContext context_;
};

}  // namespace standin
