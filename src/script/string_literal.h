#pragma once

#include <string>
#include <string_view>

namespace velmora::script {

// Appends `text` (codeset bytes) as a T-SQL string literal: between single quotes with every
// quote doubled, after an N for a Unicode column (else the server turns the text into the
// database's code page first). A text that a script runner would misread is written as
// quoted pieces joined at each CR and LF by +char(13)+ and +char(10)+ instead
// ('a\'+char(13)+char(10)+'b', each piece with the N when `national`): one where a backslash
// stands right before a line break (T-SQL drops both as a line continuation), or where a line
// is a batch separator (GO, any case, alone but for blanks and tabs, maybe with a count).
// Elsewhere line breaks stay in the literal as they are.
void appendStringLiteral(std::string& line, std::string_view text, bool national);

// Whether appendStringLiteral writes `text`, before its trimming, as it is between the quotes:
// no byte 0..32 at either end, no quote, no line break, and not a batch separator. Most values
// are such, and can be written straight into the line.
bool isPlainLiteralText(std::string_view text);

}  // namespace velmora::script
