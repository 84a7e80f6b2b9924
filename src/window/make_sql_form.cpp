#include "window/make_sql_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolTip>
#include <algorithm>

#include "server/trim.h"
#include "window/database_name_box.h"
#include "window/error_reporting.h"
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

}  // namespace

TMakeSqlForm::TMakeSqlForm(server::ConnectionFactory& factory, const script::Codeset& codeset,
                           const script::LocaleFormats& formats, MessagePresenter& presenter,
                           QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      presenter_(presenter),
      session_(factory),
      scriptFile_(codeset),
      valueText_(codeset, formats),
      run_(*this, session_.AdoTblGetSql(), scriptFile_, valueText_) {
  initLogoResources();
  setObjectName(QStringLiteral("MakeSqlForm"));
  setWindowTitle(kWindowCaption);
  setFixedSize(kClientWidth, kClientHeight);

  QPalette colours = palette();
  colours.setColor(QPalette::Window, colours.color(QPalette::Button));
  setPalette(colours);
  setAutoFillBackground(true);
  QFont font;
  font.setFamilies({QStringLiteral("宋体")});
  font.setPixelSize(13);
  setFont(font);

  buildControls();
  setTabOrder();
  databaseList_ = std::make_unique<ComboDatabaseList>(*CmbDBName_);
  tableList_ = std::make_unique<CheckTableList>(*ChkBoxTableName_);

  connect(Button1_, &QPushButton::clicked, this, &TMakeSqlForm::Button1Click);
  connect(CmbDBName_, &DatabaseNameBox::userChanged, this, &TMakeSqlForm::CmbDBNameChange);
  connect(BtnMakeSql_, &QPushButton::clicked, this, &TMakeSqlForm::BtnMakeSqlClick);
  connect(Button2_, &QPushButton::clicked, this, &TMakeSqlForm::Button2Click);
  connect(Button3_, &QPushButton::clicked, this, &TMakeSqlForm::Button3Click);
  connect(Button4_, &QPushButton::clicked, this, &TMakeSqlForm::Button4Click);
  connect(Splitter1_, &FieldListSplitter::listHeightChosen, this, &TMakeSqlForm::layoutTablePanel);
  for (QWidget* control : {static_cast<QWidget*>(Button1_), static_cast<QWidget*>(BtnMakeSql_),
                           static_cast<QWidget*>(Button2_)})
    control->installEventFilter(this);
  Button1_->setFocus();
}

TMakeSqlForm::~TMakeSqlForm() = default;

void TMakeSqlForm::buildControls() {
  Panel3_ = new QWidget(this);
  Panel3_->setObjectName(QStringLiteral("Panel3"));
  Panel3_->setGeometry(0, 0, kClientWidth, kPanel3Height);

  makeLabel(Panel3_, "Label1", QStringLiteral("数据库服务器"), 16, 17);
  EdtComputer_ = makeEdit(Panel3_, "EdtComputer", 11);
  makeLabel(Panel3_, "Label2", QStringLiteral("数据库用户名"), 16, 49);
  EdtUser_ = makeEdit(Panel3_, "EdtUser", 45);
  EdtUser_->setText(QStringLiteral("sa"));
  EdtUser_->setReadOnly(true);
  QPalette userColours = EdtUser_->palette();
  userColours.setColor(QPalette::Base, QApplication::palette("QMenu").color(QPalette::Window));
  EdtUser_->setPalette(userColours);
  makeLabel(Panel3_, "Label3", QStringLiteral("数据库密码"), 16, 81);
  EdtPassWord_ = makeEdit(Panel3_, "EdtPassWord", 76);
  EdtPassWord_->setEchoMode(QLineEdit::Password);
  auto* passwordStyle = new PasswordStyle;
  passwordStyle->setParent(EdtPassWord_);
  EdtPassWord_->setStyle(passwordStyle);
  makeLabel(Panel3_, "Label4", QStringLiteral("选择数据库"), 16, 111);
  CmbDBName_ = new DatabaseNameBox(Panel3_);
  CmbDBName_->setObjectName(QStringLiteral("CmbDBName"));
  CmbDBName_->setGeometry(112, 104, 441, 21);
  Button1_ = makeButton(Panel3_, "Button1", QStringLiteral("尝试连接数据"), 620, 15);
  BtnMakeSql_ = makeButton(Panel3_, "BtnMakeSql", QStringLiteral("生成SQL语句"), 620, 58);
  Button2_ = makeButton(Panel3_, "Button2", QStringLiteral("生成测试SQL语句"), 620, 101);

  Panel1_ = new QFrame(this);
  Panel1_->setObjectName(QStringLiteral("Panel1"));
  Panel1_->setGeometry(0, kPanel3Height, kClientWidth,
                       kClientHeight - kPanel3Height - kStatusBarHeight);
  Panel1_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1_->setLineWidth(1);

  ChkBoxTableName_ = new QListWidget(Panel1_);
  ChkBoxTableName_->setObjectName(QStringLiteral("ChkBoxTableName"));
  ChkBoxTableName_->setSortingEnabled(false);
  ChkBoxTableName_->setSelectionMode(QAbstractItemView::SingleSelection);

  Panel2_ = new QWidget(Panel1_);
  Panel2_->setObjectName(QStringLiteral("Panel2"));
  Button3_ = makeButton(Panel2_, "Button3", QStringLiteral("选择全部"), 28, 15);
  Button4_ = makeButton(Panel2_, "Button4", QStringLiteral("所有不选"), 28, 56);
  Image1_ =
      makePicture(Panel2_, "Image1", QStringLiteral(":/logos/mark.jpg"), QRect(10, 294, 27, 27));
  LogoImageBase_ = makePicture(Panel2_, "LogoImageBase", QStringLiteral(":/logos/base.jpg"),
                               QRect(40, 294, 120, 27));

  Splitter1_ = new FieldListSplitter(Panel1_);
  Splitter1_->setObjectName(QStringLiteral("Splitter1"));

  LstBoxFieldName_ = new QListWidget(Panel1_);
  LstBoxFieldName_->setObjectName(QStringLiteral("LstBoxFieldName"));
  LstBoxFieldName_->setSortingEnabled(false);
  LstBoxFieldName_->setSelectionMode(QAbstractItemView::SingleSelection);
  layoutTablePanel(kInitialFieldListHeight);

  StaBarProcessState_ = new QStatusBar(this);
  StaBarProcessState_->setObjectName(QStringLiteral("StaBarProcessState"));
  StaBarProcessState_->setGeometry(0, kClientHeight - kStatusBarHeight, kClientWidth,
                                   kStatusBarHeight);
  StaBarProcessState_->setSizeGripEnabled(false);
  StaBarProcessState_->setFont(QToolTip::font());
  QPalette statusColours = StaBarProcessState_->palette();
  statusColours.setColor(QPalette::WindowText, statusColours.color(QPalette::ButtonText));
  StaBarProcessState_->setPalette(statusColours);
}

void TMakeSqlForm::setTabOrder() {
  const QWidget* order[] = {Button1_,         CmbDBName_,   BtnMakeSql_,  Button2_,
                            EdtUser_,         EdtComputer_, EdtPassWord_, LstBoxFieldName_,
                            ChkBoxTableName_, Button3_,     Button4_};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i)
    QWidget::setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
}

