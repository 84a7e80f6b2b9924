#include <QDialogButtonBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <stdexcept>

#include "recording_presenter.h"
#include "server/odbc_driver_check.h"
#include "window/database_name_box.h"
#include "window/error_reporting.h"
#include "window/field_list_splitter.h"
#include "window/jpeg_image.h"
#include "window/program_start.h"

using namespace velmora::window;
using velmora::server::DataComponentMissing;
using velmora::server::requireOdbcDriver;

namespace {

// One typed step for the database list: a key, or a pause longer than the search pause.
struct Step {
  Qt::Key key;
  char text;
};
constexpr Step kPause{Qt::Key_unknown, 0};

}  // namespace

Q_DECLARE_METATYPE(std::vector<Step>)

class WindowPartsTest : public QObject {
  Q_OBJECT

 private slots:
  void errorBoxAppendsFullStop_data();
  void errorBoxAppendsFullStop();
  void startupErrorText_data();
  void startupErrorText();
  void startupErrorBoxEndsTheProgram();
  void missingDriverIsAStartupError();
  void boxesHaveCaptionIconAndOneOkButton_data();
  void boxesHaveCaptionIconAndOneOkButton();
  void handlerErrorsGoToTheErrorBox();
  void logosDecode();
  void brokenJpegIsAnError();
  void splitterHeights_data();
  void splitterHeights();
  void databaseListRaisesChangeOnlyForUserPicks_data();
  void databaseListRaisesChangeOnlyForUserPicks();
  void databaseListIgnoresInputWhenAsked();
};

void WindowPartsTest::errorBoxAppendsFullStop_data() {
  QTest::addColumn<QString>("message");
  QTest::addColumn<QString>("shown");
  QTest::newRow("letter") << "File not found"
                          << "File not found.";
  QTest::newRow("digit") << "I/O error 28"
                         << "I/O error 28.";
  QTest::newRow("full stop") << "Invalid object name 'X'."
                             << "Invalid object name 'X'.";
  QTest::newRow("empty") << ""
                         << "";
  QTest::newRow("Chinese") << QStringLiteral("表不存在") << QStringLiteral("表不存在.");
  QTest::newRow("Chinese full stop")
      << QStringLiteral("表不存在。") << QStringLiteral("表不存在。.");
  QTest::newRow("blank") << "ends with blank "
                         << "ends with blank ";
  QTest::newRow("bang") << "done!"
                        << "done!";
  QTest::newRow("paren") << "(x)"
                         << "(x)";
  QTest::newRow("comma") << "a,"
                         << "a,";
  QTest::newRow("slash sorts after") << "a/"
                                     << "a/.";
  QTest::newRow("colon") << "a:"
                         << "a:.";
}

void WindowPartsTest::errorBoxAppendsFullStop() {
  QFETCH(QString, message);
  QFETCH(QString, shown);
  QCOMPARE(errorBoxText(message), shown);
}

void WindowPartsTest::startupErrorText_data() {
  QTest::addColumn<QString>("message");
  QTest::addColumn<QString>("secondLine");
  // Only "." itself keeps the full stop away here.
  QTest::newRow("plain") << "No driver"
                         << "No driver.";
  QTest::newRow("full stop") << "No driver."
                             << "No driver.";
  QTest::newRow("bang") << "No driver!"
                        << "No driver!.";
  QTest::newRow("empty") << ""
                         << "";
}

void WindowPartsTest::startupErrorText() {
  QFETCH(QString, message);
  QFETCH(QString, secondLine);
  QCOMPARE(velmora::window::startupErrorText("DataAccessError", "velmora", 0x1a2b, message),
           "Exception DataAccessError in module velmora at 00001A2B.\r\n" + secondLine + "\r\n");
}

