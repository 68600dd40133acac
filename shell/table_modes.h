#pragma once
// The process-wide modes of the table layer and the runtime that start-up and the options
// dialog set: the default driver, the exclusive-open default, the ANSI mode and the date
// epoch. Kept here until the table layer and the runtime offer them.
#include <QString>

namespace mv {

void set_table_default_driver(const QString& driver);
QString table_default_driver();
void set_table_exclusive_default(bool exclusive);
bool table_exclusive_default();
void set_table_ansi_mode(bool ansi);
bool table_ansi_mode();
void set_runtime_date_epoch(int epoch);
int runtime_date_epoch();

}  // namespace mv
