#include "components/inifile.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QVector>

#include "platform/base/codepage.h"
#include "platform/gui/messagebox.h"

namespace mv {

namespace {

constexpr int kMaxValueLength = 1023;  // what arrives of a value, as the programs always had it

// Identity of the file as last read: any change by anyone alters one of these.
struct FileStamp {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  timespec ctime{};

  bool operator==(const FileStamp& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
           ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

FileStamp stamp_of(const QString& path) {
  FileStamp s;
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return s;
  s.exists = true;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtime = st.st_mtim;
  s.ctime = st.st_ctim;
  return s;
}

bool is_blank(QChar c) { return c == u' ' || c == u'\t'; }

QString trim_blanks(QStringView s) {
  qsizetype a = 0, b = s.size();
  while (a < b && is_blank(s[a])) ++a;
  while (b > a && is_blank(s[b - 1])) --b;
  return s.mid(a, b - a).toString();
}

QString fold(QStringView name) { return trim_blanks(name).toCaseFolded(); }

// Text of an INI file: UTF-8 when it is valid UTF-8 (a byte-order mark dropped),
// otherwise Windows-1252, as files brought over from Windows are.
QString decode_ini_bytes(const QByteArray& bytes) {
  std::string_view view(bytes.constData(), static_cast<size_t>(bytes.size()));
  if (is_valid_utf8(view)) {
    if (view.starts_with("\xEF\xBB\xBF")) view.remove_prefix(3);
    return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
  }
  std::string utf8 = cp_to_utf8(CodePage::Windows1252, view);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Splits at LF; a CR before it belongs to the line end.
QStringList split_lines(const QString& text, bool* crlf, bool* final_newline) {
  QStringList lines;
  *crlf = false;
  *final_newline = text.endsWith(u'\n');
  bool first_end = true;
  qsizetype start = 0;
  while (start < text.size()) {
    qsizetype nl = text.indexOf(u'\n', start);
    qsizetype end = nl < 0 ? text.size() : nl;
    qsizetype line_end = end;
    if (nl >= 0 && end > start && text[end - 1] == u'\r') {
      --line_end;
      if (first_end) *crlf = true;
    }
    if (nl >= 0) first_end = false;
    lines.append(text.mid(start, line_end - start));
    if (nl < 0) break;
    start = nl + 1;
  }
  return lines;
}

// A section header: "[" first (after blanks) and the name up to the last "]".
bool section_name_of(QStringView line, QString* name) {
  qsizetype i = 0;
  while (i < line.size() && is_blank(line[i])) ++i;
  if (i >= line.size() || line[i] != u'[') return false;
  qsizetype close = line.lastIndexOf(u']');
  if (close <= i) return false;
  *name = line.mid(i + 1, close - i - 1).toString();
  return true;
}

// CR or LF written into a name or value would break the file's lines.
QString one_line(const QString& s) {
  QString r = s;
  r.replace(u'\r', u' ');
  r.replace(u'\n', u' ');
  return r;
}

}  // namespace

struct IniFileData {
  FileStamp stamp;
  QStringList lines;
  bool crlf = false;
  bool final_newline = true;

  // Keys are indexed the first time their section is asked for: a history file holds
  // thousands of sections and a call reads one of them.
  struct Section {
    int header = 0;  // line of "[name]"
    int end = 0;     // first line after the section
    mutable bool indexed = false;
    mutable QHash<QString, int> keys;  // folded name -> line of its first occurrence
    mutable QVector<int> key_order;    // lines of the keys in file order (first occurrences)
  };
  QVector<Section> sections;
  QHash<QString, int> by_name;  // folded name -> first section of that name

  // Finds the sections; keys before the first section belong to none.
  void index() {
    sections.clear();
    by_name.clear();
    QString name;
    for (int i = 0; i < lines.size(); ++i) {
      if (!section_name_of(lines[i], &name)) continue;
      if (!sections.isEmpty()) sections.last().end = i;
      Section s;
      s.header = i;
      s.end = static_cast<int>(lines.size());
      sections.append(s);
      QString key = fold(name);
      if (!by_name.contains(key)) by_name.insert(key, static_cast<int>(sections.size()) - 1);  // the first one wins
    }
  }

  void index_keys(const Section& sec) const {
    if (sec.indexed) return;
    sec.indexed = true;
    for (int i = sec.header + 1; i < sec.end; ++i) {
      const QString& line = lines[i];
      qsizetype eq = line.indexOf(u'=');
      if (eq <= 0) continue;
      QStringView left = QStringView(line).left(eq);
      qsizetype k = 0;
      while (k < left.size() && is_blank(left[k])) ++k;
      if (k < left.size() && left[k] == u';') continue;  // a comment
      QString key = fold(left);
      if (key.isEmpty() || sec.keys.contains(key)) continue;
      sec.keys.insert(key, i);
      sec.key_order.append(i);
    }
  }

  const Section* find(const QString& section) const {
    auto it = by_name.constFind(fold(section));
    if (it == by_name.constEnd()) return nullptr;
    const Section* s = &sections[*it];
    index_keys(*s);
    return s;
  }

  QString value_at(int line) const {
    const QString& l = lines[line];
    qsizetype eq = l.indexOf(u'=');
    return trim_blanks(QStringView(l).mid(eq + 1)).left(kMaxValueLength);
  }

  QString key_at(int line) const {
    const QString& l = lines[line];
    return trim_blanks(QStringView(l).left(l.indexOf(u'=')));
  }

  QByteArray serialize() const {
    const QString eol = crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QString text = lines.join(eol);
    if (!lines.isEmpty() && final_newline) text += eol;
    return text.toUtf8();
  }
};

INIFILESPEC::INIFILESPEC(const QString& cFileName) {
  // Bound once, so a later change of the current folder does not move the file.
  full_path_ = QDir::isRelativePath(cFileName) ? QDir::current().absoluteFilePath(cFileName) : cFileName;
}

INIFILESPEC::~INIFILESPEC() = default;
INIFILESPEC::INIFILESPEC(const INIFILESPEC& other) = default;
INIFILESPEC& INIFILESPEC::operator=(const INIFILESPEC& other) = default;

std::shared_ptr<const IniFileData> INIFILESPEC::load() const {
  FileStamp now = stamp_of(full_path_);
  if (cache_ && cache_->stamp == now) return cache_;
  auto data = std::make_shared<IniFileData>();
  data->stamp = now;
  if (now.exists) {
    QFile f(full_path_);
    if (f.open(QIODevice::ReadOnly)) {
      data->lines = split_lines(decode_ini_bytes(f.readAll()), &data->crlf, &data->final_newline);
      data->index();
    } else {
      data->stamp = FileStamp();  // unreadable: read as missing, try again next time
    }
  }
  cache_ = data;
  return cache_;
}

QString INIFILESPEC::GETSTRING(const QString& cSection, const QString& cEntry) const {
  auto data = load();
  const IniFileData::Section* s = data->find(cSection);
  if (!s) return QString();
  auto it = s->keys.constFind(fold(cEntry));
  if (it == s->keys.constEnd()) return QString();
  return data->value_at(*it);
}

QString INIFILESPEC::GETSTRINGUPPER(const QString& cSection, const QString& cEntry) const {
  return GETSTRING(cSection, cEntry).toUpper();
}

int INIFILESPEC::GETINT(const QString& cSection, const QString& cEntry) const {
  QString v = GETSTRING(cSection, cEntry);
  qsizetype i = 0;
  bool negative = false;
  if (i < v.size() && (v[i] == u'-' || v[i] == u'+')) negative = v[i++] == u'-';
  long long n = 0;
  for (; i < v.size() && v[i] >= u'0' && v[i] <= u'9'; ++i) {
    n = n * 10 + (v[i].unicode() - u'0');
    if (n > 0x7FFFFFFFLL) n = 0x7FFFFFFFLL;
  }
  return static_cast<int>(negative ? -n : n);
}

QList<QStringList> INIFILESPEC::GETSECTION(const QString& cSection) const {
  QList<QStringList> rows;
  auto data = load();
  const IniFileData::Section* s = data->find(cSection);
  if (!s) return rows;
  for (int line : s->key_order) rows.append(QStringList{data->key_at(line), data->value_at(line)});
  return rows;
}

bool INIFILESPEC::write_value(const QString& section_in, const QString* entry_in, const QString* value_in) {
  const QString section = one_line(section_in);
  const QString entry = entry_in ? one_line(*entry_in) : QString();
  const QString value = value_in ? one_line(*value_in) : QString();

  auto current = load();
  IniFileData data = *current;  // its index stays right until the lines change below
  data.final_newline = true;
  const IniFileData::Section* s = data.find(section);

  if (!entry_in) {  // the whole section goes
    if (!s) return true;
    data.lines.erase(data.lines.begin() + s->header, data.lines.begin() + s->end);
  } else if (!value_in) {  // one key goes
    if (!s) return true;
    auto it = s->keys.constFind(fold(entry));
    if (it == s->keys.constEnd()) return true;
    data.lines.removeAt(*it);
  } else if (s) {
    auto it = s->keys.constFind(fold(entry));
    if (it != s->keys.constEnd()) {
      data.lines[*it] = data.key_at(*it) + u'=' + value;  // the line keeps its key's spelling
    } else {
      int after = s->header;  // behind the section's last line that is not blank
      for (int i = s->header + 1; i < s->end; ++i)
        if (!trim_blanks(data.lines[i]).isEmpty()) after = i;
      data.lines.insert(after + 1, trim_blanks(entry) + u'=' + value);
    }
  } else {
    data.lines.append(u'[' + section + u']');
    data.lines.append(trim_blanks(entry) + u'=' + value);
  }

  QSaveFile out(full_path_);
  if (!out.open(QIODevice::WriteOnly)) return false;
  QByteArray bytes = data.serialize();
  if (out.write(bytes) != bytes.size() || !out.commit()) {
    cache_.reset();
    return false;
  }
  // What we wrote is what the file holds now: keep it instead of parsing it again.
  data.index();
  data.stamp = stamp_of(full_path_);
  cache_ = std::make_shared<IniFileData>(std::move(data));
  return true;
}

INIFILESPEC& INIFILESPEC::WRITESTRING(const QString& cSection, const QString& cEntry, const QString& cValue) {
  last_write_ok_ = write_value(cSection, &cEntry, &cValue);
  return *this;
}

INIFILESPEC& INIFILESPEC::WRITEINT(const QString& cSection, const QString& cEntry, int nValue) {
  return WRITESTRING(cSection, cEntry, QString::number(nValue));
}

INIFILESPEC& INIFILESPEC::DELETEENTRY(const QString& cSection, const QString& cEntry) {
  last_write_ok_ = write_value(cSection, &cEntry, nullptr);
  return *this;
}

INIFILESPEC& INIFILESPEC::DELETESECTION(const QString& cSection) {
  last_write_ok_ = write_value(cSection, nullptr, nullptr);
  return *this;
}

INIFILESPEC& INIFILESPEC::CREATE() {
  if (QFileInfo(full_path_).completeBaseName().toUpper() == u"WIN") return *this;
  QFile f(full_path_);
  last_write_ok_ = f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.close();
  cache_.reset();
  return *this;
}

QList<QStringList> GETALLSECTION(const QString& cFile) {
  QList<QStringList> rows;
  if (!QFileInfo::exists(cFile)) return rows;
  QFile f(cFile);
  if (!f.open(QIODevice::ReadOnly)) {
    gui::warning_box(nullptr, QStringLiteral("Achtung"),
                     QStringLiteral("Die Datei ") + cFile + QStringLiteral(" konnte nicht geöffnet werden!"));
    return rows;
  }
  bool crlf = false, final_newline = false;
  const QStringList lines = split_lines(decode_ini_bytes(f.readAll()), &crlf, &final_newline);
  for (const QString& line : lines) {
    if (!line.startsWith(u'[')) continue;
    qsizetype close = line.lastIndexOf(u']');
    if (close < 2) continue;  // "[]" and "[" alone name nothing
    rows.append(QStringList{line.mid(1, close - 1), QString(), QString()});
  }
  return rows;
}

}  // namespace mv
