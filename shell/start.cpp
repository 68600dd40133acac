#include "shell/start.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <memory>

#include "components/tabdw_standard.h"
#include "platform/gui/messagebox.h"
#include "shell/dlg_zovuzuz.h"
#include "shell/dtadlg_option.h"
#include "shell/menus.h"
#include "shell/pictures.h"
#include "shell/settings.h"
#include "shell/shellwindow.h"
#include "shell/splash.h"
#include "tablewindow/environment.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "platform/runtime/date.h"
#include "platform/table/table.h"

namespace mv {
namespace {

// What the shared window components take from this program.
void install_component_hooks() {
  DocumentWindowHooks& hooks = document_window_hooks();
  hooks.placement_mode = [] { return GNMAXIMIZEDWIN; };
  hooks.make_menu = [](TABDW_STANDARD* w) -> QObject* { return new STDSHELLMENU(w); };
  hooks.icon = MOLVANEICON();
}

// The table windows: the settings and history file they read, their menu items, and the
// shell's hook that creates them.
void install_table_windows() {
  static FunctionHistoryStore history;
  history.get = [](const QString& s, const QString& k) { return GOINIHISTORY ? GOINIHISTORY->GETSTRING(s, k) : QString(); };
  history.put = [](const QString& s, const QString& k, const QString& v) {
    if (GOINIHISTORY) GOINIHISTORY->WRITESTRING(s, k, v);
  };
  history.remove = [](const QString& s, const QString& k) {
    return GOINIHISTORY && GOINIHISTORY->DELETEENTRY(s, k).last_write_ok();
  };
  history.written = [] { return !GOINIHISTORY || GOINIHISTORY->last_write_ok(); };
  history.path = [] { return GOINIHISTORY ? GOINIHISTORY->FULLPATH() : QString(); };
  static FunctionHistoryStore product;
  product.get = [](const QString& s, const QString& k) { return GOINI ? GOINI->GETSTRING(s, k) : QString(); };
  TableWindowEnvironment env;
  env.default_driver = [] { return GCDRIVER; };
  env.exclusive = [] { return GLEXCLUSIVE; };
  env.read_only = [] { return GLREADONLY; };
  env.font_browser = [] { return GNFONTBROWSER; };
  env.history = &history;
  env.product = &product;
  env.enable_item = [](QObject* m, int id, bool on) {
    if (auto* menu = qobject_cast<ShellMenu*>(m)) menu->set_enabled(id, on);
  };
  env.check_item = [](QObject* m, int id, bool on) {
    if (auto* menu = qobject_cast<ShellMenu*>(m)) menu->set_checked(id, on);
  };
  env.print_window = [](QWidget* w) {
    if (auto* shell = qobject_cast<STDSHELLWINDOW*>(w ? w->window() : nullptr)) shell->print_window(w);
  };
  set_table_window_environment(env);
  set_table_window_factory([](STDSHELLWINDOW* shell, const TableOpenRequest& r) -> QWidget* {
    return create_table_window(shell, r.file, r.share, r.read_only, r.ansi);
  });
}

// Opens the table named on the command line once the shell has its size: the new window
// takes its size from the shell's canvas. A maximised shell may get its size from the
// window system only after it is shown; then the first resize (or, at the latest, a
// second) opens it, always from the event loop, after the canvas has been laid out.
class OpenWhenPlaced : public QObject {
 public:
  OpenWhenPlaced(STDSHELLWINDOW* shell, QString table) : QObject(shell), shell_(shell), table_(std::move(table)) {
    const QScreen* screen = shell->screen();
    const bool waiting = shell->isMaximized() && screen &&
                         shell->frameGeometry().size() != screen->availableGeometry().size() &&
                         shell->size() != screen->availableGeometry().size();
    if (waiting) {
      shell->installEventFilter(this);
      QTimer::singleShot(1000, this, [this] { open_later(); });
    } else {
      open_later();
    }
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == shell_ && event->type() == QEvent::Resize) open_later();
    return QObject::eventFilter(watched, event);
  }

 private:
  void open_later() {
    if (posted_) return;
    posted_ = true;
    if (shell_) shell_->removeEventFilter(this);
    QTimer::singleShot(0, this, [this] {
      if (shell_) shell_->DOOPENFILE(table_, true);
      deleteLater();
    });
  }

  QPointer<STDSHELLWINDOW> shell_;
  QString table_;
  bool posted_ = false;
};

}  // namespace

MolvaneStart::Outcome MolvaneStart::start(const StartOptions& options) {
  if (ISALREADYRUNNING(GETAPPNAME())) {
    gui::info_box(nullptr, QStringLiteral("Achtung"), QStringLiteral("Programm ist bereits gestartet"));
    return Outcome::AlreadyRunning;
  }
  if (options.splash) {
    splash_ = new SPLASHSCREEN();
    splash_->show_for(options.splash_ms, options.splash_sleep_ms);
  }
  set_default_driver("DBFCDX");
  // The runtime's messages are German throughout; there is no other language to select.
  set_date_epoch(kDefaultEpoch);
  SETGLOBALWERTE();
  QGuiApplication::setWindowIcon(MOLVANEICON());
  install_component_hooks();
  install_table_windows();
  set_history_dialog(run_history_dialog);
  set_options_dialog(run_options_dialog);
  if (options.table_window_factory) set_table_window_factory(options.table_window_factory);

  shell_ = new STDSHELLWINDOW();
  shell_->setAttribute(Qt::WA_DeleteOnClose);
  if (GOINI->GETSTRINGUPPER(QStringLiteral("Setup"), QStringLiteral("Maximized")) ==
      QLatin1String("JA")) {
    // Without a window manager a maximise request is not carried out: the shell then
    // takes the screen's free area itself, so its windows get their full size.
    if (QScreen* screen = QGuiApplication::primaryScreen()) shell_->setGeometry(screen->availableGeometry());
    shell_->showMaximized();
  } else {
    // Normal size, centred as the program's dialogs are.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect g = screen->availableGeometry();
      shell_->move(g.x() + std::max(0, (g.width() - shell_->width()) / 2),
                   g.y() + std::max(0, (g.height() - shell_->height()) / 2));
    }
    shell_->showNormal();
  }
  shell_->set_toolbar_visible(GLTOOLBAR);
  if (splash_) splash_->raise();

  const QString table = table_from_arguments(options.arguments);
  if (!table.isEmpty()) new OpenWhenPlaced(shell_, table);
  return Outcome::Running;
}

void MolvaneStart::finish() {
  if (splash_) splash_->close();
  if (shell_) {
    shell_->setAttribute(Qt::WA_DeleteOnClose, false);
    delete shell_.data();
  }
  release_global_values();
}

MolvaneApp::MolvaneApp(int& argc, char** argv) : gui::APP(argc, argv) {
  setApplicationName(QStringLiteral("Molvane"));
  setQuitOnLastWindowClosed(false);
}

int MolvaneApp::START() {
  MolvaneStart start;
  StartOptions options;
  options.arguments = arguments().mid(1);
  if (start.start(options) == MolvaneStart::Outcome::AlreadyRunning) return 0;
  const int rc = exec_loop();
  start.finish();
  return rc;
}

int molvane_main(int argc, char** argv) {
  MolvaneApp app(argc, argv);
  return app.run();
}

}  // namespace mv
