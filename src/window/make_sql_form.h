#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "script/generation_run.h"
#include "script/locale_formats.h"
#include "script/script_file.h"
#include "script/value_text.h"
#include "server/server_session.h"
#include "window/control_lists.h"
#include "window/message_presenter.h"

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStatusBar;

namespace velmora::window {

class DatabaseNameBox;
class FieldListSplitter;

// The program's one window (`MakeSqlForm`): the connection inputs, the database and table
// choice, the column-name list and the progress text. It owns the data-access objects and
// the script file, and it is the host of every generation run.
class TMakeSqlForm : public QWidget, public script::GenerationHost {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 764;
  static constexpr int kClientHeight = 601;

  // Throws std::runtime_error when a logo picture cannot be decoded.
  TMakeSqlForm(server::ConnectionFactory& factory, const script::Codeset& codeset,
               const script::LocaleFormats& formats, MessagePresenter& presenter,
               QWidget* parent = nullptr);
  ~TMakeSqlForm() override;

  bool isRunning() const { return run_.isRunning(); }

  int tableCount() const override;
  std::u16string tableName(int index) const override;
  bool isTableTicked(int index) const override;
  std::u16string databaseName() const override;
  void setColumnNames(const std::vector<std::u16string>& names) override;
  std::vector<std::u16string> columnNames() const override;
  void setProgressText(const std::u16string& text) override;
  void processPendingEvents() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  void setTabOrder();
  // Places the table list, `Panel2`, the splitter and the column list inside `Panel1` for a
  // column list `listHeight` pixels high.
  void layoutTablePanel(int listHeight);
  void centreOnDesktop();
  server::ConnectionInputs connectionInputs() const;
  void ShowMessage(const QString& text);
  void generate(bool withGo);
  // While a run is under way the connect button, the database list and both generate
  // buttons drop their input; they stay enabled-looking.
  void setRunInputIgnored(bool ignored);

  void FormShow();
  void Button1Click();
  void CmbDBNameChange();
  void BtnMakeSqlClick() { generate(true); }
  void Button2Click() { generate(false); }
  void Button3Click();
  void Button4Click();

  MessagePresenter& presenter_;
  server::ServerSession session_;
  script::ScriptFile scriptFile_;
  script::ValueText valueText_;
  script::GenerationRun run_;

  QWidget* Panel3_ = nullptr;
  QLineEdit* EdtComputer_ = nullptr;
  QLineEdit* EdtUser_ = nullptr;
  QLineEdit* EdtPassWord_ = nullptr;
  DatabaseNameBox* CmbDBName_ = nullptr;
  QPushButton* Button1_ = nullptr;
  QPushButton* BtnMakeSql_ = nullptr;
  QPushButton* Button2_ = nullptr;
  QFrame* Panel1_ = nullptr;
  QListWidget* ChkBoxTableName_ = nullptr;
  QWidget* Panel2_ = nullptr;
  QPushButton* Button3_ = nullptr;
  QPushButton* Button4_ = nullptr;
  QLabel* Image1_ = nullptr;
  QLabel* LogoImageBase_ = nullptr;
  FieldListSplitter* Splitter1_ = nullptr;
  QListWidget* LstBoxFieldName_ = nullptr;
  QStatusBar* StaBarProcessState_ = nullptr;

  std::unique_ptr<ComboDatabaseList> databaseList_;
  std::unique_ptr<CheckTableList> tableList_;
  bool shownBefore_ = false;
  bool closeRequested_ = false;
  bool runInputIgnored_ = false;
};

}  // namespace velmora::window
