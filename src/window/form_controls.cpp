#include "window/form_controls.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QToolTip>

#include "window/database_name_box.h"
#include "window/field_list_splitter.h"
#include "window/jpeg_image.h"
#include "window/password_style.h"
#include "window/window_texts.h"

// Resources of a static library are linked in only when something refers to them.
static void initLogoResources() {
  Q_INIT_RESOURCE(logos);
}

namespace velmora::window {

namespace {

constexpr int kPanel3Height = 145;
constexpr int kStatusBarHeight = 22;
constexpr int kPanel2Width = 171;
constexpr int kInitialFieldListHeight = 97;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(left, top);
  label->adjustSize();
  return label;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, int top) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setGeometry(112, top, 440, 21);
  // The edits are only 21 pixels high: give the text all of it.
  edit->setTextMargins(0, -1, 0, -1);
  return edit;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, int left, int top) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(left, top, 120, 35);
  button->setAutoDefault(false);
  return button;
}

QLabel* makePicture(QWidget* parent, const char* name, const QString& resource, QRect box) {
  auto* picture = new QLabel(parent);
  picture->setObjectName(QString::fromLatin1(name));
  picture->setGeometry(box);
  // Stretched to the box in both directions, aspect ratio not kept.
  picture->setScaledContents(true);
  picture->setPixmap(QPixmap::fromImage(jpegResource(resource)));
  return picture;
}

QListWidget* makeList(QWidget* parent, const char* name) {
  auto* list = new QListWidget(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setSortingEnabled(false);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  return list;
}

void setUpForm(QWidget& form) {
  form.setObjectName(QStringLiteral("MakeSqlForm"));
  form.setWindowTitle(kWindowCaption);
  form.setFixedSize(kClientWidth, kClientHeight);
  QPalette colours = form.palette();
  colours.setColor(QPalette::Window, colours.color(QPalette::Button));
  form.setPalette(colours);
  form.setAutoFillBackground(true);
  QFont font;
  font.setFamilies({QStringLiteral("宋体")});
  font.setPixelSize(13);
  form.setFont(font);
}

void buildConnectionPanel(QWidget& form, FormControls& c) {
  c.connectionPanel = new QWidget(&form);
  QWidget* panel = c.connectionPanel;
  panel->setObjectName(QStringLiteral("Panel3"));
  panel->setGeometry(0, 0, kClientWidth, kPanel3Height);

  makeLabel(panel, "Label1", QStringLiteral("数据库服务器"), 16, 17);
  c.serverEdit = makeEdit(panel, "EdtComputer", 11);
  makeLabel(panel, "Label2", QStringLiteral("数据库用户名"), 16, 49);
  c.userEdit = makeEdit(panel, "EdtUser", 45);
  c.userEdit->setText(QStringLiteral("sa"));
  c.userEdit->setReadOnly(true);
  QPalette userColours = c.userEdit->palette();
  userColours.setColor(QPalette::Base, QApplication::palette("QMenu").color(QPalette::Window));
  c.userEdit->setPalette(userColours);
  makeLabel(panel, "Label3", QStringLiteral("数据库密码"), 16, 81);
  c.passwordEdit = makeEdit(panel, "EdtPassWord", 76);
  c.passwordEdit->setEchoMode(QLineEdit::Password);
  auto* passwordStyle = new PasswordStyle;
  passwordStyle->setParent(c.passwordEdit);
  c.passwordEdit->setStyle(passwordStyle);
  makeLabel(panel, "Label4", QStringLiteral("选择数据库"), 16, 111);
  c.databaseList = new DatabaseNameBox(panel);
  c.databaseList->setObjectName(QStringLiteral("CmbDBName"));
  c.databaseList->setGeometry(112, 104, 441, 21);
  c.connectButton = makeButton(panel, "Button1", QStringLiteral("尝试连接数据"), 620, 15);
  c.generateButton = makeButton(panel, "BtnMakeSql", QStringLiteral("生成SQL语句"), 620, 58);
  c.testScriptButton = makeButton(panel, "Button2", QStringLiteral("生成测试SQL语句"), 620, 101);
}

void buildTablePanel(QWidget& form, FormControls& c) {
  c.tablePanel = new QFrame(&form);
  QFrame* panel = c.tablePanel;
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setGeometry(0, kPanel3Height, kClientWidth,
                     kClientHeight - kPanel3Height - kStatusBarHeight);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setLineWidth(1);

  c.tableList = makeList(panel, "ChkBoxTableName");
  c.tableButtonPanel = new QWidget(panel);
  c.tableButtonPanel->setObjectName(QStringLiteral("Panel2"));
  c.selectAllButton = makeButton(c.tableButtonPanel, "Button3", QStringLiteral("选择全部"), 28, 15);
  c.selectNoneButton =
      makeButton(c.tableButtonPanel, "Button4", QStringLiteral("所有不选"), 28, 56);
  c.markPicture = makePicture(c.tableButtonPanel, "Image1", QStringLiteral(":/logos/mark.jpg"),
                              QRect(10, 294, 27, 27));
  c.logoPicture = makePicture(c.tableButtonPanel, "LogoImageBase",
                              QStringLiteral(":/logos/base.jpg"), QRect(40, 294, 120, 27));

  c.splitter = new FieldListSplitter(panel);
  c.splitter->setObjectName(QStringLiteral("Splitter1"));
  c.columnList = makeList(panel, "LstBoxFieldName");
  layoutTablePanel(c, kInitialFieldListHeight);
}

void buildProgressBar(QWidget& form, FormControls& c) {
  c.progressBar = new QStatusBar(&form);
  QStatusBar* bar = c.progressBar;
  bar->setObjectName(QStringLiteral("StaBarProcessState"));
  bar->setGeometry(0, kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight);
  bar->setSizeGripEnabled(false);
  bar->setFont(QToolTip::font());
  QPalette statusColours = bar->palette();
  statusColours.setColor(QPalette::WindowText, statusColours.color(QPalette::ButtonText));
  bar->setPalette(statusColours);
}

void setTabOrder(const FormControls& c) {
  QWidget* const order[] = {c.connectButton,    c.databaseList,    c.generateButton,
                            c.testScriptButton, c.userEdit,        c.serverEdit,
                            c.passwordEdit,     c.columnList,      c.tableList,
                            c.selectAllButton,  c.selectNoneButton};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i)
    QWidget::setTabOrder(order[i], order[i + 1]);
}

}  // namespace

FormControls buildFormControls(QWidget& form) {
  initLogoResources();
  setUpForm(form);
  FormControls controls;
  buildConnectionPanel(form, controls);
  buildTablePanel(form, controls);
  buildProgressBar(form, controls);
  setTabOrder(controls);
  return controls;
}

void layoutTablePanel(const FormControls& c, int listHeight) {
  const QRect client = c.tablePanel->contentsRect();
  const int listTop = client.bottom() + 1 - listHeight;
  const int splitterTop = listTop - FieldListSplitter::kThickness;
  const int upperHeight = splitterTop - client.top();
  c.tableList->setGeometry(client.left(), client.top(), client.width() - kPanel2Width, upperHeight);
  c.tableButtonPanel->setGeometry(client.right() + 1 - kPanel2Width, client.top(), kPanel2Width,
                                  upperHeight);
  c.splitter->setGeometry(client.left(), splitterTop, client.width(),
                          FieldListSplitter::kThickness);
  c.columnList->setGeometry(client.left(), listTop, client.width(), listHeight);
  c.columnList->setVisible(listHeight > 0);
}

}  // namespace velmora::window
