#pragma once
// The record search of the data page: the free functions that scan a table for a text.
// Texts are compared in the table's code page after both sides went through its
// upper-case map (umlauts included), so "ab" finds "xAByz" and "mü" finds "MÜLLER".
#include <QString>
#include <cstdint>
#include <vector>

namespace mv {

class TableGridServer;

// True when the table has at least one memo field ("M"); false without a server.
bool ISFIELDMEMO(TableGridServer* server);
// The field-by-field search: the records the server's navigation visits (current order,
// deleted filter) in which a field's comparison text holds `text`: texts and memos as
// stored, numbers as their trimmed number text, dates as the program shows them,
// logicals as "JT1" or "NF0". Shows the progress window, which can cancel it.
std::vector<uint32_t> SCANFIELDS(TableGridServer* server, const QString& text);
// The byte-level search over the stored record images in record-number order (records
// flagged deleted are never hits). The table does not move.
std::vector<uint32_t> SCANFIELDSLOWLEVEL(TableGridServer* server, const QString& text);
// Every character of `text` shifted by the code of the key's character at the same place
// (the key repeated; an empty key counts as one blank); sums beyond 255 wrap around.
QString ASCADD(const QString& text, const QString& key);
// True when the file exists and can be opened for reading.
bool ISCANOPENEXCLUSIVE(const QString& file);

}  // namespace mv
