#pragma once
// The page of a tab whose own page class is not part of this build: an empty page that
// sets the menu state of a page other than the data page when it is shown. On " Struktur "
// and " Index " it already prints the table's field list or index list.
#include "components/std_windows.h"

namespace mv {

class EmptyTablePage : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  EmptyTablePage(const QString& class_name, QWidget* owner);
 public slots:
  void SHOW() override;
  // The window's preview (TRUE) and print (FALSE) of the list this tab prints; nothing on
  // a tab without a list.
  void FILEREPORT(bool preview);
};

}  // namespace mv
