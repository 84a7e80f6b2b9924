#include "window/run_view.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QStatusBar>

namespace velmora::window {

bool RunView::isTicked(std::size_t index) {
  const QListWidgetItem* entry = controls_.tableList->item(static_cast<int>(index));
  return entry != nullptr && entry->checkState() == Qt::Checked;
}

void RunView::tableStarted(const std::u16string& progressText) {
  controls_.progressBar->showMessage(QString::fromStdU16String(progressText));
  handlePendingEvents();
}

void RunView::finished(const std::u16string& progressText) {
  controls_.progressBar->showMessage(QString::fromStdU16String(progressText));
}

void RunView::columnsChanged(const std::vector<std::u16string>& names) {
  controls_.columnList->clear();
  for (const std::u16string& name : names)
    controls_.columnList->addItem(QString::fromStdU16String(name));
}

void RunView::handlePendingEvents() {
  QCoreApplication::processEvents();
  sinceEvents_.start();
}

}  // namespace velmora::window
