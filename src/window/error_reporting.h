#pragma once

#include <QString>
#include <exception>
#include <utility>

#include "session/session_texts.h"
#include "window/message_presenter.h"

namespace velmora::window {

// An error that ends a handler without showing anything.
class SilentAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// The message box of `ShowMessage`: no icon, caption "Velmora".
MessageBoxContent messageBoxContent(const QString& text);

// The error box text: the session's rule on the message's UTF-8 form.
QString errorBoxText(const QString& message);
// The error box for an error that left a handler: stop icon, caption "Velmora". The error's
// what() is taken as UTF-8.
MessageBoxContent errorBoxContent(const std::exception& error);

// "Exception <kind> in module <module> at <offset>.\r\n<message>[.]\r\n"; here only a final
// "." keeps the full stop away.
QString startupErrorText(const QString& kindName, const QString& moduleName, quintptr offset,
                         const QString& message);
// The start-up error box: stop icon, caption "Application Error". The kind is the error's
// type name, the module the program's; `offset` is where in the program the start-up step
// that failed lies.
MessageBoxContent startupErrorContent(const std::exception& error, quintptr offset);

// Runs one event handler: an error that leaves it ends its work there and is shown in the
// error box (SilentAbort shows nothing); a failed connect shows its message in the message box.
template <typename Handler>
void runHandler(MessagePresenter& presenter, QWidget* owner, Handler&& handler) {
  try {
    std::forward<Handler>(handler)();
  } catch (const SilentAbort&) {
  } catch (const session::ConnectionFailure& failure) {
    presenter.present(messageBoxContent(QString::fromUtf8(failure.what())), owner);
  } catch (const std::exception& error) {
    presenter.present(errorBoxContent(error), owner);
  }
}

}  // namespace velmora::window
