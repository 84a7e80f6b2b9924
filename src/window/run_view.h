#pragma once

#include <QElapsedTimer>

#include "script/generation_run.h"
#include "window/form_controls.h"

namespace velmora::window {

// The window's side of a generation run: ticks read from the table list when the run reaches
// each entry, the progress text and the column list shown. Pending events (repaints, clicks,
// ticks) are handled when a table starts, so that its progress text is painted, and while
// rows are written at most every kEventIntervalMs, so that the window answers without
// costing each row.
class RunView final : public script::RunObserver {
 public:
  static constexpr qint64 kEventIntervalMs = 15;

  explicit RunView(const FormControls& controls) : controls_(controls) {}

  bool isTicked(std::size_t index) override;
  void tableStarted(const std::u16string& progressText) override;
  void columnsChanged(const std::vector<std::u16string>& names) override;
  void rowWritten() override {
    // The clock is read every few rows only.
    if ((++rows_ & kRowsBetweenClockReads) == 0 && sinceEvents_.hasExpired(kEventIntervalMs))
      handlePendingEvents();
  }
  // Shown; it is painted once the run has returned.
  void finished(const std::u16string& progressText) override;

 private:
  void handlePendingEvents();

  static constexpr unsigned kRowsBetweenClockReads = 31;

  const FormControls& controls_;
  QElapsedTimer sinceEvents_;
  unsigned rows_ = 0;
};

}  // namespace velmora::window
