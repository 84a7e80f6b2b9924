#pragma once

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStatusBar;
class QWidget;

namespace velmora::window {

class DatabaseNameBox;
class FieldListSplitter;

// The window's controls by role. Each carries the control name of the original form as its
// objectName (`Button1`, `CmbDBName` ...), which is how tests find it.
struct FormControls {
  QWidget* connectionPanel = nullptr;       // Panel3
  QLineEdit* serverEdit = nullptr;          // EdtComputer
  QLineEdit* userEdit = nullptr;            // EdtUser
  QLineEdit* passwordEdit = nullptr;        // EdtPassWord
  DatabaseNameBox* databaseList = nullptr;  // CmbDBName
  QPushButton* connectButton = nullptr;     // Button1
  QPushButton* generateButton = nullptr;    // BtnMakeSql
  QPushButton* testScriptButton = nullptr;  // Button2
  QFrame* tablePanel = nullptr;             // Panel1
  QListWidget* tableList = nullptr;         // ChkBoxTableName
  QWidget* tableButtonPanel = nullptr;      // Panel2
  QPushButton* selectAllButton = nullptr;   // Button3
  QPushButton* selectNoneButton = nullptr;  // Button4
  QLabel* markPicture = nullptr;            // Image1
  QLabel* logoPicture = nullptr;            // LogoImageBase
  FieldListSplitter* splitter = nullptr;    // Splitter1
  QListWidget* columnList = nullptr;        // LstBoxFieldName
  QStatusBar* progressBar = nullptr;        // StaBarProcessState
};

// The form's client size in pixels.
constexpr int kClientWidth = 764;
constexpr int kClientHeight = 601;

// Gives `form` its name, caption, fixed size, colours and font, then builds every control on
// it in its place and in tab order. Throws std::runtime_error when a logo picture cannot be
// decoded.
FormControls buildFormControls(QWidget& form);

// Places the table list, the table buttons' panel, the splitter and the column list inside
// the table panel for a column list `listHeight` pixels high.
void layoutTablePanel(const FormControls& controls, int listHeight);

}  // namespace velmora::window
