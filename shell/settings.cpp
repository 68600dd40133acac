#include "shell/settings.h"

#include <QDir>
#include <QFileInfo>

#include "platform/gui/palette.h"
#include "platform/os/folders.h"
#include "platform/os/instance_lock.h"
#include "platform/runtime/date.h"
#include "platform/table/table.h"

namespace mv {

QString GCDATADIR;
INIFILESPEC* GOINI = nullptr;
INIFILESPEC* GOINIHISTORY = nullptr;
QString GCRUNTIMEVERSION;
QString GCDRIVER;
bool GLEXCLUSIVE = false;
bool GLREADONLY = false;
bool GLSETANSI = false;
bool GLTOOLBAR = false;
unsigned GNTOOLBARSTYLE = 0;
unsigned GNMAXIMIZEDWIN = 0;
unsigned GNFONTBROWSER = 0;

namespace {

const QString kSetup = QStringLiteral("Setup");
const QString kRuntime = QStringLiteral("Runtime");
const QString kJa = QStringLiteral("Ja");

// The value of a key; an empty one is written back with its default, which is then used.
QString value_or_default(const QString& section, const QString& key, const QString& def,
                         bool upper = false) {
  QString v = upper ? GOINI->GETSTRINGUPPER(section, key) : GOINI->GETSTRING(section, key);
  if (v.trimmed().isEmpty()) {
    GOINI->WRITESTRING(section, key, def);
    v = upper ? def.toUpper() : def;
  }
  return v;
}

}  // namespace

unsigned leading_number(const QString& text) {
  const QString t = text.trimmed();
  qsizetype n = 0;
  while (n < t.size() && t[n].isDigit() && t[n].unicode() < 128) ++n;
  if (n == 0) return 0;
  bool ok = false;
  const qulonglong v = t.left(std::min<qsizetype>(n, 10)).toULongLong(&ok);
  return ok && v <= 0xFFFFFFFFull ? unsigned(v) : 0xFFFFFFFFu;
}

bool ISALREADYRUNNING(const QString& name) { return hold_program_lock(name); }

QString table_from_arguments(const QStringList& arguments_after_program) {
  const QString line = arguments_after_program.join(' ');
  if (!line.contains(QLatin1String(".dbf"), Qt::CaseInsensitive)) return {};
  const QString name = line.trimmed();
  if (name.size() > 3 && name.endsWith(QLatin1String(".dbf"), Qt::CaseInsensitive)) return name;
  return {};
}

void SETGLOBALWERTE() {
  // The state of a fresh process, so the rules below always start from the same values.
  GCRUNTIMEVERSION = QString::fromLatin1(kRuntimeVersion);
  GLTOOLBAR = false;
  GNTOOLBARSTYLE = 0;

  // The brushes exist from here on (they are made on first use and never replaced).
  for (auto b : {gui::ProgramBrush::FOKUSBRUSH, gui::ProgramBrush::NORMALBRUSH,
                 gui::ProgramBrush::READONLYBRUSH, gui::ProgramBrush::GRIDBRUSH1,
                 gui::ProgramBrush::GRIDBRUSH2})
    (void)gui::program_brush(b);

  const QString program = GETAPPNAME();
  GCDATADIR = base_folder_for(program, is_on_removable_media(program));
  if (!ISDIR(GCDATADIR)) QDir().mkdir(GCDATADIR);

  delete GOINI;
  delete GOINIHISTORY;
  GOINI = new INIFILESPEC(GCDATADIR + QStringLiteral("Molvane.INI"));
  GOINIHISTORY = new INIFILESPEC(GCDATADIR + QStringLiteral("ZovuZUZ.INI"));

  if (GOINI->GETSTRING(kRuntime, QStringLiteral("Version")) != GCRUNTIMEVERSION)
    GOINI->WRITESTRING(kRuntime, QStringLiteral("Version"), GCRUNTIMEVERSION);
  value_or_default(kRuntime, QStringLiteral("Gitter"), QStringLiteral("Nein"));
  value_or_default(kRuntime, QStringLiteral("ZeileGrau"), kJa);
  value_or_default(kRuntime, QStringLiteral("SpalteGrau"), QStringLiteral("Nein"));

  GCDRIVER = value_or_default(kSetup, QStringLiteral("Driver"), QStringLiteral("DBFCDX"));
  GLEXCLUSIVE = value_or_default(kSetup, QStringLiteral("Exclusive"), kJa) == kJa;
  set_exclusive_default(GLEXCLUSIVE);
  GLREADONLY = value_or_default(kSetup, QStringLiteral("ReadOnly"), QStringLiteral("Nein")) == kJa;
  GLSETANSI = value_or_default(kSetup, QStringLiteral("SetAnsi"), kJa) == kJa;
  set_ansi_mode(GLSETANSI);

  // An epoch that is no plausible year would read two-digit years as years 0 to 99; the
  // default applies then and the stored text stays as the user wrote it.
  const unsigned epoch = leading_number(value_or_default(
      kSetup, QStringLiteral("SetEpoch"), QString::number(date_epoch())));
  set_date_epoch(epoch >= 100 && epoch <= 9999 ? int(epoch) : kDefaultEpoch);

  if (value_or_default(kSetup, QStringLiteral("ToolbarIcon"), kJa) == kJa) {
    GLTOOLBAR = true;
    GNTOOLBARSTYLE = 1;
  } else {
    GLTOOLBAR = false;
  }
  if (value_or_default(kSetup, QStringLiteral("ToolbarText"), kJa) == kJa) {
    GLTOOLBAR = true;
    GNTOOLBARSTYLE = GNTOOLBARSTYLE == 1 ? 2 : 0;
  }
  value_or_default(kSetup, QStringLiteral("Maximized"), kJa);
  GNMAXIMIZEDWIN = leading_number(value_or_default(kSetup, QStringLiteral("MaximizedWin"),
                                                   QStringLiteral("1"), true));
  // A grid font outside the sizes the options dialog offers (a 0-point font, a huge one)
  // would make the grids unusable; the default applies then, the stored text stays.
  const unsigned font = leading_number(
      value_or_default(kSetup, QStringLiteral("FontBrowser"), QStringLiteral("9"), true));
  GNFONTBROWSER = font >= 7 && font <= 16 ? font : kDefaultFontBrowser;
}

void release_global_values() {
  GCDRIVER.clear();
  GCRUNTIMEVERSION.clear();
  GCDATADIR.clear();
  delete GOINI;
  GOINI = nullptr;
  delete GOINIHISTORY;
  GOINIHISTORY = nullptr;
}

}  // namespace mv
