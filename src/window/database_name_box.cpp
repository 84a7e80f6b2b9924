#include "window/database_name_box.h"

#include <QKeyEvent>

namespace velmora::window {

DatabaseNameBox::DatabaseNameBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  setInsertPolicy(QComboBox::InsertAtBottom);
  connect(this, &QComboBox::activated, this, &DatabaseNameBox::userChanged);
}

bool DatabaseNameBox::event(QEvent* event) {
  if (inputIgnored_) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
        event->accept();
        return true;
      default:
        break;
    }
  }
  return QComboBox::event(event);
}

void DatabaseNameBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Backspace) {
    if (!prefix_.isEmpty()) {
      prefix_.chop(prefix_.size() >= 2 && prefix_.back().isLowSurrogate() ? 2 : 1);
    }
    sinceLastKey_.start();
    emit userChanged();
    return;
  }
  const QString typed = event->text();
  if (typed.isEmpty() || !typed.front().isPrint()) {
    QComboBox::keyPressEvent(event);
    return;
  }
  if (!sinceLastKey_.isValid() || sinceLastKey_.elapsed() >= kSearchPauseMs)
    prefix_.clear();
  sinceLastKey_.start();
  prefix_ += typed;
  const int match = firstEntryStartingWith(prefix_);
  if (match < 0) {
    QComboBox::keyPressEvent(event);
    return;
  }
  if (match != currentIndex()) {
    setCurrentIndex(match);
    emit userChanged();
  }
}

int DatabaseNameBox::firstEntryStartingWith(const QString& prefix) const {
  for (int i = 0; i < count(); ++i) {
    if (itemText(i).startsWith(prefix, Qt::CaseInsensitive))
      return i;
  }
  return -1;
}

}  // namespace velmora::window
