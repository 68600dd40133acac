#pragma once
// Base of the tabbed document windows inside the shell: the whole window is a tab control
// whose pages are created when their tabs are first selected. It places itself in the
// shell by the setting "MaximizedWin", keeps its form's size as the smallest size the
// user can drag it to, passes record navigation to the current page when that page has
// the operation, and leaves the shell's list of child windows when it is destroyed.
#include <QIcon>
#include <QPointer>
#include <QSize>
#include <functional>

#include "components/std_windows.h"
#include "components/tabstandard.h"
#include "platform/gui/windows.h"

namespace Ui {
class TABDW_STANDARD_FORM;
class TAB_BEENDEN_FORM;
}  // namespace Ui

namespace mv {

class TABDW_STANDARD;

// What the program around the components supplies (start-up installs it).
struct DocumentWindowHooks {
  // Placement mode, the setting "MaximizedWin": 0 the form's size, 1 cascaded,
  // 2 filling the canvas, 3 maximised. Default: 1.
  std::function<unsigned()> placement_mode;
  // Makes the window's menu (the shell's per-window menu); may be empty.
  std::function<QObject*(TABDW_STANDARD*)> make_menu;
  // The window's icon.
  QIcon icon;
};
DocumentWindowHooks& document_window_hooks();

class TABDW_STANDARD_FORM : public gui::DATAWINDOW {
  Q_OBJECT
 public:
  explicit TABDW_STANDARD_FORM(QObject* owner);
  ~TABDW_STANDARD_FORM() override;

 protected:
  Ui::TABDW_STANDARD_FORM* form_;
};

class TABDW_STANDARD : public TABDW_STANDARD_FORM {
  Q_OBJECT
 public:
  // The owner must be the shell window.
  explicit TABDW_STANDARD(gui::SHELLWINDOW* owner);
  ~TABDW_STANDARD() override;

  TABSTANDARD* TABCONTROL() const { return tabs_; }
  TABDW_STANDARD* APPENDTAB(const QString& page_class, const QString& caption, int image = 0);
  TABDW_STANDARD* SELECTTAB(const QString& page_class);

  // The outer size the form gave the window; the user cannot drag it smaller.
  QSize minimum_size() const { return min_size_; }
  QObject* menu() const { return menu_.data(); }
  // The shell, while it is one (nullptr also once its destruction has begun).
  gui::SHELLWINDOW* shell() const { return qobject_cast<gui::SHELLWINDOW*>(shell_.data()); }

  // The placement rule for mode 1 and 2 (mode 0, 3 and others: nothing), for a canvas of
  // `canvas` pixels and `n` windows already registered. Answers the outer geometry or an
  // empty rectangle when the window keeps its size and position.
  static QRect placement(unsigned mode, QSize canvas, int n);

 public slots:
  void GOTOP();
  void GOBOTTOM();
  void SKIPNEXT();
  void SKIPPREVIOUS();
  void GOTO(int record);
  void FILEREPORT(bool preview);
  void SHOW() override;
  virtual void FILECLOSE();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void forward(const char* name, const QVariantList& args = {});

  TABSTANDARD* tabs_ = nullptr;
  QSize min_size_;
  // While the user drags the frame: its geometry when the button went down.
  bool dragging_ = false;
  bool correcting_ = false;
  QRect press_geometry_;
  QPointer<QObject> menu_;
  // Kept as a plain object: a shell being destroyed must not be cast to its class.
  QPointer<QObject> shell_;
};

class TAB_BEENDEN_FORM : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  explicit TAB_BEENDEN_FORM(QWidget* owner);
  ~TAB_BEENDEN_FORM() override;

 protected:
  Ui::TAB_BEENDEN_FORM* form_;
};

// The close page: selecting its tab closes the document window instead of showing a page.
class TAB_BEENDEN : public TAB_BEENDEN_FORM {
  Q_OBJECT
 public:
  explicit TAB_BEENDEN(QWidget* owner);
 public slots:
  void SHOW() override;
};

}  // namespace mv
