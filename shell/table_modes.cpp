#include "shell/table_modes.h"

namespace mv {
namespace {
QString g_driver = QStringLiteral("DBFCDX");
bool g_exclusive = true;
bool g_ansi = false;
int g_epoch = 1900;
}  // namespace

void set_table_default_driver(const QString& driver) { g_driver = driver; }
QString table_default_driver() { return g_driver; }
void set_table_exclusive_default(bool exclusive) { g_exclusive = exclusive; }
bool table_exclusive_default() { return g_exclusive; }
void set_table_ansi_mode(bool ansi) { g_ansi = ansi; }
bool table_ansi_mode() { return g_ansi; }
void set_runtime_date_epoch(int epoch) { g_epoch = epoch; }
int runtime_date_epoch() { return g_epoch; }

}  // namespace mv
