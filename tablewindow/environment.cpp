#include "tablewindow/environment.h"

namespace mv {

QString MemoryHistoryStore::GETSTRING(const QString& section, const QString& key) const {
  auto s = sections.find(section.toUpper());
  if (s == sections.end()) return {};
  auto k = s->second.find(key.toUpper());
  return k == s->second.end() ? QString() : k->second.trimmed();
}

void MemoryHistoryStore::WRITESTRING(const QString& section, const QString& key, const QString& value) {
  sections[section.toUpper()][key.toUpper()] = value;
}

bool MemoryHistoryStore::DELETEENTRY(const QString& section, const QString& key) {
  auto s = sections.find(section.toUpper());
  if (s != sections.end()) s->second.erase(key.toUpper());
  return true;
}

TableWindowEnvironment& table_window_environment() {
  static TableWindowEnvironment env;
  return env;
}

void set_table_window_environment(TableWindowEnvironment env) { table_window_environment() = std::move(env); }

}  // namespace mv
