#pragma once

#include <QWidget>
#include <memory>

#include "script/codeset.h"
#include "script/locale_formats.h"
#include "server/data_access.h"
#include "session/export_session.h"
#include "window/control_lists.h"
#include "window/form_controls.h"
#include "window/message_presenter.h"
#include "window/run_view.h"

namespace velmora::window {

// The program's one window (objectName `MakeSqlForm`): the connection inputs, the database and
// table choice, the column-name list and the progress text. Its handlers turn clicks into calls of
// the export session and show what those throw.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // Throws std::runtime_error when a logo picture cannot be decoded.
  MainWindow(server::ConnectionFactory& factory, const script::Codeset& codeset,
             const script::LocaleFormats& formats, MessagePresenter& presenter,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  bool isRunning() const { return session_.isRunning(); }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void centreOnDesktop();
  server::ConnectionInputs connectionInputs() const;
  // The table list's entries and the database shown, as a run takes them; the ticks are
  // read when the run reaches each entry.
  script::RunInput runInput(bool withGoLines) const;
  void generate(bool withGoLines);
  // While a run is under way the connect button, the database list and both generate
  // buttons drop their input; they stay enabled-looking.
  void setRunInputIgnored(bool ignored);

  void prepareOnFirstShow();
  void onConnectClicked();
  void onDatabasePicked();
  void onGenerateClicked() { generate(true); }
  void onGenerateTestScriptClicked() { generate(false); }
  void onSelectAllClicked() { setAllTicked(*controls_.tableList, true); }
  void onSelectNoneClicked() { setAllTicked(*controls_.tableList, false); }

  MessagePresenter& presenter_;
  FormControls controls_;
  ComboDatabaseList databaseList_;
  CheckTableList tableList_;
  RunView runView_;
  session::ExportSession session_;
  bool shownBefore_ = false;
  bool closeRequested_ = false;
  bool runInputIgnored_ = false;
};

}  // namespace velmora::window
