// Drives the window offscreen through a generation run: connects to the server named on the
// command line, picks the database, ticks one table, clicks the generate button and prints the
// seconds from the click to the finished progress text. Run by bench/window_run.sh.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "script/codeset.h"
#include "script/locale_formats.h"
#include "server/odbc_connection.h"
#include "window/database_name_box.h"
#include "window/main_window.h"

namespace {

using namespace velmora;

// Prints every box to standard error and remembers that one came: a run that shows a box has
// failed, as the window shows nothing else.
class PrintingPresenter final : public window::MessagePresenter {
 public:
  void present(const window::MessageBoxContent& content, QWidget*) override {
    std::fprintf(stderr, "box: %s\n", content.text.toUtf8().constData());
    shown = true;
  }
  bool shown = false;
};

template <typename Widget>
Widget& child(QWidget& window, const char* name) {
  auto* found = window.findChild<Widget*>(QString::fromLatin1(name));
  if (found == nullptr) {
    std::fprintf(stderr, "window_run: no control named %s\n", name);
    std::exit(2);
  }
  return *found;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  QApplication application(argc, argv);
  if (argc != 5) {
    std::fprintf(stderr, "usage: window_run SERVER PASSWORD DATABASE TABLE\n");
    return 2;
  }
  const script::Codeset codeset(script::Codeset::processCodesetName());
  const script::LocaleFormats formats = script::localeFormatsFromSystem(codeset);
  const auto factory = server::makeOdbcConnectionFactory();
  PrintingPresenter presenter;
  window::MainWindow form(*factory, codeset, formats, presenter);
  form.show();
  QApplication::processEvents();

  child<QLineEdit>(form, "EdtComputer").setText(QString::fromLocal8Bit(argv[1]));
  child<QLineEdit>(form, "EdtPassWord").setText(QString::fromLocal8Bit(argv[2]));
  child<QPushButton>(form, "Button1").click();
  auto& databases = child<window::DatabaseNameBox>(form, "CmbDBName");
  databases.setCurrentIndex(databases.findText(QString::fromLocal8Bit(argv[3])));
  emit databases.userChanged();
  auto& tables = child<QListWidget>(form, "ChkBoxTableName");
  for (int i = 0; i < tables.count(); ++i) {
    QListWidgetItem* entry = tables.item(i);
    entry->setCheckState(entry->text() == QString::fromLocal8Bit(argv[4]) ? Qt::Checked
                                                                          : Qt::Unchecked);
  }
  if (presenter.shown || tables.count() == 0)
    return 1;

  QElapsedTimer clock;
  clock.start();
  child<QPushButton>(form, "BtnMakeSql").click();
  const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  if (presenter.shown)
    return 1;
  std::fprintf(stderr, "%s\n",
               child<QStatusBar>(form, "StaBarProcessState").currentMessage().toUtf8().constData());
  std::printf("%.2f\n", seconds);
  return 0;
}
