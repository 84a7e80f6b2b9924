#include "window/form_run_host.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QStatusBar>

#include "window/database_name_box.h"

namespace velmora::window {

int FormRunHost::tableCount() const {
  return controls_.tableList->count();
}

std::u16string FormRunHost::tableName(int index) const {
  return controls_.tableList->item(index)->text().toStdU16String();
}

bool FormRunHost::isTableTicked(int index) const {
  return controls_.tableList->item(index)->checkState() == Qt::Checked;
}

std::u16string FormRunHost::databaseName() const {
  return controls_.databaseList->currentText().toStdU16String();
}

void FormRunHost::setColumnNames(const std::vector<std::u16string>& names) {
  controls_.columnList->clear();
  for (const auto& name : names)
    controls_.columnList->addItem(QString::fromStdU16String(name));
}

std::vector<std::u16string> FormRunHost::columnNames() const {
  std::vector<std::u16string> names;
  names.reserve(static_cast<std::size_t>(controls_.columnList->count()));
  for (int i = 0; i < controls_.columnList->count(); ++i)
    names.push_back(controls_.columnList->item(i)->text().toStdU16String());
  return names;
}

void FormRunHost::setProgressText(const std::u16string& text) {
  controls_.progressBar->showMessage(QString::fromStdU16String(text));
}

void FormRunHost::processPendingEvents() {
  QCoreApplication::processEvents();
}

}  // namespace velmora::window
