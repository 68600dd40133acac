#pragma once
// The page of a tab whose own page class is not part of this build: an empty page that
// sets the menu state of a page other than the data page when it is shown.
#include "components/std_windows.h"

namespace mv {

class EmptyTablePage : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  EmptyTablePage(const QString& class_name, QWidget* owner);
 public slots:
  void SHOW() override;
};

}  // namespace mv
