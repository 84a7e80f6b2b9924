#pragma once

#include <QComboBox>
#include <QElapsedTimer>
#include <QString>

namespace velmora::window {

// The choose-only database list. `userChanged` comes only from the user's picks: mouse,
// selection keys, wheel, type-ahead search and Backspace; selecting from code raises nothing.
class DatabaseNameBox : public QComboBox {
  Q_OBJECT

 public:
  // A pause this long or longer between two typed keys starts a new search prefix.
  static constexpr qint64 kSearchPauseMs = 500;

  explicit DatabaseNameBox(QWidget* parent = nullptr);

  // While set, mouse, wheel and key input to the list is dropped.
  void setInputIgnored(bool ignored) { inputIgnored_ = ignored; }

 signals:
  void userChanged();

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The first entry, from the top, that starts with `prefix` regardless of case; -1 if none.
  int firstEntryStartingWith(const QString& prefix) const;

  QString prefix_;
  QElapsedTimer sinceLastKey_;
  bool inputIgnored_ = false;
};

}  // namespace velmora::window
