#include "window/field_list_splitter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace velmora::window {

namespace {

class HatchedLine : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QBrush(Qt::black, Qt::Dense4Pattern));
  }
};

}  // namespace

int FieldListSplitter::listHeightFor(int dragged, int clientHeight) {
  const int height = std::min(dragged, clientHeight - kCollapseHeight - kThickness);
  return height <= kCollapseHeight ? 0 : height;
}

FieldListSplitter::FieldListSplitter(QWidget* parent)
    : QWidget(parent), hatchedLine_(new HatchedLine(parent)) {
  setCursor(Qt::SizeVerCursor);
  setFocusPolicy(Qt::NoFocus);
  hatchedLine_->hide();
}

int FieldListSplitter::draggedHeight(int top) const {
  const QRect client = parentWidget()->contentsRect();
  return client.bottom() + 1 - (top + kThickness);
}

int FieldListSplitter::topFor(QMouseEvent* event) const {
  return mapToParent(event->position().toPoint()).y() - grabOffset_;
}

void FieldListSplitter::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton)
    return;
  dragging_ = true;
  grabOffset_ = event->position().toPoint().y();
  hatchedLine_->setGeometry(geometry());
  hatchedLine_->show();
  hatchedLine_->raise();
  grabKeyboard();
}

void FieldListSplitter::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_)
    return;
  const int clientHeight = parentWidget()->contentsRect().height();
  const int height = listHeightFor(draggedHeight(topFor(event)), clientHeight);
  const int top = parentWidget()->contentsRect().bottom() + 1 - height - kThickness;
  hatchedLine_->move(x(), top);
}

void FieldListSplitter::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging_ || event->button() != Qt::LeftButton)
    return;
  endDrag();
  const int clientHeight = parentWidget()->contentsRect().height();
  emit listHeightChosen(listHeightFor(draggedHeight(topFor(event)), clientHeight));
}

void FieldListSplitter::keyPressEvent(QKeyEvent* event) {
  if (dragging_ && event->key() == Qt::Key_Escape) {
    endDrag();
    return;
  }
  QWidget::keyPressEvent(event);
}

void FieldListSplitter::endDrag() {
  dragging_ = false;
  hatchedLine_->hide();
  releaseKeyboard();
}

}  // namespace velmora::window
