#include "calendar/window/kalender_globals.h"

#include <QLocale>
#include <QPainter>
#include <QPixmap>

#include "components/stdgridbrowser.h"
#include "platform/base/codepage.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/palette.h"
#include "platform/table/table.h"

namespace mv {

INIFILESPEC* KALENDERINI = nullptr;
QString KALENDERBASIS;

namespace {
FileSystem* g_fs = nullptr;
}

FileSystem& calendar_file_system() { return g_fs ? *g_fs : FileSystem::posix(); }
void set_calendar_file_system(FileSystem* fs) { g_fs = fs; }

Date to_date(const QDate& d) {
  if (!d.isValid()) return Date();
  return Date::from_ymd(d.year(), d.month(), d.day());
}

QDate to_qdate(Date d) {
  if (d.empty()) return {};
  return QDate(d.year(), d.month(), d.day());
}

QString date_text(const QDate& d) { return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QString(); }

QString month_name(int month) {
  return QLocale(QLocale::German, QLocale::Germany).standaloneMonthName(month, QLocale::LongFormat);
}

QString qstr(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

QString left_trimmed(const QString& s) {
  qsizetype i = 0;
  while (i < s.size() && s[i] == QLatin1Char(' ')) ++i;
  return s.mid(i);
}

QString right_trimmed(const QString& s) {
  qsizetype n = s.size();
  while (n > 0 && s[n - 1] == QLatin1Char(' ')) --n;
  return s.left(n);
}

void dress_list_grid(STDGRIDBROWSER* grid, const QColor& background) {
  grid->set_background(QBrush(background));
  grid->AUTOREFRESHTIME(1000);
  grid->set_cursor_mode(grid::GRIDBROWSER::CursorMode::Row);
  grid->set_selector(true);
  grid->set_inactive_selection(true);
  grid->set_inactive_selection_colors(gui::predefined_brush(gui::kBrushMedium), gui::predefined_color(gui::kColorWhite));
}

QString field_text(DBSERVER& db, std::string_view name) {
  auto v = db.FIELDGET(name);
  if (!v.is_ok() || !v->is_char() || !db.table()) return QString();
  return qstr(cp_to_utf8(db.table()->code_page(), v->str));
}

Result<std::string> table_text(const DBSERVER& db, const QString& text) {
  if (!db.table()) return Status::not_found("Die Tabelle " + db.path() + " ist nicht geöffnet");
  auto out = cp_from_utf8(db.table()->code_page(), text.toStdString());
  if (!out.is_ok())
    return Status::invalid_argument(db.path() + ": der Text enthält Zeichen, die die Tabelle nicht speichern kann");
  return out;
}

void write_failed_box(QWidget* owner, const QString& what, const std::string& path, const Status& why) {
  gui::warning_box(owner, kAchtungCaption, what + QStringLiteral("\r\n") + qstr(path) + QStringLiteral("\r\n") +
                                               qstr(why.message()));
}

QIcon ICONKALENDER() {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 16.0;
    p.setPen(QPen(QColor(60, 60, 60), std::max<qreal>(1.0, u * 0.8)));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(1.5 * u, 2.5 * u, 13 * u, 12 * u), 1.5 * u, 1.5 * u);
    p.setBrush(QColor(200, 40, 40));
    p.drawRect(QRectF(1.5 * u, 2.5 * u, 13 * u, 3.5 * u));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 90, 90));
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 4; ++c) p.drawRect(QRectF((3.2 + c * 2.6) * u, (7.5 + r * 2.2) * u, 1.4 * u, 1.2 * u));
    icon.addPixmap(pm);
  }
  return icon;
}

QIcon ICONSUCHEN() {
  QIcon icon;
  for (int size : {16, 24, 32}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 16.0;
    p.setPen(QPen(QColor(150, 110, 20), u * 0.8));
    p.setBrush(QColor(240, 200, 90));
    p.drawRect(QRectF(1 * u, 4 * u, 11 * u, 8 * u));
    p.setPen(QPen(QColor(40, 40, 40), 1.6 * u));
    p.setBrush(QColor(220, 235, 250));
    p.drawEllipse(QRectF(7 * u, 6 * u, 5.5 * u, 5.5 * u));
    p.drawLine(QPointF(11.8 * u, 11 * u), QPointF(15 * u, 14.5 * u));
    icon.addPixmap(pm);
  }
  return icon;
}

}  // namespace mv
