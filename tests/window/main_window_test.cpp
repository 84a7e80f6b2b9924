#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <clocale>
#include <memory>

#include "recording_presenter.h"
#include "script/codeset.h"
#include "script/locale_formats.h"
#include "server/odbc_connection.h"
#include "support/memory_data_access.h"
#include "support/standin_process.h"
#include "window/database_name_box.h"
#include "window/main_window.h"

using velmora::window::MainWindow;
using velmora::window::MessageBoxContent;

namespace {

const QString kPassword = QStringLiteral("Velmora#2026");
const QString kConnectionFailure =
    QStringLiteral("无法连接数据库，可能是用户名、密码错或计算机上未安装SQL SERVER");
const QStringList kShopTables = {"Dept", "Products", "Order Details", "Audit", "Customers"};

QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString progressText(const QString& table) {
  return QStringLiteral("正在处理表 ") + table + QStringLiteral(" 的初始化数据....");
}

// One window with everything it lives on, on the stand-in or on an in-memory server.
struct Window {
  explicit Window(std::unique_ptr<velmora::server::ConnectionFactory> connections)
      : factory(std::move(connections)), form(*factory, codeset, formats, presenter) {}

  template <typename T>
  T* control(const char* name) {
    T* found = form.findChild<T*>(QString::fromLatin1(name));
    if (!found)
      qFatal("no control %s", name);
    return found;
  }
  QPushButton* button(const char* name) { return control<QPushButton>(name); }
  QLineEdit* edit(const char* name) { return control<QLineEdit>(name); }
  QListWidget* list(const char* name) { return control<QListWidget>(name); }
  velmora::window::DatabaseNameBox* databases() {
    return control<velmora::window::DatabaseNameBox>("CmbDBName");
  }
  QStatusBar* status() { return control<QStatusBar>("StaBarProcessState"); }

  QStringList databaseNames() {
    QStringList names;
    for (int i = 0; i < databases()->count(); ++i)
      names << databases()->itemText(i);
    return names;
  }
  QStringList entries(const char* listName, bool tickedOnly = false) {
    QStringList names;
    for (int i = 0; i < list(listName)->count(); ++i) {
      const QListWidgetItem* item = list(listName)->item(i);
      if (!tickedOnly || item->checkState() == Qt::Checked)
        names << item->text();
    }
    return names;
  }

  void show() {
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
      qFatal("window not exposed");
  }
  void connectTo(const QString& server, const QString& password) {
    edit("EdtComputer")->setText(server);
    edit("EdtPassWord")->setText(password);
    QTest::mouseClick(button("Button1"), Qt::LeftButton);
  }
  // Backspace in the database list connects again to the entry shown.
  void pickShownDatabase() { QTest::keyClick(databases(), Qt::Key_Backspace); }

  velmora::script::Codeset codeset{velmora::script::Codeset::processCodesetName()};
  velmora::script::LocaleFormats formats = velmora::script::localeFormatsFromSystem(codeset);
  RecordingPresenter presenter;
  std::unique_ptr<velmora::server::ConnectionFactory> factory;
  MainWindow form;
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void startedState();
  void controlsSitWhereTheyBelong_data();
  void controlsSitWhereTheyBelong();
  void tabOrder();
  void passwordShowsHashes();
  void connectionFailures_data();
  void connectionFailures();
  void connectShowsFirstDatabaseWithoutLoadingTables();
  void pickingADatabase();
  void selectAllAndNone();
  void ticksToggleOnTickBoxOrSpace();
  void generateButtonsWriteTheScript_data();
  void generateButtonsWriteTheScript();
  void appendFailureShowsTheErrorBox();
  void catalogueFailureShowsTheErrorBox();
  void databaseListFailingPartWayKeepsTheNamesWithNoneSelected();
  void serverWithoutUserDatabases();
  void inputDuringARunIsIgnored();
  void tickReadWhenTheRunReachesTheTable();
  void closeDuringARunLetsTheRunFinish();
  void splitterDrag();

 private:
  std::unique_ptr<Window> standinWindow() {
    return std::make_unique<Window>(velmora::server::makeOdbcConnectionFactory());
  }
  QString server() const { return QString::fromStdString(standin_->serverText()); }
  // Connected to the stand-in with the sample database "Shop" picked.
  std::unique_ptr<Window> shopWindow() {
    auto window = standinWindow();
    window->show();
    window->connectTo(server(), kPassword);
    window->pickShownDatabase();
    return window;
  }

