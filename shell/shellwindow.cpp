#include "shell/shellwindow.h"

#include "platform/report/printerdevice.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPrintDialog>
#include <QStatusBar>
#include <QTime>
#include <QToolBar>

#include "components/inifile.h"
#include "components/strings.h"
#include "platform/gui/dispatch.h"
#include "platform/gui/messagebox.h"
#include "platform/os/folders.h"
#include "platform/os/instance_lock.h"
#include "platform/os/programs.h"
#include "shell/aboutdialog.h"
#include "shell/backdrop.h"
#include "shell/menus.h"
#include "shell/pictures.h"
#include "shell/settings.h"
#include "platform/runtime/date.h"
#include "platform/table/table.h"

namespace mv {
namespace {

TableWindowFactory& factory_slot() {
  static TableWindowFactory f;
  return f;
}
HistoryDialog& history_slot() {
  static HistoryDialog d;
  return d;
}
OptionsDialog& options_slot() {
  static OptionsDialog d;
  return d;
}

const QString kAchtung = QStringLiteral("Achtung");

std::optional<OpenChoice> standard_open_dialog(QWidget* owner, bool read_only) {
  QFileDialog dlg(owner, QStringLiteral("Öffnen"));
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setNameFilters({QStringLiteral("DBF-Dateien (*.dbf *.DBF *.Dbf)"),
                      QStringLiteral("Alle Dateien (*)")});
  auto* ro = new QCheckBox(QStringLiteral("Schreibgeschützt öffnen"), &dlg);
  ro->setObjectName(QStringLiteral("CHB_READONLY"));
  ro->setChecked(read_only);
  if (auto* grid = qobject_cast<QGridLayout*>(dlg.layout()))
    grid->addWidget(ro, grid->rowCount(), 0, 1, grid->columnCount());
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  return OpenChoice{dlg.selectedFiles().first(), ro->isChecked()};
}

// The date of the history file as "yyyyMMdd" (eight blanks when it is no date).
QString date_key(const QString& datum) {
  return QString::fromStdString(dtos(ctod(datum.toStdString())));
}

// A program may be started only once: when `running` says one runs, the message instead.
void start_once(bool running, const QString& message, const std::function<void()>& start) {
  if (running) {
    gui::info_box(nullptr, kAchtung, message);
    return;
  }
  start();
}

}  // namespace

void set_table_window_factory(TableWindowFactory factory) { factory_slot() = std::move(factory); }
const TableWindowFactory& table_window_factory() { return factory_slot(); }
void set_history_dialog(HistoryDialog dialog) { history_slot() = std::move(dialog); }
void set_options_dialog(OptionsDialog dialog) { options_slot() = std::move(dialog); }

bool keyboard_lock_on(const char* which) {
  const QDir leds(QStringLiteral("/sys/class/leds"));
  const QString suffix = QStringLiteral("::") + QString::fromLatin1(which) + QStringLiteral("lock");
  for (const QString& led : leds.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
    if (!led.endsWith(suffix)) continue;
    QFile f(leds.filePath(led) + QStringLiteral("/brightness"));
    if (f.open(QIODevice::ReadOnly) && f.readAll().trimmed() != "0") return true;
  }
  return false;
}

STDSHELLWINDOW::STDSHELLWINDOW(QObject* /*owner*/) : gui::SHELLWINDOW(nullptr) {
  setObjectName(QStringLiteral("STDSHELLWINDOW"));
  open_dialog = standard_open_dialog;

  // Status bar with keyboard state and clock.
  QStatusBar* bar = statusBar();
  caps_ = new QLabel(QStringLiteral("CAPS"), bar);
  num_ = new QLabel(QStringLiteral("NUM"), bar);
  scroll_ = new QLabel(QStringLiteral("SCRL"), bar);
  clock_ = new QLabel(bar);
  clock_->setObjectName(QStringLiteral("clock"));
  for (QLabel* l : {caps_, num_, scroll_, clock_}) {
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 12);
    bar->addPermanentWidget(l);
  }
  clock_timer_ = new QTimer(this);
  connect(clock_timer_, &QTimer::timeout, this, &STDSHELLWINDOW::tick);
  clock_timer_->start(1000);
  tick();

  own_menu_ = new EMPTYSHELLMENU(this);
  current_menu_ = own_menu_.data();
  own_menu_->install(this, toolbar_visible_);

  setWindowIcon(MOLVANEICON());
  setWindowTitle(QStringLiteral("Molvane"));
  resize(800, 600);

  LEANSI = ansi_mode();

  connect(canvas(), &QMdiArea::subWindowActivated, this,
          [this](QMdiSubWindow*) { install_menu_for_active(); });
  SHELLWITHGRADIENT(QStringLiteral("Molvane"));
}

