#include "window/program_start.h"

#include <dlfcn.h>

#include <QApplication>

#include "script/codeset.h"
#include "script/locale_formats.h"
#include "window/error_reporting.h"
#include "window/main_window.h"

namespace velmora::window {

namespace {

// Everything the window lives on, in the order it is made.
struct Program {
  explicit Program(const StartupParts& parts, MessagePresenter& presenter)
      : codeset(script::Codeset::processCodesetName()),
        formats(script::localeFormatsFromSystem(codeset)),
        factory(parts.makeConnectionFactory()),
        window(*factory, codeset, formats, presenter) {}

  script::Codeset codeset;
  script::LocaleFormats formats;
  std::unique_ptr<server::ConnectionFactory> factory;
  MainWindow window;
};

void checkDataComponent(const StartupParts& parts, MessagePresenter&, std::unique_ptr<Program>&) {
  parts.checkDataComponent();
}

void buildProgram(const StartupParts& parts, MessagePresenter& presenter,
                  std::unique_ptr<Program>& program) {
  program = std::make_unique<Program>(parts, presenter);
}

using StartupStep = void (*)(const StartupParts&, MessagePresenter&, std::unique_ptr<Program>&);

// Where `step` lies within the module that holds it, so that the start-up error box tells
// which step failed; 0 when the loader cannot say.
quintptr moduleOffsetOf(StartupStep step) {
  const auto* code = reinterpret_cast<const void*>(step);
  Dl_info info{};
  if (::dladdr(code, &info) == 0 || info.dli_fbase == nullptr)
    return 0;
  return reinterpret_cast<quintptr>(code) - reinterpret_cast<quintptr>(info.dli_fbase);
}

}  // namespace

int runMainWindow(const StartupParts& parts, MessagePresenter& presenter) {
  std::unique_ptr<Program> program;
  for (const StartupStep step : {checkDataComponent, buildProgram}) {
    try {
      step(parts, presenter, program);
    } catch (const std::exception& error) {
      presenter.present(startupErrorContent(error, moduleOffsetOf(step)), nullptr);
      return 1;
    }
  }
  program->window.show();
  return QApplication::exec();
}

}  // namespace velmora::window
