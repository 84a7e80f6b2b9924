#pragma once

#include "script/generation_run.h"
#include "window/form_controls.h"

namespace velmora::window {

// The generation run's host over the window's controls: the table list with its ticks, the
// database list's text, the column list, the progress bar's text; pending events are the
// application's.
class FormRunHost final : public script::GenerationHost {
 public:
  explicit FormRunHost(const FormControls& controls) : controls_(controls) {}

  int tableCount() const override;
  std::u16string tableName(int index) const override;
  bool isTableTicked(int index) const override;
  std::u16string databaseName() const override;
  void setColumnNames(const std::vector<std::u16string>& names) override;
  std::vector<std::u16string> columnNames() const override;
  void setProgressText(const std::u16string& text) override;
  void processPendingEvents() override;

 private:
  const FormControls& controls_;
};

}  // namespace velmora::window
