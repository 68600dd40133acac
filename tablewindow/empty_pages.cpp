#include "tablewindow/empty_pages.h"

#include "platform/gui/dispatch.h"
#include "printing/table_lists.h"
#include "tablewindow/environment.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow/tableserver.h"

namespace mv {

EmptyTablePage::EmptyTablePage(const QString& class_name, QWidget* owner) : STD_DATAWINDOW(owner) {
  setObjectName(class_name);
}

void EmptyTablePage::SHOW() {
  QObject* o = owner();
  if (gui::has_operation(o, "MENUSTRUKTUR", 0)) gui::call_operation(o, "MENUSTRUKTUR");
  STD_DATAWINDOW::SHOW();
}

void EmptyTablePage::FILEREPORT(bool preview) {
  auto* window = qobject_cast<TABDW_DBFDATEI*>(owner());
  TableGridServer* server = window ? window->server() : nullptr;
  Table* table = server ? server->table() : nullptr;
  if (!table) return;
  const TableWindowEnvironment& env = table_window_environment();
  ListSettings ini;
  if (HistoryStore* h = env.history)
    ini.history = [h](const QString& s, const QString& k) { return h->GETSTRING(s, k); };
  if (HistoryStore* p = env.product)
    ini.product = [p](const QString& s, const QString& k) { return p->GETSTRING(s, k); };
  if (objectName() == QLatin1String("TAB_STRUKTUR")) {
    print_field_list(this, preview, *table, window->CEDBF, ini);
  } else if (objectName() == QLatin1String("TAB_INDEX")) {
    // The orders are read as they are listed; the data page keeps its order.
    std::vector<ListedOrder> orders;
    if (TableOrders* o = server->orders()) {
      for (int i = 1; i <= o->count(); ++i) {
        const OrderFacts f = o->info(i);
        orders.push_back({f.name, f.key});
      }
    }
    print_index_list(this, preview, *table, orders, window->CEDBF, ini);
  }
}

}  // namespace mv