  std::unique_ptr<StandinProcess> standin_;
  std::unique_ptr<QTemporaryDir> folder_;
  QString startFolder_;
};

void MainWindowTest::initTestCase() {
  std::setlocale(LC_ALL, "");
  standin_ = std::make_unique<StandinProcess>(VELMORA_DATA_DIR "/sample.json");
  startFolder_ = QDir::currentPath();
}

void MainWindowTest::init() {
  folder_ = std::make_unique<QTemporaryDir>();
  QVERIFY(folder_->isValid());
  QVERIFY(QDir::setCurrent(folder_->path()));
}

void MainWindowTest::cleanup() {
  QDir::setCurrent(startFolder_);
  folder_.reset();
}

void MainWindowTest::startedState() {
  auto window = standinWindow();
  QFile::remove("MakeInitData.txt");
  window->show();
  QCOMPARE(window->form.objectName(), QStringLiteral("MakeSqlForm"));
  QCOMPARE(window->form.windowTitle(), QStringLiteral("Velmora【生成初始化数据SQL代码】"));
  QCOMPARE(window->form.size(), QSize(764, 601));
  QCOMPARE(window->form.minimumSize(), window->form.maximumSize());
  const QRect desktop = window->form.screen()->geometry();
  // Centred as a whole, frame included.
  const QRect frame = window->form.frameGeometry();
  QCOMPARE(frame.x(), std::max(0, (desktop.width() - frame.width()) / 2));
  QCOMPARE(frame.y(), std::max(0, (desktop.height() - frame.height()) / 2));
  QVERIFY(!(window->form.windowFlags() & Qt::WindowMinimizeButtonHint));
  QVERIFY(!(window->form.windowFlags() & Qt::WindowMaximizeButtonHint));
  QVERIFY(window->form.windowFlags() & Qt::WindowCloseButtonHint);
  QCOMPARE(window->databases()->count(), 0);
  QCOMPARE(window->list("ChkBoxTableName")->count(), 0);
  QCOMPARE(window->list("LstBoxFieldName")->count(), 0);
  QCOMPARE(window->edit("EdtComputer")->text(), QString());
  QCOMPARE(window->edit("EdtPassWord")->text(), QString());
  QCOMPARE(window->edit("EdtUser")->text(), QStringLiteral("sa"));
  QVERIFY(window->edit("EdtUser")->isReadOnly());
  QVERIFY(!window->databases()->isEditable());
  QCOMPARE(window->status()->currentMessage(), QString());
  QVERIFY(QFile::exists("MakeInitData.txt"));
  QCOMPARE(fileBytes("MakeInitData.txt"), QByteArray());
  QVERIFY(window->presenter.boxes.empty());
}

void MainWindowTest::controlsSitWhereTheyBelong_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("parent");
  QTest::addColumn<QRect>("place");
  // The docked controls, whose places follow from their neighbours.
  QTest::newRow("Panel1") << "Panel1"
                          << "MakeSqlForm" << QRect(0, 145, 764, 434);
  QTest::newRow("ChkBoxTableName") << "ChkBoxTableName"
                                   << "Panel1" << QRect(1, 1, 591, 330);
  QTest::newRow("Panel2") << "Panel2"
                          << "Panel1" << QRect(592, 1, 171, 330);
  QTest::newRow("Splitter1") << "Splitter1"
                             << "Panel1" << QRect(1, 331, 762, 5);
  QTest::newRow("LstBoxFieldName") << "LstBoxFieldName"
                                   << "Panel1" << QRect(1, 336, 762, 97);
  QTest::newRow("StaBarProcessState") << "StaBarProcessState"
                                      << "MakeSqlForm" << QRect(0, 579, 764, 22);
  QTest::newRow("Image1") << "Image1"
                          << "Panel2" << QRect(10, 294, 27, 27);
  QTest::newRow("LogoImageBase") << "LogoImageBase"
                                 << "Panel2" << QRect(40, 294, 120, 27);
}

void MainWindowTest::controlsSitWhereTheyBelong() {
  QFETCH(QString, name);
  QFETCH(QString, parent);
  QFETCH(QRect, place);
  auto window = standinWindow();
  window->show();
  const QWidget* control = window->form.findChild<QWidget*>(name);
  QVERIFY(control);
  QCOMPARE(control->parentWidget()->objectName(), parent);
  QCOMPARE(control->geometry(), place);
  if (const auto* picture = qobject_cast<const QLabel*>(control))
    QVERIFY(!picture->pixmap().isNull());
}

