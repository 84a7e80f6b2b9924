#include "window/message_presenter.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace velmora::window {

std::unique_ptr<QMessageBox> buildMessageBox(const MessageBoxContent& content, QWidget* owner) {
  auto box = std::make_unique<QMessageBox>(content.icon, content.caption, content.text,
                                           QMessageBox::Ok, owner);
  box->setTextFormat(Qt::PlainText);
  box->setDefaultButton(QMessageBox::Ok);
  box->setEscapeButton(QMessageBox::Ok);
  // The start-up box has no owner and holds the whole program; the others are modal to
  // their owner's window, which is the program's only window.
  box->setWindowModality(Qt::ApplicationModal);
  if (content.kind == MessageBoxContent::Kind::message) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        label->setWordWrap(true);
        label->setMaximumWidth(screen->geometry().width() / 2);
      }
    }
    // The message dialog centres its button row under the text.
    if (auto* buttons = box->findChild<QDialogButtonBox*>())
      buttons->setCenterButtons(true);
  }
  return box;
}

void QtMessagePresenter::present(const MessageBoxContent& content, QWidget* owner) {
  buildMessageBox(content, owner)->exec();
}

}  // namespace velmora::window
