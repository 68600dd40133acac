#include "calendar/window/tabdw_kalender.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>

#include "calendar/core/calendar_state.h"
#include "calendar/core/regions.h"
#include "calendar/window/kalender_globals.h"
#include "calendar/window/tab_feiertage.h"
#include "calendar/window/tab_gruppen.h"
#include "calendar/window/tab_info.h"
#include "calendar/window/tab_kalender.h"
#include "calendar/window/tab_termine.h"
#include "components/app_paths.h"
#include "components/screen.h"
#include "components/std_windows.h"
#include "platform/gui/calendar_controls.h"
#include "platform/gui/messagebox.h"
#include "platform/os/folders.h"
#include "ui_TABDW_KALENDER_FORM.h"

namespace mv {

namespace {

unsigned stored_number(const QString& key) {
  const QString v = KALENDERINI ? KALENDERINI->GETSTRING(kRuntimeSection, key) : QString();
  qsizetype n = 0;
  while (n < v.size() && v[n].isDigit() && v[n].unicode() < 128) ++n;
  bool ok = false;
  const qulonglong x = v.left(std::min<qsizetype>(n, 9)).toULongLong(&ok);
  return ok ? unsigned(x) : 0u;
}

void write_ini(const QString& key, const QString& value) {
  if (KALENDERINI) KALENDERINI->WRITESTRING(kRuntimeSection, key, value);
}

}  // namespace

void register_calendar_pages() {
  if (gui::is_window_class("TAB_KALENDER")) return;
  gui::register_window_class<TAB_KALENDER>("TAB_KALENDER");
  gui::register_window_class<TAB_FEIERTAGE>("TAB_FEIERTAGE");
  gui::register_window_class<TAB_INFO>("TAB_INFO");
  gui::register_window_class<TAB_TERMINE>("TAB_TERMINE");
  gui::register_window_class<TAB_GRUPPEN>("TAB_GRUPPEN");
}

// ---------------------------------------------------------------- form

// The form: 282 x 202 dialog units, the tab control filling it.
TABDW_KALENDER_FORM::TABDW_KALENDER_FORM(QObject* owner)
    : gui::DATAWINDOW(owner), form_(new Ui::TABDW_KALENDER_FORM) {
  form_->setupUi(this);
  setObjectName(QStringLiteral("TABDW_KALENDER_FORM"));
  resize(gui::dialog_units_to_pixels(this, 282, 202));
  set_caption(QString::fromLatin1(kKalenderCaption));
  setWindowIcon(ICONKALENDER());
  bind_controls();
}

TABDW_KALENDER_FORM::~TABDW_KALENDER_FORM() { delete form_; }

TABSTANDARD* TABDW_KALENDER_FORM::TABCONTROL() const { return form_->TABCONTROL; }

// ---------------------------------------------------------------- window

QSize TABDW_KALENDER::opening_size(QSize design, QSize stored, QSize screen) {
  const int max_w = std::min(screen.width(), kMaxWindowWidth);
  const int max_h = std::min(screen.height(), kMaxWindowHeight);
  return {std::min(max_w, std::max(design.width(), stored.width())),
          std::min(max_h, std::max(design.height(), stored.height()))};
}

QSize TABDW_KALENDER::stored_size(QSize size) {
  if (size.width() >= kMaxWindowWidth) size.setHeight(std::min(size.height(), kStoredHeightAtFullWidth));
  return size;
}

TABDW_KALENDER::TABDW_KALENDER(QObject* owner) : TABDW_KALENDER_FORM(owner) {
  setObjectName(QStringLiteral("TABDW_KALENDER"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  register_calendar_pages();

  // The holiday codes as a pair: anything but a known country with a region falls back
  // to both defaults, written back at once.
  LANDCODE = (KALENDERINI ? KALENDERINI->GETSTRING(kRuntimeSection, QStringLiteral("Land1")) : QString()).toStdString();
  REGIONCODE = (KALENDERINI ? KALENDERINI->GETSTRING(kRuntimeSection, QStringLiteral("Land2")) : QString()).toStdString();
  if ((LANDCODE != "D" && LANDCODE != "A") || REGIONCODE.empty()) {
    LANDCODE = std::string(kDefaultLandCode);
    REGIONCODE = std::string(kDefaultRegionCode);
    write_ini(QStringLiteral("Land1"), qstr(LANDCODE));
    write_ini(QStringLiteral("Land2"), qstr(REGIONCODE));
  }

  TABSTANDARD* tabs = TABCONTROL();
  tabs->set_page_owner(this);
  tabs->APPENDTAB(QStringLiteral("TAB_KALENDER"), QStringLiteral(" Monatskalender "));
  tabs->APPENDTAB(QStringLiteral("TAB_FEIERTAGE"), QStringLiteral(" Feiertage "));
  tabs->APPENDTAB(QStringLiteral("TAB_TERMINE"), QStringLiteral(" Termine/Ereignisse "));
  tabs->APPENDTAB(QStringLiteral("TAB_GRUPPEN"), QStringLiteral(" Gruppen "));
  tabs->APPENDTAB(QStringLiteral("TAB_INFO"), QStringLiteral(" Info "));

  const QSize stored(int(std::min(stored_number(QStringLiteral("WinWidth")), 100000u)),
                     int(std::min(stored_number(QStringLiteral("WinHeight")), 100000u)));
  const QSize screen(GETSCREENX(), GETSCREENY());
  // The design size, widened so every tab caption shows whole.
  min_size_ = size().expandedTo(QSize(TABCONTROL()->tabBar()->sizeHint().width() + 4, 0));
  max_size_ = QSize(std::min(screen.width(), kMaxWindowWidth), std::min(screen.height(), kMaxWindowHeight));
  // The user drags between the two; a screen smaller than the design lets the maximum win.
  setMinimumSize(min_size_.boundedTo(max_size_));
  setMaximumSize(max_size_);
  resize(opening_size(min_size_, stored, screen));

  tabs->SELECTTAB(QStringLiteral("TAB_KALENDER"));
  tabs->ensure_current_page();

  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  f1->setContext(Qt::WindowShortcut);
  connect(f1, &QShortcut::activated, this, &TABDW_KALENDER::HELPREQUEST);
}

TABDW_KALENDER::~TABDW_KALENDER() { DESTROY(); }

void TABDW_KALENDER::closeEvent(QCloseEvent* e) {
  DESTROY();
  TABDW_KALENDER_FORM::closeEvent(e);
}

void TABDW_KALENDER::DESTROY() {
  if (destroyed_) return;
  destroyed_ = true;
  write_ini(QStringLiteral("Land1"), qstr(LANDCODE));
  write_ini(QStringLiteral("Land2"), qstr(REGIONCODE));
  const QSize stored = stored_size(size());
  write_ini(QStringLiteral("WinWidth"), QString::number(stored.width()));
  write_ini(QStringLiteral("WinHeight"), QString::number(stored.height()));
}

void TABDW_KALENDER::HELPREQUEST() { OPENHANDBUCH(); }

void TABDW_KALENDER::OPENHANDBUCH() {
  const QString path = ADDBACKSLASH(program_folder()) + QStringLiteral("Kalender.pdf");
  if (!QFileInfo(path).isFile()) {
    gui::info_box(this, kAchtungCaption,
                  QStringLiteral("Das Dokument \r\n") + path + QStringLiteral("\r\n") +
                      QStringLiteral("wurde nicht gefunden"));
    return;
  }
  gui::HYPERLINK link(QString(), path, this);
  link.OPENLINK();
}

}  // namespace mv