void TMakeSqlForm::layoutTablePanel(int listHeight) {
  const QRect client = Panel1_->contentsRect();
  const int listTop = client.bottom() + 1 - listHeight;
  const int splitterTop = listTop - FieldListSplitter::kThickness;
  const int upperHeight = splitterTop - client.top();
  ChkBoxTableName_->setGeometry(client.left(), client.top(), client.width() - kPanel2Width,
                                upperHeight);
  Panel2_->setGeometry(client.right() + 1 - kPanel2Width, client.top(), kPanel2Width, upperHeight);
  Splitter1_->setGeometry(client.left(), splitterTop, client.width(),
                          FieldListSplitter::kThickness);
  LstBoxFieldName_->setGeometry(client.left(), listTop, client.width(), listHeight);
  LstBoxFieldName_->setVisible(listHeight > 0);
}

void TMakeSqlForm::showEvent(QShowEvent* event) {
  if (!shownBefore_) {
    shownBefore_ = true;
    runHandler(presenter_, this, [this] { FormShow(); });
    centreOnDesktop();
  }
  QWidget::showEvent(event);
}

void TMakeSqlForm::centreOnDesktop() {
  const QScreen* desktop = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!desktop)
    return;
  const QRect area = desktop->geometry();
  const QSize size = frameGeometry().size();
  move(area.left() + std::max(0, (area.width() - size.width()) / 2),
       area.top() + std::max(0, (area.height() - size.height()) / 2));
}

