#include "shell/ini_standin.h"

#include <QFile>

namespace mv {
namespace {

bool is_section(const QString& line, QString* name) {
  const QString t = line.trimmed();
  if (!t.startsWith('[')) return false;
  const qsizetype end = t.indexOf(']');
  if (end < 0) return false;
  *name = t.mid(1, end - 1).trimmed();
  return true;
}

bool is_key(const QString& line, const QString& entry, QString* value) {
  const qsizetype eq = line.indexOf('=');
  if (eq < 0) return false;
  if (line.left(eq).trimmed().compare(entry, Qt::CaseInsensitive) != 0) return false;
  *value = line.mid(eq + 1).trimmed();
  return true;
}

}  // namespace

QStringList INIFILESPEC::lines() const {
  QFile f(path_);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QString text = QString::fromUtf8(f.readAll());
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  QStringList l = text.split('\n');
  if (!l.isEmpty() && l.last().isEmpty()) l.removeLast();
  return l;
}

QString INIFILESPEC::GETSTRING(const QString& section, const QString& entry) const {
  bool in = false;
  for (const QString& line : lines()) {
    QString name, value;
    if (is_section(line, &name)) {
      in = name.compare(section, Qt::CaseInsensitive) == 0;
      continue;
    }
    if (in && is_key(line, entry, &value)) return value;
  }
  return {};
}

INIFILESPEC& INIFILESPEC::WRITESTRING(const QString& section, const QString& entry,
                                     const QString& value) {
  QStringList l = lines();
  int section_at = -1, end = int(l.size());
  for (int i = 0; i < l.size(); ++i) {
    QString name, v;
    if (is_section(l[i], &name)) {
      if (section_at >= 0) {
        end = i;
        break;
      }
      if (name.compare(section, Qt::CaseInsensitive) == 0) section_at = i;
      continue;
    }
    if (section_at >= 0 && is_key(l[i], entry, &v)) {
      l[i] = entry + '=' + value;
      section_at = -2;
      break;
    }
  }
  if (section_at == -1) {
    l << '[' + section + ']' << entry + '=' + value;
  } else if (section_at >= 0) {
    int at = end;
    while (at > section_at + 1 && l[at - 1].trimmed().isEmpty()) --at;
    l.insert(at, entry + '=' + value);
  }
  QFile f(path_);
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write((l.join("\r\n") + "\r\n").toUtf8());
  return *this;
}

}  // namespace mv
