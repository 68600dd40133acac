#pragma once
// The INI file class of both programs and the history file's section list.
//
// Our own line-preserving reader and writer with the private-profile rules the programs
// rely on: section and key names compare without regard to case (blanks around them do
// not count), values lose their surrounding blanks on reading and arrive cut to 1023
// characters, nothing is escaped (section names are full table paths, "/" and "\" kept),
// a new section goes to the end of the file and a new key to the end of its section, an
// existing key keeps the spelling of its line. Every other line (comments, blank lines,
// lines of other programs) is written back as it stood.
//
// Files are written as UTF-8 (through a temporary file and a rename, so a failed write
// leaves the old file whole); a file that is not valid UTF-8 is read as Windows-1252.
// CR LF line ends are kept when the file has them; new files get LF. A section name is
// the text up to the last "]" of its line, so paths holding "]" survive.
//
// Reading keeps the parsed file and checks the file's identity (size, times, inode) on
// every call, so changes by the other program or an editor are seen at once while warm
// reads cost a stat() and two hash look-ups.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace mv {

struct IniFileData;

class INIFILESPEC {
 public:
  // A name without any folder part is bound to the current folder now, and stays bound
  // to it when the current folder changes later.
  explicit INIFILESPEC(const QString& cFileName);
  ~INIFILESPEC();
  INIFILESPEC(const INIFILESPEC& other);
  INIFILESPEC& operator=(const INIFILESPEC& other);

  const QString& FULLPATH() const { return full_path_; }

  // The value with surrounding blanks removed, at most 1023 characters; empty for a
  // missing key, section or file.
  QString GETSTRING(const QString& cSection, const QString& cEntry) const;
  QString GETSTRINGUPPER(const QString& cSection, const QString& cEntry) const;
  // Leading sign and digits of the value; 0 when missing or not a number.
  int GETINT(const QString& cSection, const QString& cEntry) const;

  // Write failures (a missing folder, a read-only file) change nothing and are not
  // reported, as the programs expect; the call's result tells tests and careful callers.
  INIFILESPEC& WRITESTRING(const QString& cSection, const QString& cEntry, const QString& cValue);
  INIFILESPEC& WRITEINT(const QString& cSection, const QString& cEntry, int nValue);
  INIFILESPEC& DELETEENTRY(const QString& cSection, const QString& cEntry);
  INIFILESPEC& DELETESECTION(const QString& cSection);
  // Rows {key, value} of every key of the section in file order; empty for a missing one.
  QList<QStringList> GETSECTION(const QString& cSection) const;
  // Creates the file empty (an existing one is cut to length 0), unless the file name
  // without extension is "WIN" in any case.
  INIFILESPEC& CREATE();

  // Whether the last write reached the disk.
  bool last_write_ok() const { return last_write_ok_; }

 private:
  bool write_value(const QString& section, const QString* entry, const QString* value);
  std::shared_ptr<const IniFileData> load() const;

  QString full_path_;
  mutable std::shared_ptr<const IniFileData> cache_;
  bool last_write_ok_ = true;
};

// The section names of an INI file read from the raw file, as rows {name, "", ""} in
// file order: a line whose first character is "[" gives the text up to its last "]",
// unchanged, when that is not empty. A missing file gives no rows and no message; a file
// that exists but cannot be opened shows a warning naming the file and gives no rows.
QList<QStringList> GETALLSECTION(const QString& cFile);

}  // namespace mv
