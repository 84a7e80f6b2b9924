#pragma once

#include <functional>
#include <memory>

#include "server/data_access.h"
#include "window/message_presenter.h"

namespace velmora::window {

// What start-up needs from outside the window: the check that the data access component is
// usable and the connections' factory. Both may throw.
struct StartupParts {
  std::function<void()> checkDataComponent;
  std::function<std::unique_ptr<server::ConnectionFactory>()> makeConnectionFactory;
};

// Builds the main window and runs the event loop until the window closes; a QApplication must
// exist and the application name be set. An error before the loop shows the start-up error
// box and gives exit code 1 without showing the window.
int runMainWindow(const StartupParts& parts, MessagePresenter& presenter);

}  // namespace velmora::window