STDSHELLWINDOW::~STDSHELLWINDOW() {
  // The table windows go with the canvas; nothing is to be switched any more.
  closing_ = true;
  disconnect(canvas(), nullptr, this, nullptr);
  for (QWidget* child : children_windows()) disconnect(child, nullptr, this, nullptr);
  // The table windows go while the shell is still whole: on their way out they leave its
  // list of child windows.
  for (QMdiSubWindow* sub : canvas()->subWindowList()) delete sub;
}

ShellMenu* STDSHELLWINDOW::own_menu() const { return own_menu_.data(); }
ShellMenu* STDSHELLWINDOW::current_menu() const { return current_menu_.data(); }

STDSHELLWINDOW* STDSHELLWINDOW::SHELLWITHGRADIENT(const QString& text) {
  if (!backdrop_) backdrop_ = new Backdrop(canvas());
  backdrop_->select_gradient_text(text);
  canvas()->viewport()->update();
  return this;
}

void STDSHELLWINDOW::tick() {
  clock_->setText(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
  caps_->setEnabled(keyboard_lock_on("caps"));
  num_->setEnabled(keyboard_lock_on("num"));
  scroll_->setEnabled(keyboard_lock_on("scroll"));
}

void STDSHELLWINDOW::set_toolbar_visible(bool visible) {
  toolbar_visible_ = visible;
  if (current_menu_ && current_menu_->TOOLBAR()) current_menu_->TOOLBAR()->setVisible(visible);
}

void STDSHELLWINDOW::install_menu_for_active() {
  if (closing_) return;
  ShellMenu* menu = nullptr;
  if (QMdiSubWindow* sub = canvas()->activeSubWindow())
    if (QWidget* w = sub->widget()) menu = w->findChild<ShellMenu*>(QString(), Qt::FindDirectChildrenOnly);
  if (!menu) menu = own_menu_.data();
  if (!menu || menu == current_menu_) return;
  current_menu_ = menu;
  menu->install(this, toolbar_visible_);
}

void STDSHELLWINDOW::rebuild_own_menu() {
  ShellMenu* old = own_menu_.data();
  own_menu_ = new EMPTYSHELLMENU(this);
  if (current_menu_ == old || !current_menu_) {
    current_menu_ = own_menu_.data();
    own_menu_->install(this, toolbar_visible_);
  }
  delete old;
}

void STDSHELLWINDOW::REGISTERCHILD(QWidget* child) {
  gui::SHELLWINDOW::REGISTERCHILD(child);
  // A table window leaves the list when it goes, also when it never said so itself.
  if (child && ANZAHLCHILD() != known_children_)
    connect(child, &QObject::destroyed, this, &STDSHELLWINDOW::child_gone);
  known_children_ = ANZAHLCHILD();
}

void STDSHELLWINDOW::child_gone() {
  if (known_children_ > 0 && ANZAHLCHILD() == 0 && !closing_) REMOVECHILD(nullptr);
  known_children_ = ANZAHLCHILD();
}

void STDSHELLWINDOW::REMOVECHILD(QWidget* child) {
  gui::SHELLWINDOW::REMOVECHILD(child);
  known_children_ = ANZAHLCHILD();
  if (ANZAHLCHILD() == 0 && !closing_) {
    rebuild_own_menu();
    if (current_menu_ != own_menu_) {
      current_menu_ = own_menu_.data();
      own_menu_->install(this, GLTOOLBAR);
    }
    set_toolbar_visible(GLTOOLBAR);
  }
}

void STDSHELLWINDOW::SETTOOLBAR() {
  rebuild_own_menu();
  set_toolbar_visible(GLTOOLBAR);
}

STDSHELLWINDOW* STDSHELLWINDOW::DOOPENFILE(const QString& file, std::optional<bool> share,
                                           std::optional<bool> read_only,
                                           std::optional<bool> ansi) {
  if (file.size() > 3 && file.right(4).compare(QLatin1String(".DBF"), Qt::CaseInsensitive) == 0)
    return OPENTABDW_DATEN(file, share, read_only, ansi);
  gui::MessageRequest box;
  box.owner = this;
  box.caption = kAchtung;
  box.text = QStringLiteral("Die Datei: ") + file + QStringLiteral("\r\n") +
             QStringLiteral("kann nicht geöffnet werden, da keine DBF-Datei!");
  box.icon = gui::MsgIcon::None;
  box.buttons = gui::MsgButtons::Ok;
  gui::message_box(box);
  return this;
}

STDSHELLWINDOW* STDSHELLWINDOW::OPENTABDW_DATEN(const QString& file, std::optional<bool> share,
                                                std::optional<bool> read_only,
                                                std::optional<bool> ansi) {
  const TableWindowFactory& factory = table_window_factory();
  if (!factory) return this;  // no table windows in this build
  QWidget* w = factory(this, TableOpenRequest{file, share, read_only, ansi});
  if (!w) return this;
  REGISTERCHILD(w);
  if (gui::has_operation(w, "SHOW", 0))
    gui::call_operation(w, "SHOW");
  else
    w->show();
  return this;
}

void STDSHELLWINDOW::FILENEW() { OPENTABDW_DATEN(); }

void STDSHELLWINDOW::FILEOPEN() {
  if (!open_dialog) return;
  std::optional<OpenChoice> choice = open_dialog(this, GLREADONLY);
  if (!choice) return;
  DOOPENFILE(choice->file, !GLEXCLUSIVE, choice->read_only, GLSETANSI);
}

std::vector<HistoryRow> STDSHELLWINDOW::history_rows() const {
  std::vector<HistoryRow> rows;
  if (GCDATADIR.isEmpty()) return rows;
  for (const QStringList& section : GETALLSECTION(GCDATADIR + QStringLiteral("ZovuZUZ.INI"))) {
    HistoryRow row;
    row.path = section.value(0);
    QString datum, zeit;
    if (GOINIHISTORY) {
      datum = GOINIHISTORY->GETSTRING(row.path, QStringLiteral("Datum"));
      zeit = GOINIHISTORY->GETSTRING(row.path, QStringLiteral("Zeit"));
    }
    row.sort_key = date_key(datum) + zeit;
    QString drive, dir, ext;
    MYSPLITPATH(row.path, drive, dir, row.name, ext);
    rows.push_back(row);
  }
  return rows;
}

void STDSHELLWINDOW::FILEOPENDLG() {
  std::vector<HistoryRow> rows = history_rows();
  const int search = int(rows.size()) + 1;
  int r = search;
  if (!rows.empty() && history_slot()) r = history_slot()(this, rows);
  if (r == 0) return;
  if (r >= search) {
    if (!open_dialog) return;
    std::optional<OpenChoice> choice = open_dialog(this, LEREADONLY);
    if (!choice) return;
    DOOPENFILE(choice->file, LESHARE, choice->read_only, LEANSI);
    return;
  }
  if (r >= 1 && r <= int(rows.size())) DOOPENFILE(rows[size_t(r - 1)].path, LESHARE, LEREADONLY, LEANSI);
}

void STDSHELLWINDOW::FILEPRINTERSETUP() {
  QPrintDialog dlg(&printer_, this);
  dlg.setWindowTitle(QStringLiteral("Druckereinrichtung"));
  // The lists' print dialog starts on the printer chosen here.
  if (dlg.exec() == QDialog::Accepted) report::set_chosen_printer(printer_.printerName());
}

void STDSHELLWINDOW::FILEEXIT() { close(); }

void STDSHELLWINDOW::OPENOPTIONEN() {
  if (options_slot()) options_slot()(this);
}

void STDSHELLWINDOW::ZOVUZUZINI() {
  // Exactly the history file the program writes, whatever the spelling of its name.
  const QString path = GOINIHISTORY ? GOINIHISTORY->FULLPATH()
                                    : GCDATADIR + QStringLiteral("ZovuZUZ.INI");
  start_once(editor_running_on(path), QStringLiteral("Der Editor wurde bereits gestartet"),
             [&] { open_in_text_editor(path); });
}

void STDSHELLWINDOW::OPENWINRECHNER() {
  start_once(calculator_running(), QStringLiteral("Der Rechner wurde bereits gestartet"), [] {
    const QString calc = find_calculator();
    if (!calc.isEmpty()) start_program({calc, {}});
  });
}

void STDSHELLWINDOW::OPENKALENDER() {
  start_once(caption_lock_held(QString::fromLatin1(kKalenderCaption)),
             QStringLiteral("Der Kalender wurde bereits gestartet"), [] {
               const QString kalender = find_calendar_program();
               if (kalender.isEmpty()) {
                 // Both programs are built into one folder: that is where it was looked for.
                 const QString name = ADDBACKSLASH(program_folder()) + QStringLiteral("kalender");
                 gui::info_box(nullptr, kAchtung,
                               QStringLiteral("Das Programm \r\n") + name + QStringLiteral("\r\n") +
                                   QStringLiteral("wurde nicht gefunden"));
                 return;
               }
               start_program({kalender, {}});
             });
}

void STDSHELLWINDOW::OPENHANDBUCH() {
  const QString path = ADDBACKSLASH(program_folder()) + QStringLiteral("Molvane.pdf");
  if (!QFileInfo(path).isFile()) {
    gui::info_box(this, kAchtung,
                  QStringLiteral("Das Dokument \r\n") + path + QStringLiteral("\r\n") +
                      QStringLiteral("wurde nicht gefunden"));
    return;
  }
  open_document(path);
}

void STDSHELLWINDOW::OPENABOUT() {
  ABOUTDIALOG dlg(this);
  dlg.SHOW();
}

void STDSHELLWINDOW::WINDOWCASCADE() { canvas()->cascadeSubWindows(); }
// Side by side inside the canvas, in rows and columns as near square as the number of
// windows allows. The windows may be smaller than their forms: the shell keeps its size.
void STDSHELLWINDOW::WINDOWTILE() {
  QList<QMdiSubWindow*> subs;
  for (QMdiSubWindow* sub : canvas()->subWindowList())
    if (sub->isVisible() && !sub->isMinimized()) subs.push_back(sub);
  if (subs.isEmpty()) return;
  const QRect area = canvas()->viewport()->rect();
  const int n = int(subs.size());
  int columns = 1;
  while (columns * columns < n) ++columns;
  const int rows = (n + columns - 1) / columns;
  for (int i = 0; i < n; ++i) {
    QMdiSubWindow* sub = subs[i];
    if (sub->isMaximized()) sub->showNormal();
    const int row = i / columns;
    // The last row shares its width among the windows left.
    const int in_row = row == rows - 1 ? n - row * columns : columns;
    const int col = i % columns;
    const int x0 = area.x() + area.width() * col / in_row;
    const int x1 = area.x() + area.width() * (col + 1) / in_row;
    const int y0 = area.y() + area.height() * row / rows;
    const int y1 = area.y() + area.height() * (row + 1) / rows;
    sub->setMinimumSize(0, 0);
    sub->setGeometry(x0, y0, x1 - x0, y1 - y0);
  }
}

void STDSHELLWINDOW::WINDOWICON() {
  // The minimised windows in a row along the bottom of the canvas.
  int x = 0;
  const int bottom = canvas()->viewport()->height();
  for (QMdiSubWindow* sub : canvas()->subWindowList()) {
    if (!sub->isMinimized()) continue;
    sub->move(x, bottom - sub->height());
    x += sub->width();
  }
}

bool STDSHELLWINDOW::CLOSEALLCHILDREN() {
  // Each window is asked as its own close asks; one that refuses stays open.
  bool all = true;
  for (QMdiSubWindow* sub : canvas()->subWindowList()) {
    if (!sub->close()) all = false;
  }
  return all;
}

bool STDSHELLWINDOW::QUERYCLOSE() {
  if (!gui::yes_no_box(this, QStringLiteral("Molvane beenden"),
                       QStringLiteral("Möchten Sie die Anwendung wirklich beenden?")))
    return false;
  // The table windows go first, each with its own question; one that stays keeps the
  // program running, so nothing entered is lost without a question.
  for (QMdiSubWindow* sub : canvas()->subWindowList()) {
    if (!sub->close()) return false;
  }
  return true;
}

void STDSHELLWINDOW::closeEvent(QCloseEvent* event) {
  if (!QUERYCLOSE()) {
    event->ignore();
    return;
  }
  closing_ = true;
  event->accept();
  QCoreApplication::quit();
}

bool STDSHELLWINDOW::SETPRINTFORMAT(int orientation) {
  if (orientation != 1 && orientation != 2) orientation = 1;
  if (!printer_.isValid()) return false;
  const bool ok = printer_.setPageOrientation(orientation == 2 ? QPageLayout::Landscape
                                                                : QPageLayout::Portrait);
  if (!ok) {
    gui::info_box(nullptr, kAchtung,
                  orientation == 2 ? QStringLiteral("Drucker nicht im Querformat")
                                   : QStringLiteral("Drucker nicht im Hochformat"));
  }
  return ok;
}

void STDSHELLWINDOW::PRINTSCREEN() { print_window(this); }

void STDSHELLWINDOW::print_window(QWidget* window) {
  if (!window || !SETPRINTFORMAT(2)) return;
  if (!JETZTDRUCKEN(QStringLiteral("Fensterdruck"), QStringLiteral("Drucken des aktiven Fensters")))
    return;
  const QPixmap shot = window->grab();
  QPainter p(&printer_);
  const QRect page = printer_.pageLayout().paintRectPixels(printer_.resolution());
  p.drawPixmap(page.topLeft(), shot.scaled(page.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

bool JETZTDRUCKEN(const QString& caption, const QString& text) {
  const QString c = caption.isEmpty() ? QStringLiteral("Drucken") : caption;
  const QString t = text.isEmpty() ? QStringLiteral("Drucken der Buchungsdaten") : text;
  return gui::yes_no_box(nullptr, c, t + QStringLiteral("\r\n\r\nMöchten Sie jetzt drucken?"));
}

}  // namespace mv
