#include <QApplication>
#include <clocale>

#include "server/odbc_connection.h"
#include "server/odbc_driver_check.h"
#include "session/host_streams.h"
#include "window/message_presenter.h"
#include "window/program_start.h"
#include "window/window_texts.h"

int main(int argc, char** argv) {
  velmora::session::guardStandardStreams();
  // Script text goes out in the codeset of the user's locale.
  std::setlocale(LC_ALL, "");
  QApplication application(argc, argv);
  // The name, not a display name: Qt would append a display name to every window caption.
  QApplication::setApplicationName(velmora::window::kApplicationTitle);

  velmora::window::QtMessagePresenter presenter;
  const velmora::window::StartupParts parts{
      [] { velmora::server::requireOdbcDriver("FreeTDS"); },
      [] { return velmora::server::makeOdbcConnectionFactory(); }};
  return velmora::window::runMainWindow(parts, presenter);
}
