#pragma once

#include <cstdio>
#include <stdexcept>

#include "export_options.h"
#include "script/codeset.h"
#include "script/locale_formats.h"
#include "server/data_access.h"

namespace velmora::exporter {

// A connection input that the ODBC driver cannot be given (it holds "};"). what() says which.
class InputRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Connects to "Master" and to the chosen database as the window does, ticks the tables and
// runs the generation run into MakeInitData.txt in the current directory, progress texts
// going to `progress` in the codeset. Throws InputRefused before connecting,
// session::ConnectionFailure, and std::exception
// with the error's text (UTF-8) for every other failure: an unknown database or table, the
// server, the file.
void exportScript(const ExportOptions& options, server::ConnectionFactory& factory,
                  const script::Codeset& codeset, const script::LocaleFormats& formats,
                  std::FILE* progress);

}  // namespace velmora::exporter