void TMakeSqlForm::closeEvent(QCloseEvent* event) {
  // A close asked for during a run is taken in now and carried out when the run returns.
  if (run_.isRunning()) {
    closeRequested_ = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

bool TMakeSqlForm::eventFilter(QObject* watched, QEvent* event) {
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

void TMakeSqlForm::setRunInputIgnored(bool ignored) {
  runInputIgnored_ = ignored;
  CmbDBName_->setInputIgnored(ignored);
}

server::ConnectionInputs TMakeSqlForm::connectionInputs() const {
  return {EdtComputer_->text().toStdU16String(), EdtUser_->text().toStdU16String(),
          EdtPassWord_->text().toStdU16String()};
}

void TMakeSqlForm::ShowMessage(const QString& text) {
  presenter_.present(messageBoxContent(text), this);
}

void TMakeSqlForm::FormShow() {
  CmbDBName_->clear();
  scriptFile_.prepare();
}

void TMakeSqlForm::Button1Click() {
  if (run_.isRunning())
    return;
  runHandler(presenter_, this, [this] {
    if (session_.ConnectDataBase(u"Master", session_.AdoConnDB(), connectionInputs()))
      session_.LoadDBNames(*databaseList_);
    else
      ShowMessage(kConnectionFailure);
  });
}

void TMakeSqlForm::CmbDBNameChange() {
  if (run_.isRunning())
    return;
  runHandler(presenter_, this, [this] {
    const std::u16string catalog(trimmed(CmbDBName_->currentText().toStdU16String()));
    if (session_.ConnectDataBase(catalog, session_.AdoConnDataBase(), connectionInputs()))
      session_.LoadTableNames(*tableList_);
    else
      ShowMessage(kConnectionFailure);
  });
}

void TMakeSqlForm::generate(bool withGo) {
  if (run_.isRunning())
    return;
  setRunInputIgnored(true);
  runHandler(presenter_, this, [this, withGo] {
    if (withGo)
      run_.BtnMakeSqlClick();
    else
      run_.Button2Click();
  });
  setRunInputIgnored(false);
  if (closeRequested_) {
    closeRequested_ = false;
    close();
  }
}

void TMakeSqlForm::Button3Click() {
  setAllTicked(*ChkBoxTableName_, true);
}

void TMakeSqlForm::Button4Click() {
  setAllTicked(*ChkBoxTableName_, false);
}

int TMakeSqlForm::tableCount() const {
  return ChkBoxTableName_->count();
}

std::u16string TMakeSqlForm::tableName(int index) const {
  return ChkBoxTableName_->item(index)->text().toStdU16String();
}

bool TMakeSqlForm::isTableTicked(int index) const {
  return ChkBoxTableName_->item(index)->checkState() == Qt::Checked;
}

std::u16string TMakeSqlForm::databaseName() const {
  return CmbDBName_->currentText().toStdU16String();
}

void TMakeSqlForm::setColumnNames(const std::vector<std::u16string>& names) {
  LstBoxFieldName_->clear();
  for (const auto& name : names)
    LstBoxFieldName_->addItem(QString::fromStdU16String(name));
}

std::vector<std::u16string> TMakeSqlForm::columnNames() const {
  std::vector<std::u16string> names;
  names.reserve(static_cast<std::size_t>(LstBoxFieldName_->count()));
  for (int i = 0; i < LstBoxFieldName_->count(); ++i)
    names.push_back(LstBoxFieldName_->item(i)->text().toStdU16String());
  return names;
}

void TMakeSqlForm::setProgressText(const std::u16string& text) {
  StaBarProcessState_->showMessage(QString::fromStdU16String(text));
}

void TMakeSqlForm::processPendingEvents() {
  QCoreApplication::processEvents();
}

}  // namespace velmora::window
