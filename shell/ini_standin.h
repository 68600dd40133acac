#pragma once
// Stand-in for the INI file class until the shared one lands: private-profile semantics
// (names without regard to case, values trimmed, new sections and keys appended).
#include <QString>
#include <QStringList>

namespace mv {

class INIFILESPEC {
 public:
  explicit INIFILESPEC(const QString& path) : path_(path) {}
  QString FULLPATH() const { return path_; }
  QString GETSTRING(const QString& section, const QString& entry) const;
  QString GETSTRINGUPPER(const QString& section, const QString& entry) const {
    return GETSTRING(section, entry).toUpper();
  }
  INIFILESPEC& WRITESTRING(const QString& section, const QString& entry, const QString& value);

 private:
  QStringList lines() const;
  QString path_;
};

}  // namespace mv
