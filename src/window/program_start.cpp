#include "window/program_start.h"

#include <QApplication>

#include "script/codeset.h"
#include "script/locale_formats.h"
#include "window/error_reporting.h"
#include "window/make_sql_form.h"

namespace velmora::window {

namespace {

// Everything the window lives on, in the order it is made.
struct Program {
  explicit Program(const StartupParts& parts, MessagePresenter& presenter)
      : codeset(script::Codeset::processCodesetName()),
        formats(script::localeFormatsFromSystem(codeset)),
        factory(parts.makeConnectionFactory()),
        MakeSqlForm(*factory, codeset, formats, presenter) {}

  script::Codeset codeset;
  script::LocaleFormats formats;
  std::unique_ptr<server::ConnectionFactory> factory;
  TMakeSqlForm MakeSqlForm;
};

}  // namespace

int runMakeSqlForm(const StartupParts& parts, MessagePresenter& presenter) {
  std::unique_ptr<Program> program;
  try {
    parts.checkDataComponent();
    program = std::make_unique<Program>(parts, presenter);
  } catch (const std::exception& error) {
    presenter.present(startupErrorContent(error), nullptr);
    return 1;
  }
  program->MakeSqlForm.show();
  return QApplication::exec();
}

}  // namespace velmora::window
