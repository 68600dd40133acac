#include "tablewindow/empty_pages.h"

#include "platform/gui/dispatch.h"

namespace mv {

EmptyTablePage::EmptyTablePage(const QString& class_name, QWidget* owner) : STD_DATAWINDOW(owner) {
  setObjectName(class_name);
}

void EmptyTablePage::SHOW() {
  QObject* o = owner();
  if (gui::has_operation(o, "MENUSTRUKTUR", 0)) gui::call_operation(o, "MENUSTRUKTUR");
  STD_DATAWINDOW::SHOW();
}

}  // namespace mv
