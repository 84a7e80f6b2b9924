#include "window/main_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "window/database_name_box.h"
#include "window/error_reporting.h"
#include "window/field_list_splitter.h"

namespace velmora::window {

MainWindow::MainWindow(server::ConnectionFactory& factory, const script::Codeset& codeset,
                       const script::LocaleFormats& formats, MessagePresenter& presenter,
                       QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      presenter_(presenter),
      controls_(buildFormControls(*this)),
      databaseList_(*controls_.databaseList),
      tableList_(*controls_.tableList),
      runView_(controls_),
      session_(factory, codeset, formats) {
  const FormControls& c = controls_;
  connect(c.connectButton, &QPushButton::clicked, this, &MainWindow::onConnectClicked);
  connect(c.databaseList, &DatabaseNameBox::userChanged, this, &MainWindow::onDatabasePicked);
  connect(c.generateButton, &QPushButton::clicked, this, &MainWindow::onGenerateClicked);
  connect(c.testScriptButton, &QPushButton::clicked, this,
          &MainWindow::onGenerateTestScriptClicked);
  connect(c.selectAllButton, &QPushButton::clicked, this, &MainWindow::onSelectAllClicked);
  connect(c.selectNoneButton, &QPushButton::clicked, this, &MainWindow::onSelectNoneClicked);
  connect(c.splitter, &FieldListSplitter::listHeightChosen, this,
          [this](int height) { layoutTablePanel(controls_, height); });
  for (QWidget* control : {c.connectButton, c.generateButton, c.testScriptButton})
    control->installEventFilter(this);
  c.connectButton->setFocus();
}

MainWindow::~MainWindow() = default;

void MainWindow::showEvent(QShowEvent* event) {
  if (!shownBefore_) {
    shownBefore_ = true;
    runHandler(presenter_, this, [this] { prepareOnFirstShow(); });
    centreOnDesktop();
  }
  QWidget::showEvent(event);
}

void MainWindow::centreOnDesktop() {
  const QScreen* desktop = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!desktop)
    return;
  const QRect area = desktop->geometry();
  const QSize size = frameGeometry().size();
  move(area.left() + std::max(0, (area.width() - size.width()) / 2),
       area.top() + std::max(0, (area.height() - size.height()) / 2));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A close asked for during a run is taken in now and carried out when the run returns.
  if (session_.isRunning()) {
    closeRequested_ = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (runInputIgnored_) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
        return true;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::setRunInputIgnored(bool ignored) {
  runInputIgnored_ = ignored;
  controls_.databaseList->setInputIgnored(ignored);
}

script::RunInput MainWindow::runInput(bool withGoLines) const {
  script::RunInput input;
  for (int i = 0; i < controls_.tableList->count(); ++i)
    input.tables.push_back(controls_.tableList->item(i)->text().toStdU16String());
  input.database = controls_.databaseList->currentText().toStdU16String();
  input.form.withGoLines = withGoLines;
  return input;
}

server::ConnectionInputs MainWindow::connectionInputs() const {
  return {controls_.serverEdit->text().toStdU16String(),
          controls_.userEdit->text().toStdU16String(),
          controls_.passwordEdit->text().toStdU16String()};
}

void MainWindow::prepareOnFirstShow() {
  controls_.databaseList->clear();
  session_.prepareScript();
}

void MainWindow::onConnectClicked() {
  runHandler(presenter_, this,
             [this] { session_.connectServer(connectionInputs(), databaseList_); });
}

void MainWindow::onDatabasePicked() {
  runHandler(presenter_, this, [this] {
    session_.openDatabase(connectionInputs(),
                          controls_.databaseList->currentText().toStdU16String(), tableList_);
  });
}

void MainWindow::generate(bool withGoLines) {
  if (session_.isRunning())
    return;
  setRunInputIgnored(true);
  runHandler(presenter_, this,
             [this, withGoLines] { session_.run(runInput(withGoLines), runView_); });
  setRunInputIgnored(false);
  if (closeRequested_) {
    closeRequested_ = false;
    close();
  }
}

}  // namespace velmora::window
