#pragma once

#include <nlohmann/json.hpp>

#include "cell.h"
#include "sql_type.h"
#include "text_codec.h"

namespace standin {

// Turns one fixture value into a cell of the given type. char, varchar and text values are
// encoded with `ansi` (the database's code page). Throws std::invalid_argument saying what is
// wrong with the value (wrong JSON kind, out of range, too long, bad date ...).
Cell parseCell(const nlohmann::json& value, const SqlType& type, CodePageEncoder& ansi);

// Decimal text ("-12.5", "1e3") as an integer scaled by 10^scale; throws when the text has
// more fraction digits than scale or more than 38 digits.
__int128 parseScaled(const std::string& text, int scale);

// The 16 bytes of a uniqueidentifier text in the order the wire carries them.
std::string parseGuid(const std::string& text);

}  // namespace standin
