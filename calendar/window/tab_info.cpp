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

namespace mv {

namespace {

QFont bold_font(int points) {
  QFont f(QStringLiteral("MS Sans Serif"), points);
  f.setBold(true);
  return f;
}

// Two folder names are one folder when their canonical forms match, with case.
bool same_folder(const QString& a, const QString& b) {
  const QString ca = QFileInfo(a).canonicalFilePath();
  const QString cb = QFileInfo(b).canonicalFilePath();
  if (!ca.isEmpty() && !cb.isEmpty()) return ca == cb;
  return QDir::cleanPath(a) == QDir::cleanPath(b);
}

}  // namespace

TAB_INFO_FORM::TAB_INFO_FORM(QWidget* owner) : STD_DATAWINDOW(owner) {
  setObjectName(QStringLiteral("TAB_INFO"));
  setWindowTitle(QStringLiteral("DataWindow Caption"));
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(255, 215, 0));
  setPalette(pal);

  FT_Z1 = new QLabel(QStringLiteral("Kalender"), this);
  FT_Z1->setObjectName(QStringLiteral("FT_Z1"));
  FT_Z1->setFont(bold_font(14));
  FT_Z1->setAlignment(Qt::AlignCenter);
  FT_Z3 = new QLabel(QStringLiteral("Version 2.8-3.6"), this);
  FT_Z3->setObjectName(QStringLiteral("FT_Z3"));
  FT_Z3->setFont(bold_font(10));
  FT_Z3->setAlignment(Qt::AlignCenter);
  FT_HG1 = new QLabel(QStringLiteral("Ordner für die Daten"), this);
  FT_HG1->setObjectName(QStringLiteral("FT_HG1"));
  SE_ORDNER = new SLESTANDARD(this);
  SE_ORDNER->setObjectName(QStringLiteral("SE_ORDNER"));
  PB_ORDNER = new QPushButton(this);
  PB_ORDNER->setObjectName(QStringLiteral("PB_ORDNER"));
  PB_ORDNER->setIcon(ICONSUCHEN());
  PB_ORDNER->setFixedSize(gui::dialog_units_to_pixels(this, 13, 13).expandedTo(QSize(24, 24)));
  PB_ANDERS = new QPushButton(QStringLiteral("Änderung"), this);
  PB_ANDERS->setObjectName(QStringLiteral("PB_ANDERS"));

  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(24, 24, 24, 24);
  lay->addStretch(1);
  lay->addWidget(FT_Z1);
  lay->addWidget(FT_Z3);
  lay->addStretch(1);
  lay->addWidget(FT_HG1);
  auto* row = new QHBoxLayout;
  row->addWidget(SE_ORDNER, 1);
  row->addWidget(PB_ORDNER);
  lay->addLayout(row);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(PB_ANDERS);
  lay->addLayout(buttons);
  lay->addStretch(1);
  setLayout(lay);
}

TAB_INFO::TAB_INFO(QWidget* owner) : TAB_INFO_FORM(owner) {
  SE_ORDNER->setText(qstr(DATENPFAD));

  auto* links = new QGridLayout;
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
  static_cast<QVBoxLayout*>(layout())->addLayout(links);
  static_cast<QVBoxLayout*>(layout())->addStretch(1);

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
