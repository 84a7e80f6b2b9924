#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

#include "export_options.h"
#include "script/codeset.h"
#include "script/locale_formats.h"
#include "server/data_access.h"

namespace velmora::exporter {

// A connection input that the ODBC driver cannot be given (it holds "};"): which input, and
// its value as typed or, for the database, as the server lists it.
class InputRefused : public std::runtime_error {
 public:
  enum class Input { serverName, userName, password, databaseName };
  InputRefused(Input input, std::u16string value)
      : std::runtime_error("a connection input holds \"};\""),
        input_(input),
        value_(std::move(value)) {}
  Input input() const { return input_; }
  const std::u16string& value() const { return value_; }

 private:
  Input input_;
  std::u16string value_;
};

// Connects to "Master" and to the chosen database as the window does, ticks the tables and
// runs the generation run into MakeInitData.txt in the current directory, progress texts
// going to `progress` in the codeset. Throws InputRefused before connecting,
// session::ConnectionFailure, session::NameNotListed for an unknown database or table, and
// std::exception with the error's text (UTF-8) for every other failure: the server, the file.
void exportScript(const ExportOptions& options, server::ConnectionFactory& factory,
                  const script::Codeset& codeset, const script::LocaleFormats& formats,
                  std::FILE* progress);

}  // namespace velmora::exporter
