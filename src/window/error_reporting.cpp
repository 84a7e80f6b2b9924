#include "window/error_reporting.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "window/window_texts.h"

namespace velmora::window {

namespace {

QString typeNameOf(const std::exception& error) {
  const char* mangled = typeid(error).name();
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  return QString::fromUtf8(status == 0 && demangled ? demangled.get() : mangled);
}

}  // namespace

MessageBoxContent messageBoxContent(const QString& text) {
  return {MessageBoxContent::Kind::message, kApplicationTitle, text, QMessageBox::NoIcon};
}

QString errorBoxText(const QString& message) {
  return QString::fromStdString(session::errorBoxText(message.toStdString()));
}

MessageBoxContent errorBoxContent(const std::exception& error) {
  return {MessageBoxContent::Kind::error, kApplicationTitle,
          QString::fromStdString(session::errorBoxText(error)), QMessageBox::Critical};
}

QString startupErrorText(const QString& kindName, const QString& moduleName, quintptr offset,
                         const QString& message) {
  const QString stop = !message.isEmpty() && !message.endsWith(u'.') ? QStringLiteral(".") : "";
  return QStringLiteral("Exception %1 in module %2 at %3.\r\n%4%5\r\n")
      .arg(kindName, moduleName,
           QStringLiteral("%1")
               .arg(static_cast<qulonglong>(offset), 8, 16, QLatin1Char('0'))
               .toUpper(),
           message, stop);
}

MessageBoxContent startupErrorContent(const std::exception& error, quintptr offset) {
  return {MessageBoxContent::Kind::startupError, kStartupErrorCaption,
          startupErrorText(typeNameOf(error), QStringLiteral("velmora"), offset,
                           QString::fromUtf8(error.what())),
          QMessageBox::Critical};
}

}  // namespace velmora::window
