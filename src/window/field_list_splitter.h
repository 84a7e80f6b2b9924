#pragma once

#include <QWidget>

namespace velmora::window {

// The bar above the column-name list: dragging it sets the list's height. While the mouse is
// held a hatched line shows the new place; the height changes on release; Esc cancels.
class FieldListSplitter : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kThickness = 5;
  // A list dragged to this height or less collapses to 0.
  static constexpr int kCollapseHeight = 30;

  // The list height for a drag to `dragged` pixels in a panel whose client area is
  // `clientHeight` high: at most the client height less 35, and 0 at 30 or less.
  static int listHeightFor(int dragged, int clientHeight);

  explicit FieldListSplitter(QWidget* parent);

 signals:
  void listHeightChosen(int height);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The list height that the bar's top at `top` (parent coordinates) would leave.
  int draggedHeight(int top) const;
  int topFor(QMouseEvent* event) const;
  void endDrag();

  QWidget* hatchedLine_;
  int grabOffset_ = 0;
  bool dragging_ = false;
};

}  // namespace velmora::window
