#include "calendar/window/tab_info.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "calendar/core/calendar_tables.h"
#include "calendar/window/kalender_globals.h"
#include "calendar/window/start.h"
#include "components/app_paths.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/palette.h"
#include "ui_TAB_INFO_FORM.h"

namespace mv {

namespace {

// Two folder names are one folder when their canonical forms match, with case.
bool same_folder(const QString& a, const QString& b) {
  const QString ca = QFileInfo(a).canonicalFilePath();
  const QString cb = QFileInfo(b).canonicalFilePath();
  if (!ca.isEmpty() && !cb.isEmpty()) return ca == cb;
  return QDir::cleanPath(a) == QDir::cleanPath(b);
}

}  // namespace

TAB_INFO_FORM::TAB_INFO_FORM(QWidget* owner) : STD_DATAWINDOW(owner), form_(new Ui::TAB_INFO_FORM) {
  form_->setupUi(this);
  setObjectName(QStringLiteral("TAB_INFO"));
  gui::set_page_colour(this, QColor(255, 215, 0));
  FT_Z1 = form_->FT_Z1;
  FT_Z3 = form_->FT_Z3;
  PB_ORDNER = form_->PB_ORDNER;
  SE_ORDNER = form_->SE_ORDNER;
  FT_HG1 = form_->FT_HG1;
  PB_ANDERS = form_->PB_ANDERS;
  links_ = form_->links;
  PB_ORDNER->setIcon(ICONSUCHEN());
}

TAB_INFO_FORM::~TAB_INFO_FORM() { delete form_; }

TAB_INFO::TAB_INFO(QWidget* owner) : TAB_INFO_FORM(owner) {
  SE_ORDNER->setText(qstr(DATENPFAD));

  QGridLayout* links = links_;
  const QFont link_font(QStringLiteral("Microsoft Sans Serif"), 8);
  auto add = [&](int row, const QString& label, const QString& text, const QString& target) {
    auto* l = new QLabel(label, this);
    l->setMinimumWidth(100);
    links->addWidget(l, row, 0);
    auto* link = new gui::HYPERLINK(text, target, this);
    QFont f = link_font;
    f.setUnderline(true);
    link->setFont(f);
    link->setMinimumWidth(140);
    QPalette p = link->palette();
    p.setColor(QPalette::Link, gui::predefined_color(gui::kColorBlue));
    link->setPalette(p);
    links->addWidget(link, row, 1);
    return link;
  };
  web_ = add(0, QStringLiteral("Internet:"), QStringLiteral("www.example.org/kalender"), QString::fromLatin1(kInfoWebAddress));
  mail_ = add(1, QStringLiteral("E-Mail:"), QStringLiteral("kalender@example.org"), QString::fromLatin1(kInfoMailAddress));
  links->setColumnStretch(2, 1);

  connect(PB_ORDNER, &QPushButton::clicked, this, &TAB_INFO::PB_ORDNER_CLICKED);
  connect(PB_ANDERS, &QPushButton::clicked, this, &TAB_INFO::PB_ANDERS_CLICKED);
}

void TAB_INFO::PB_ORDNER_CLICKED() {
  gui::STANDARDFOLDERDIALOG dlg(this, QStringLiteral("Ordner für die Daten festlegen"), qstr(DATENPFAD));
  dlg.SHOW();
  if (dlg.FOLDERNAME().isEmpty()) return;
  SE_ORDNER->setText(dlg.FOLDERNAME());
  SE_ORDNER->setFocus();
}

void TAB_INFO::PB_ANDERS_CLICKED() {
  QString path = SE_ORDNER->text().trimmed();
  const QString old = qstr(DATENPFAD);
  if (path.isEmpty()) {
    gui::warning_box(this, kAchtungCaption, QStringLiteral("Es wurde kein Datenverzeichnis ausgewählt!"));
    return;
  }
  if (!ISDIR(path)) {
    gui::warning_box(this, kAchtungCaption,
                     QStringLiteral("Der erfasste Ordner existiert nicht, er muß erst angelegt werden!"));
    return;
  }
  if (path == old) {
    gui::warning_box(this, kAchtungCaption, QStringLiteral("Es erfolgte keine Änderung des Datenverzeichnisses!"));
    return;
  }
  path = ADDBACKSLASH(path);
  if (same_folder(path, old)) return;
  if (!gui::yes_no_box(this, kAchtungCaption,
                       QStringLiteral("Soll der Ordner : \r\n") + path + QStringLiteral("\r\n") +
                           QStringLiteral("für die Datenablage genutzt werden ?")))
    return;

  close_calendar_tables();
  FileSystem& fs = calendar_file_system();
  const std::string target = path.toStdString();
  bool any_target = false;
  for (std::string_view name : {kGruppeFile, kGruppeBag, kTermineFile, kTermineBag})
    any_target = any_target || fs.exists(target + std::string(name));
  bool copy = true;
  if (any_target) {
    copy = gui::yes_no_box(this, kAchtungCaption,
                           QStringLiteral("Sollen die bereits vorhandenen Kalenderdaten im Ordner : \r\n") + path +
                               QStringLiteral("\r\n") + QStringLiteral("übeschrieben werden?"));
  }
  if (copy) {
    const CalendarMoveResult moved = move_calendar_files(fs, DATENPFAD, target);
    if (!moved.status.is_ok()) {
      gui::warning_box(this, kAchtungCaption,
                       qstr(moved.file) + QStringLiteral("\r\n") + qstr(moved.status.message()));
      // Everything stays as it was: the old folder, its INI value, its tables.
      report_table_problems(this, open_calendar_tables());
      return;
    }
  }
  DATENPFAD = target;
  if (KALENDERINI) KALENDERINI->WRITESTRING(kRuntimeSection, QStringLiteral("Daten"), path);
  report_table_problems(this, open_calendar_tables());
  gui::info_box(this, kAchtungCaption,
                (copy ? QStringLiteral("Die Daten befinden sich jetzt im Ordner:")
                      : QStringLiteral("Die Daten befinden sich bereits im Ordner:")) +
                    QStringLiteral("\r\n") + qstr(DATENPFAD));
}

}  // namespace mv