void MainWindowTest::tabOrder() {
  auto window = standinWindow();
  window->show();
  QApplication::setActiveWindow(&window->form);
  QVERIFY(QTest::qWaitForWindowActive(&window->form));
  const QStringList expected = {"Button1",         "CmbDBName",   "BtnMakeSql",  "Button2",
                                "EdtUser",         "EdtComputer", "EdtPassWord", "LstBoxFieldName",
                                "ChkBoxTableName", "Button3",     "Button4",     "Button1"};
  QStringList visited;
  for (int i = 0; i < expected.size(); ++i) {
    visited << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  QCOMPARE(visited, expected);
}

void MainWindowTest::passwordShowsHashes() {
  auto window = standinWindow();
  window->show();
  QLineEdit* password = window->edit("EdtPassWord");
  QTest::keyClicks(password, "Pa;ss x");
  QCOMPARE(password->text(), QStringLiteral("Pa;ss x"));
  QCOMPARE(password->displayText(), QStringLiteral("#######"));
  QTest::keyClicks(window->edit("EdtUser"), "x");
  QCOMPARE(window->edit("EdtUser")->text(), QStringLiteral("sa"));
}

void MainWindowTest::connectionFailures_data() {
  QTest::addColumn<bool>("serverDown");
  QTest::addColumn<QString>("password");
  QTest::newRow("wrong password") << false << "wrong";
  QTest::newRow("empty password") << false << "";
  QTest::newRow("server down") << true << kPassword;
}

void MainWindowTest::connectionFailures() {
  QFETCH(bool, serverDown);
  QFETCH(QString, password);
  auto window = shopWindow();
  QCOMPARE(window->entries("ChkBoxTableName"), kShopTables);
  window->connectTo(serverDown ? QStringLiteral("127.0.0.1,1") : server(), password);
  QCOMPARE(window->presenter.boxes.size(), std::size_t{1});
  const MessageBoxContent& box = window->presenter.boxes.front();
  QCOMPARE(box.text, kConnectionFailure);
  QCOMPARE(box.caption, QStringLiteral("Velmora"));
  QCOMPARE(box.icon, QMessageBox::NoIcon);
  QCOMPARE(box.kind, MessageBoxContent::Kind::message);
  // Nothing changes: both lists keep what they held.
  QCOMPARE(window->databaseNames(), QStringList({"Shop", "Empty"}));
  QCOMPARE(window->entries("ChkBoxTableName"), kShopTables);
  // The same text for a failed database connect.
  window->pickShownDatabase();
  QCOMPARE(window->presenter.boxes.size(), std::size_t{2});
  QCOMPARE(window->presenter.boxes.back().text, kConnectionFailure);
  QCOMPARE(window->entries("ChkBoxTableName"), kShopTables);
}

void MainWindowTest::connectShowsFirstDatabaseWithoutLoadingTables() {
  auto window = standinWindow();
  window->show();
  window->connectTo(QStringLiteral(" ") + server() + QStringLiteral(" "), kPassword);
  QVERIFY(window->presenter.boxes.empty());
  // "model" has an id of 6 or less and is not a user database.
  QCOMPARE(window->databaseNames(), QStringList({"Shop", "Empty"}));
  QCOMPARE(window->databases()->currentText(), QStringLiteral("Shop"));
  QCOMPARE(window->list("ChkBoxTableName")->count(), 0);
}

void MainWindowTest::pickingADatabase() {
  auto window = standinWindow();
  window->show();
  window->connectTo(server(), kPassword);
  QTest::keyClick(window->databases(), Qt::Key_Down);
  QCOMPARE(window->databases()->currentText(), QStringLiteral("Empty"));
  QCOMPARE(window->list("ChkBoxTableName")->count(), 0);
  QTest::keyClick(window->databases(), Qt::Key_Up);
  QCOMPARE(window->entries("ChkBoxTableName", true), kShopTables);
  // Picking again ticks every table again.
  window->list("ChkBoxTableName")->item(1)->setCheckState(Qt::Unchecked);
  window->pickShownDatabase();
  QCOMPARE(window->entries("ChkBoxTableName", true), kShopTables);
  // Connecting again shows the first database but keeps the tables.
  QTest::keyClick(window->databases(), 'e');
  QCOMPARE(window->list("ChkBoxTableName")->count(), 0);
  QTest::qWait(window->databases()->kSearchPauseMs + 100);
  QTest::keyClick(window->databases(), 's');
  QCOMPARE(window->entries("ChkBoxTableName"), kShopTables);
  QVERIFY(window->presenter.boxes.empty());
}

void MainWindowTest::selectAllAndNone() {
  auto window = standinWindow();
  window->show();
  // Nothing to do on an empty list.
  QTest::mouseClick(window->button("Button3"), Qt::LeftButton);
  QTest::mouseClick(window->button("Button4"), Qt::LeftButton);
  QCOMPARE(window->list("ChkBoxTableName")->count(), 0);
  window->connectTo(server(), kPassword);
  window->pickShownDatabase();
  QTest::mouseClick(window->button("Button4"), Qt::LeftButton);
  QCOMPARE(window->entries("ChkBoxTableName", true), QStringList());
  window->list("ChkBoxTableName")->item(2)->setCheckState(Qt::Checked);
  QTest::mouseClick(window->button("Button4"), Qt::LeftButton);
  QCOMPARE(window->entries("ChkBoxTableName", true), QStringList());
  QTest::mouseClick(window->button("Button3"), Qt::LeftButton);
  QCOMPARE(window->entries("ChkBoxTableName", true), kShopTables);
}

void MainWindowTest::ticksToggleOnTickBoxOrSpace() {
  auto window = shopWindow();
  QListWidget* tables = window->list("ChkBoxTableName");
  QListWidgetItem* products = tables->item(1);
  const QRect row = tables->visualItemRect(products);
  const int indicator = tables->style()->pixelMetric(QStyle::PM_IndicatorWidth);
  const QPoint onTickBox(row.left() + 3 + indicator / 2, row.center().y());
  const QPoint onName(row.left() + indicator + 40, row.center().y());

  QTest::mouseClick(tables->viewport(), Qt::LeftButton, {}, onName);
  QCOMPARE(products->checkState(), Qt::Checked);
  QCOMPARE(tables->currentItem(), products);
  QTest::mouseClick(tables->viewport(), Qt::LeftButton, {}, onTickBox);
  QCOMPARE(products->checkState(), Qt::Unchecked);
  QTest::mouseClick(tables->viewport(), Qt::LeftButton, {}, onTickBox);
  QCOMPARE(products->checkState(), Qt::Checked);
  QTest::keyClick(tables, Qt::Key_Space);
  QCOMPARE(products->checkState(), Qt::Unchecked);
  QTest::keyClick(tables, Qt::Key_Space);
  QCOMPARE(products->checkState(), Qt::Checked);
  QTest::mouseClick(tables->viewport(), Qt::RightButton, {}, onTickBox);
  QCOMPARE(products->checkState(), Qt::Checked);
}

void MainWindowTest::generateButtonsWriteTheScript_data() {
  QTest::addColumn<QString>("buttonName");
  QTest::addColumn<QString>("expected");
  QTest::newRow("with GO") << "BtnMakeSql" << VELMORA_DATA_DIR "/sample-shop.expected.txt";
  QTest::newRow("test script") << "Button2" << VELMORA_DATA_DIR "/sample-shop-nogo.expected.txt";
}

void MainWindowTest::generateButtonsWriteTheScript() {
  QFETCH(QString, buttonName);
  QFETCH(QString, expected);
  auto window = shopWindow();
  QSignalSpy progress(window->status(), &QStatusBar::messageChanged);
  // A second run starts from an empty file.
  for (int run = 0; run < 2; ++run)
    QTest::mouseClick(window->button(buttonName.toLatin1().constData()), Qt::LeftButton);

  QCOMPARE(fileBytes("MakeInitData.txt"), fileBytes(expected));
  QVERIFY(window->presenter.boxes.empty());
  QStringList texts;
  for (const QList<QVariant>& signal : progress)
    texts << signal.at(0).toString();
  QStringList oneRun;
  for (const QString& table : kShopTables)
    oneRun << progressText(table);
  oneRun << QStringLiteral("初始化数据处理完毕!");
  QCOMPARE(texts, oneRun + oneRun);
  QCOMPARE(window->status()->currentMessage(), QStringLiteral("初始化数据处理完毕!"));
  QCOMPARE(window->entries("LstBoxFieldName"), QStringList({"Code", "Name", "Memo", "Born"}));

  if (buttonName == QStringLiteral("BtnMakeSql")) {
    window->list("ChkBoxTableName")->setCurrentRow(2);
    const QString shot = QStringLiteral(VELMORA_WINDOW_SHOT_DIR "/window-after-run.png");
    QVERIFY(window->form.grab().save(shot));
  }
}

void MainWindowTest::appendFailureShowsTheErrorBox() {
  auto window = shopWindow();
  // The script file cannot be written where a folder has taken its name.
  QVERIFY(QFile::remove("MakeInitData.txt"));
  QVERIFY(QDir().mkdir("MakeInitData.txt"));
  QTest::mouseClick(window->button("BtnMakeSql"), Qt::LeftButton);
  QCOMPARE(window->presenter.boxes.size(), std::size_t{1});
  const MessageBoxContent& box = window->presenter.boxes.front();
  QCOMPARE(box.text, QStringLiteral("File access denied."));
  QCOMPARE(box.caption, QStringLiteral("Velmora"));
  QCOMPARE(box.icon, QMessageBox::Critical);
  QCOMPARE(box.kind, MessageBoxContent::Kind::error);
  QCOMPARE(window->presenter.owners.front(), &window->form);
  // The script's first line, the date order, fails before any table is reached.
  QCOMPARE(window->status()->currentMessage(), QString());
  // The window goes on: with the folder gone a new run works.
  QVERIFY(QDir().rmdir("MakeInitData.txt"));
  QTest::mouseClick(window->button("BtnMakeSql"), Qt::LeftButton);
  QCOMPARE(window->presenter.boxes.size(), std::size_t{1});
  QCOMPARE(fileBytes("MakeInitData.txt"), fileBytes(VELMORA_DATA_DIR "/sample-shop.expected.txt"));
}

void MainWindowTest::catalogueFailureShowsTheErrorBox() {
  velmora::test::MemoryServer memory;
  memory.addDatabase(u"Shop");
  memory.setFailingStatement(
      u"select name, SCHEMA_NAME(uid) from SysObjects where OBJECTPROPERTY(id, N'IsUserTable')= 1",
      "对象名 'SysObjects' 无效");
  Window window(std::make_unique<velmora::test::MemoryConnectionFactory>(memory));
  window.show();
  window.connectTo(QStringLiteral("memory"), QString());
  QCOMPARE(window.databaseNames(), QStringList({"Shop"}));
  window.pickShownDatabase();
  QCOMPARE(window.presenter.boxes.size(), std::size_t{1});
  QCOMPARE(window.presenter.boxes[0].text, QStringLiteral("对象名 'SysObjects' 无效."));
  QCOMPARE(window.presenter.boxes[0].icon, QMessageBox::Critical);
}

void MainWindowTest::databaseListFailingPartWayKeepsTheNamesWithNoneSelected() {
  velmora::test::MemoryServer memory;
  velmora::test::MemoryResult answer;
  answer.columns = {velmora::test::column(u"name", "sysname")};
  answer.rows = {{std::u16string(u"Shop")}, {std::u16string(u"Empty")}};
  answer.failAfterRows = 1;
  memory.setAnswer(u"Select Name from SysDataBases where DBid>6", answer);
  Window window(std::make_unique<velmora::test::MemoryConnectionFactory>(memory));
  window.show();
  window.connectTo(QStringLiteral("memory"), QString());
  QCOMPARE(window.presenter.boxes.size(), std::size_t{1});
  QCOMPARE(window.databaseNames(), QStringList({"Shop"}));
  QCOMPARE(window.databases()->currentIndex(), -1);
}

void MainWindowTest::serverWithoutUserDatabases() {
  velmora::test::MemoryServer memory;
  memory.addDatabase(u"model", 3);
  Window window(std::make_unique<velmora::test::MemoryConnectionFactory>(memory));
  window.show();
  window.connectTo(QStringLiteral("memory"), QString());
  QVERIFY(window.presenter.boxes.empty());
  QCOMPARE(window.databases()->count(), 0);
  QCOMPARE(window.databases()->currentIndex(), -1);
  QCOMPARE(window.list("ChkBoxTableName")->count(), 0);
}

void MainWindowTest::inputDuringARunIsIgnored() {
  auto window = shopWindow();
  bool firedDuringRun = false;
  QTimer::singleShot(0, &window->form, [&] {
    firedDuringRun = window->form.isRunning();
    window->edit("EdtPassWord")->setText("wrong");
    QTest::mouseClick(window->button("Button1"), Qt::LeftButton);
    QTest::mouseClick(window->button("BtnMakeSql"), Qt::LeftButton);
    QTest::mouseClick(window->button("Button2"), Qt::LeftButton);
    QTest::keyClick(window->button("Button2"), Qt::Key_Space);
    QTest::keyClick(window->databases(), Qt::Key_Down);
    QTest::keyClick(window->databases(), Qt::Key_Backspace);
    window->edit("EdtPassWord")->setText(kPassword);
  });
  QTest::mouseClick(window->button("BtnMakeSql"), Qt::LeftButton);
  QVERIFY(firedDuringRun);
  QVERIFY(window->presenter.boxes.empty());
  QCOMPARE(window->databases()->currentText(), QStringLiteral("Shop"));
  QCOMPARE(fileBytes("MakeInitData.txt"), fileBytes(VELMORA_DATA_DIR "/sample-shop.expected.txt"));
  // After the run the same controls answer again.
  QTest::keyClick(window->databases(), Qt::Key_Down);
  QCOMPARE(window->databases()->currentText(), QStringLiteral("Empty"));
  QCOMPARE(window->list("ChkBoxTableName")->count(), 0);
}

void MainWindowTest::tickReadWhenTheRunReachesTheTable() {
  auto window = shopWindow();
  // Handled while the run writes the first table: the last one is unticked before it is reached.
  QTimer::singleShot(0, &window->form, [&] {
    window->list("ChkBoxTableName")->item(4)->setCheckState(Qt::Unchecked);
  });
  QTest::mouseClick(window->button("Button2"), Qt::LeftButton);
  const QByteArray script = fileBytes("MakeInitData.txt");
  QVERIFY(script.contains("insert Dept "));
  QVERIFY(!script.contains("insert Customers "));
  QVERIFY(script.endsWith("ALTER DATABASE Shop SET AUTO_CLOSE ON\r\n"));
}

void MainWindowTest::closeDuringARunLetsTheRunFinish() {
  auto window = shopWindow();
  QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
  bool visibleAfterClose = false;
  // The click comes from the running event loop, as a user's would; the close request
  // arrives while the run lets events through.
  QTimer::singleShot(0, &window->form, [&] {
    QTimer::singleShot(0, &window->form, [&] {
      window->form.close();
      visibleAfterClose = window->form.isVisible();
    });
    QTest::mouseClick(window->button("Button2"), Qt::LeftButton);
  });
  QTimer guard;
  bool timedOut = false;
  guard.setSingleShot(true);
  connect(&guard, &QTimer::timeout, [&] {
    timedOut = true;
    QCoreApplication::quit();
  });
  guard.start(30000);
  QApplication::exec();
  QVERIFY(!timedOut);
  QVERIFY(visibleAfterClose);
  QVERIFY(!window->form.isVisible());
  QCOMPARE(lastClosed.count(), 1);
  QCOMPARE(window->status()->currentMessage(), QStringLiteral("初始化数据处理完毕!"));
  QCOMPARE(fileBytes("MakeInitData.txt"),
           fileBytes(VELMORA_DATA_DIR "/sample-shop-nogo.expected.txt"));
}

void MainWindowTest::splitterDrag() {
  auto window = standinWindow();
  window->show();
  QWidget* splitter = window->form.findChild<QWidget*>("Splitter1");
  QListWidget* columns = window->list("LstBoxFieldName");
  QListWidget* tables = window->list("ChkBoxTableName");
  QCOMPARE(splitter->cursor().shape(), Qt::SizeVerCursor);
  auto drag = [&](int dy, bool cancel = false) {
    const QPoint grab(100, 2);
    QTest::mousePress(splitter, Qt::LeftButton, {}, grab);
    QTest::mouseMove(splitter, grab + QPoint(0, dy));
    if (cancel)
      QTest::keyClick(splitter, Qt::Key_Escape);
    QTest::mouseRelease(splitter, Qt::LeftButton, {}, grab + QPoint(0, dy));
  };
  drag(-100);
  QCOMPARE(columns->height(), 197);
  QCOMPARE(tables->height() + 5 + columns->height(), 432);
  QCOMPARE(window->form.findChild<QWidget*>("Panel2")->height(), tables->height());
  drag(-1000);
  QCOMPARE(columns->height(), 397);
  drag(40, true);
  QCOMPARE(columns->height(), 397);
  drag(1000);
  QCOMPARE(columns->height(), 0);
  QVERIFY(!columns->isVisible());
  QCOMPARE(splitter->geometry(), QRect(1, 428, 762, 5));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