void WindowPartsTest::startupErrorBoxEndsTheProgram() {
  RecordingPresenter presenter;
  bool factoryMade = false;
  const StartupParts parts{[] { throw DataComponentMissing(); },
                           [&]() -> std::unique_ptr<velmora::server::ConnectionFactory> {
                             factoryMade = true;
                             return nullptr;
                           }};
  QCOMPARE(runMainWindow(parts, presenter), 1);
  QVERIFY(!factoryMade);
  QCOMPARE(presenter.boxes.size(), std::size_t{1});
  const MessageBoxContent& box = presenter.boxes.front();
  QCOMPARE(box.caption, QStringLiteral("Application Error"));
  QCOMPARE(box.icon, QMessageBox::Critical);
  QCOMPARE(presenter.owners.front(), nullptr);
  // The offset says where in the program the failed step lies: never 0.
  const QRegularExpressionMatch match =
      QRegularExpression(
          QStringLiteral("^Exception velmora::server::DataComponentMissing in module velmora at "
                         "([0-9A-F]{8})\\.\r\nError creating object\\.  Please verify that "
                         "the Microsoft Data Access Components 2\\.1 \\(or later\\) have "
                         "been properly installed\\.\r\n$"))
          .match(box.text);
  QVERIFY2(match.hasMatch(), qPrintable(box.text));
  QVERIFY(match.captured(1) != QStringLiteral("00000000"));
  QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void WindowPartsTest::missingDriverIsAStartupError() {
  QVERIFY_THROWS_EXCEPTION(DataComponentMissing,
                           requireOdbcDriver("No Such Driver For Velmora Tests"));
}

void WindowPartsTest::boxesHaveCaptionIconAndOneOkButton_data() {
  QTest::addColumn<int>("kind");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<int>("icon");
  QTest::newRow("message") << 0 << "Velmora" << int(QMessageBox::NoIcon);
  QTest::newRow("error") << 1 << "Velmora" << int(QMessageBox::Critical);
  QTest::newRow("start-up") << 2 << "Application Error" << int(QMessageBox::Critical);
}

void WindowPartsTest::boxesHaveCaptionIconAndOneOkButton() {
  QFETCH(int, kind);
  QFETCH(QString, caption);
  QFETCH(int, icon);
  const std::runtime_error error("Disk full");
  const MessageBoxContent content = kind == 0 ? messageBoxContent(QStringLiteral("无法连接数据库"))
                                    : kind == 1 ? errorBoxContent(error)
                                                : startupErrorContent(error, 0);
  const auto box = buildMessageBox(content, nullptr);
  QCOMPARE(box->windowTitle(), caption);
  QCOMPARE(int(box->icon()), icon);
  QCOMPARE(box->text(), content.text);
  QCOMPARE(box->buttons().size(), 1);
  QCOMPARE(box->standardButtons(), QMessageBox::Ok);
  QCOMPARE(box->defaultButton(), box->button(QMessageBox::Ok));
  QCOMPARE(box->escapeButton(), box->button(QMessageBox::Ok));
}

void WindowPartsTest::handlerErrorsGoToTheErrorBox() {
  RecordingPresenter presenter;
  bool resumed = false;
  runHandler(presenter, nullptr, [&] {
    throw SilentAbort();
    resumed = true;
  });
  QVERIFY(presenter.boxes.empty());
  runHandler(presenter, nullptr, [&] {
    throw std::runtime_error("AdoTblGetSql: Field 'X' not found");
    resumed = true;
  });
  QVERIFY(!resumed);
  QCOMPARE(presenter.boxes.size(), std::size_t{1});
  QCOMPARE(presenter.boxes[0].text, QStringLiteral("AdoTblGetSql: Field 'X' not found."));
  QCOMPARE(presenter.boxes[0].icon, QMessageBox::Critical);
}

void WindowPartsTest::logosDecode() {
  Q_INIT_RESOURCE(logos);
  QCOMPARE(jpegResource(":/logos/mark.jpg").size(), QSize(108, 108));
  QCOMPARE(jpegResource(":/logos/base.jpg").size(), QSize(480, 108));
}

void WindowPartsTest::brokenJpegIsAnError() {
  QFile file(QStringLiteral(":/logos/mark.jpg"));
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  QVERIFY_THROWS_EXCEPTION(std::runtime_error, decodeJpeg(QByteArray("not a picture")));
  QVERIFY_THROWS_EXCEPTION(std::runtime_error, decodeJpeg(bytes.left(bytes.size() / 3)));
}

void WindowPartsTest::splitterHeights_data() {
  QTest::addColumn<int>("dragged");
  QTest::addColumn<int>("height");
  // The column list of a panel whose client area is 432 pixels high.
  QTest::newRow("unchanged") << 97 << 97;
  QTest::newRow("just above collapse") << 31 << 31;
  QTest::newRow("collapse limit") << 30 << 0;
  QTest::newRow("dragged past bottom") << -40 << 0;
  QTest::newRow("largest") << 397 << 397;
  QTest::newRow("past the top") << 500 << 397;
}

void WindowPartsTest::splitterHeights() {
  QFETCH(int, dragged);
  QFETCH(int, height);
  QCOMPARE(FieldListSplitter::listHeightFor(dragged, 432), height);
}

void WindowPartsTest::databaseListRaisesChangeOnlyForUserPicks_data() {
  QTest::addColumn<std::vector<Step>>("steps");
  QTest::addColumn<QString>("shown");
  QTest::addColumn<int>("changes");
  const Step e{Qt::Key_E, 'e'}, s{Qt::Key_S, 's'}, a{Qt::Key_A, 'a'}, t{Qt::Key_T, 't'};
  const Step upperS{Qt::Key_S, 'S'}, upperA{Qt::Key_A, 'A'}, x{Qt::Key_X, 'x'};
  const Step back{Qt::Key_Backspace, '\b'}, down{Qt::Key_Down, 0}, up{Qt::Key_Up, 0};
  QTest::newRow("prefix to another entry") << std::vector{e} << "Empty" << 1;
  QTest::newRow("prefix of the shown entry") << std::vector{s} << "Shop" << 0;
  QTest::newRow("longer prefix") << std::vector{s, a} << "Sales" << 1;
  QTest::newRow("case ignored") << std::vector{upperS, upperA} << "Sales" << 1;
  QTest::newRow("pause starts a new prefix") << std::vector{s, t, kPause, e} << "Empty" << 2;
  QTest::newRow("no match") << std::vector{x} << "Shop" << 0;
  QTest::newRow("backspace reconnects") << std::vector{back} << "Shop" << 1;
  QTest::newRow("backspace shortens prefix") << std::vector{s, a, back, t} << "Stock" << 3;
  QTest::newRow("arrow keys") << std::vector{down, down, up} << "Empty" << 3;
}

void WindowPartsTest::databaseListRaisesChangeOnlyForUserPicks() {
  QFETCH(std::vector<Step>, steps);
  QFETCH(QString, shown);
  QFETCH(int, changes);
  DatabaseNameBox box;
  box.addItems({"Shop", "Empty", "Sales", "Stock"});
  box.setCurrentIndex(1);
  box.setCurrentIndex(0);
  QSignalSpy spy(&box, &DatabaseNameBox::userChanged);
  for (const Step& step : steps) {
    if (step.key == Qt::Key_unknown)
      QTest::qWait(DatabaseNameBox::kSearchPauseMs + 100);
    else if (step.text != 0 && step.text != '\b')
      QTest::keyClick(&box, step.text);
    else
      QTest::keyClick(&box, step.key);
  }
  QCOMPARE(box.currentText(), shown);
  QCOMPARE(spy.count(), changes);
}

void WindowPartsTest::databaseListIgnoresInputWhenAsked() {
  DatabaseNameBox box;
  box.addItems({"Shop", "Empty"});
  QSignalSpy spy(&box, &DatabaseNameBox::userChanged);
  box.setInputIgnored(true);
  QTest::keyClick(&box, Qt::Key_Down);
  QTest::keyClick(&box, 'e');
  QTest::keyClick(&box, Qt::Key_Backspace);
  QCOMPARE(box.currentText(), QStringLiteral("Shop"));
  QCOMPARE(spy.count(), 0);
  box.setInputIgnored(false);
  QTest::keyClick(&box, Qt::Key_Down);
  QCOMPARE(spy.count(), 1);
}

QTEST_MAIN(WindowPartsTest)
#include "window_parts_test.moc"
