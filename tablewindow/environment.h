#pragma once
// What the table windows take from the program around them: the program-wide settings
// (default driver, open defaults, grid font size), the history file "ZovuZUZ.INI" and the
// switching of the items of a window's menu. The program installs it at start-up; tests
// install their own. Nothing here names the program's own types, so the table windows
// build below the shell.
#include <QObject>
#include <QWidget>
#include <QString>
#include <functional>

#include "platform/base/filesystem.h"
#include <map>

namespace mv {

// One INI file as the table windows use it: read a key ("" when missing or empty) and
// write one (creating what is missing).
class HistoryStore {
 public:
  virtual ~HistoryStore() = default;
  virtual QString GETSTRING(const QString& section, const QString& key) const = 0;
  virtual void WRITESTRING(const QString& section, const QString& key, const QString& value) = 0;
  // Removes a key; false when this store cannot.
  virtual bool DELETEENTRY(const QString& /*section*/, const QString& /*key*/) { return false; }
  // Whether the last write or removal reached the disk.
  virtual bool last_write_ok() const { return true; }
  // The file's full path, for messages.
  virtual QString FULLPATH() const { return QStringLiteral("ZovuZUZ.INI"); }
};

// A history file held in memory (tests, or a program without base folder).
class MemoryHistoryStore : public HistoryStore {
 public:
  QString GETSTRING(const QString& section, const QString& key) const override;
  void WRITESTRING(const QString& section, const QString& key, const QString& value) override;
  bool DELETEENTRY(const QString& section, const QString& key) override;
  std::map<QString, std::map<QString, QString>> sections;  // names upper-cased
};

// A history store that calls the given functions.
class FunctionHistoryStore : public HistoryStore {
 public:
  std::function<QString(const QString&, const QString&)> get;
  std::function<void(const QString&, const QString&, const QString&)> put;
  std::function<bool(const QString&, const QString&)> remove;  // DELETEENTRY
  std::function<bool()> written;                               // last_write_ok
  std::function<QString()> path;                               // FULLPATH
  QString GETSTRING(const QString& section, const QString& key) const override {
    return get ? get(section, key) : QString();
  }
  void WRITESTRING(const QString& section, const QString& key, const QString& value) override {
    if (put) put(section, key, value);
  }
  bool DELETEENTRY(const QString& section, const QString& key) override {
    return remove ? remove(section, key) : false;
  }
  bool last_write_ok() const override { return written ? written() : true; }
  QString FULLPATH() const override { return path ? path() : HistoryStore::FULLPATH(); }
};

struct TableWindowEnvironment {
  std::function<QString()> default_driver;  // GCDRIVER ("DBFCDX" when not set)
  std::function<bool()> exclusive;          // GLEXCLUSIVE
  std::function<bool()> read_only;          // GLREADONLY
  std::function<unsigned()> font_browser;   // GNFONTBROWSER (9 when not set)
  HistoryStore* history = nullptr;          // GOINIHISTORY (nothing is counted without it)
  HistoryStore* product = nullptr;          // GOINI, the product INI (its "Runtime" list defaults)
  // Switch an item of a window's menu (the object the document window's menu hook made).
  std::function<void(QObject* menu, int id, bool on)> enable_item;
  std::function<void(QObject* menu, int id, bool on)> check_item;
  // The shell's window print of a window (its printing device, landscape, the question).
  std::function<void(QWidget* window)> print_window;
  // The file system the data page opens its tables through (nullptr: the real one).
  FileSystem* file_system = nullptr;

  QString driver_or_default() const { return default_driver ? default_driver() : QStringLiteral("DBFCDX"); }
  bool exclusive_or_default() const { return exclusive ? exclusive() : false; }
  bool read_only_or_default() const { return read_only ? read_only() : false; }
  unsigned font_or_default() const { return font_browser ? font_browser() : 9u; }
};

TableWindowEnvironment& table_window_environment();
void set_table_window_environment(TableWindowEnvironment env);

}  // namespace mv
