#include "platform/table/dbserver.h"

#include "platform/table/index/order_list.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"

namespace mv {

DBSERVER::DBSERVER() : open_status_(Status::not_found("Die Tabelle ist nicht geöffnet")) {}

DBSERVER::~DBSERVER() { CLOSE().ignore(); }

bool DBSERVER::used() const { return table_ && table_->is_open(); }

Status DBSERVER::not_open() const {
  if (!open_status_.is_ok()) return open_status_;
  return Status::not_found("Die Tabelle " + path_ + " ist nicht geöffnet");
}

Status DBSERVER::open(const std::string& path, bool shared, bool read_only, const std::string& driver,
                      FileSystem* fs) {
  CLOSE().ignore();
  FileSystem& files = fs ? *fs : FileSystem::posix();
  path_ = with_default_extension(path, ".dbf");
  // A name given without extension finds "T.DBF" as well as "T.dbf".
  if (path_ext(path).empty() && !files.exists(path_)) {
    if (auto found = find_file_nocase(files, path_dir(path), path_file(path) + ".dbf")) path_ = *found;
  }
  OpenOptions opt = OpenOptions::defaults();
  opt.shared = shared;
  opt.read_only = read_only;
  if (!driver.empty()) opt.driver = driver;
  opt.fs = &files;
  auto t = Table::open(path_, opt);
  if (!t) return open_status_ = t.status();
  OrderListOptions lo;
  lo.require_production = false;  // a missing bag is built by the caller afterwards
  auto list = OrderList::attach(**t, lo);
  if (!list) {
    (*t)->close().ignore();
    return open_status_ = list.status();
  }
  table_ = std::move(t).value();
  orders_ = std::move(list).value();
  open_status_ = Status::ok();
  return Status::ok();
}

Status DBSERVER::CREATEORDER(const std::string& tag, const std::string& bag, const std::string& key_expr) {
  if (!used()) return not_open();
  return orders_->create_order(tag, bag, key_expr);
}

Status DBSERVER::SETORDER(std::string_view tag) {
  if (!used()) return not_open();
  if (tag.empty()) return SETORDER(size_t{0});
  MV_RETURN_IF_ERROR(orders_->set_order(tag));
  return table_->go_top();
}

Status DBSERVER::SETORDER(size_t number) {
  if (!used()) return not_open();
  MV_RETURN_IF_ERROR(orders_->set_order(number));
  return table_->go_top();
}

std::vector<std::string> DBSERVER::order_names() const {
  std::vector<std::string> out;
  if (!used()) return out;
  for (size_t n = 1; n <= orders_->count(); ++n) out.push_back(orders_->info(n).name);
  return out;
}

Result<bool> DBSERVER::SEEK(const Value& key, bool soft) {
  if (!used()) return not_open();
  return orders_->seek(key, soft);
}

Status DBSERVER::GOTOP() { return used() ? table_->go_top() : not_open(); }
Status DBSERVER::GOBOTTOM() { return used() ? table_->go_bottom() : not_open(); }
Status DBSERVER::SKIP(int64_t n) { return used() ? table_->skip(n) : not_open(); }
Status DBSERVER::GOTO(uint32_t recno) { return used() ? table_->go_to(recno) : not_open(); }
uint32_t DBSERVER::RECNO() const { return used() ? table_->recno() : 0; }
bool DBSERVER::eof() const { return used() ? table_->eof() : true; }
bool DBSERVER::bof() const { return used() ? table_->bof() : true; }
uint32_t DBSERVER::LASTREC() { return used() ? table_->lastrec() : 0; }

Result<Value> DBSERVER::FIELDGET(std::string_view name) {
  if (!used()) return not_open();
  if (table_->field_pos(name) == 0)
    return Status::invalid_argument("Das Feld " + std::string(name) + " fehlt in " + path_);
  return table_->field_get(name);
}

Status DBSERVER::FIELDPUT(std::string_view name, const Value& value) {
  if (!used()) return not_open();
  if (table_->field_pos(name) == 0)
    return Status::invalid_argument("Das Feld " + std::string(name) + " fehlt in " + path_);
  return table_->field_put(name, value);
}

Status DBSERVER::APPEND() { return used() ? table_->append_blank() : not_open(); }
Status DBSERVER::COMMIT() { return used() ? table_->commit() : not_open(); }

Status DBSERVER::CLOSE() {
  if (!table_) return Status::ok();
  // The table flushes through its maintainer while it closes, so the orders go after it.
  Status st = table_->is_open() ? table_->close() : Status::ok();
  orders_.reset();
  table_.reset();
  open_status_ = Status::not_found("Die Tabelle " + path_ + " ist geschlossen");
  return st;
}

void DBSERVER::close_with(Status why) {
  CLOSE().ignore();
  open_status_ = std::move(why);
}

std::vector<StructRow> DBSERVER::DBSTRUCT() const { return used() ? table_->dbstruct() : std::vector<StructRow>{}; }

}  // namespace mv
