#pragma once

#include <QMessageBox>
#include <QString>
#include <memory>

class QWidget;

namespace velmora::window {

// One box the program shows: what it says and how it looks.
struct MessageBoxContent {
  enum class Kind { message, error, startupError };
  Kind kind = Kind::message;
  QString caption;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Shows boxes. The window talks to this interface so tests can record the boxes instead of
// running a modal loop.
class MessagePresenter {
 public:
  virtual ~MessagePresenter() = default;
  // Shows the box and returns when the user has closed it. `owner` may be null.
  virtual void present(const MessageBoxContent& content, QWidget* owner) = 0;
};

// The standard boxes: one OK button, which Enter and Esc press too; the message box wraps
// its text within half the screen width.
std::unique_ptr<QMessageBox> buildMessageBox(const MessageBoxContent& content, QWidget* owner);

class QtMessagePresenter : public MessagePresenter {
 public:
  void present(const MessageBoxContent& content, QWidget* owner) override;
};

}  // namespace velmora::window
