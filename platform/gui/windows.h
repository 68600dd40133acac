#pragma once
// Window bases the forms and pages are written against.
//
//   WINDOW        plain window; also the placeholder of a tab whose page does not exist yet
//   DATAWINDOW    a form window: a page on a tab, or a document window inside the shell's
//                 MDI area when its owner is the shell
//   DIALOGWINDOW  a dialog window (modal with SHOW, or modeless with show_modeless)
//   SHELLWINDOW   the MDI frame: canvas (QMdiArea), command router, list of child windows
//
// "Owner" is the window a form was created for (every form's constructor is given it);
// it is kept apart from the Qt parent, which follows the widget tree.
//
// Control events: forms call bind_controls() after setupUi. A click on a button then runs
// the window's BUTTONCLICK(control) first and afterwards the operation that bears the
// button's name (PB_OK ...), when the window has one.
#include <QDialog>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <QSize>
#include <QWidget>
#include <functional>
#include <map>
#include <string>

#include "platform/gui/dispatch.h"

class QAbstractButton;
#include <QMdiSubWindow>

namespace mv::gui {

class SHELLWINDOW;

// Converts dialog units to pixels with the widget's font (x: average character width / 4,
// y: line height / 8).
QSize dialog_units_to_pixels(const QWidget* w, int dx, int dy);

// Connects the buttons below `form` so that a click runs `window->BUTTONCLICK(button)`
// (through the virtual hook `on_button`) and then the operation named like the button.
void bind_buttons(QWidget* form, QObject* handler, std::function<void(QAbstractButton*)> on_button);

class WINDOW : public QWidget {
  Q_OBJECT
 public:
  explicit WINDOW(QObject* owner = nullptr, QWidget* parent = nullptr);
  QObject* owner() const { return owner_.data(); }
  // Paints pending updates at once.
  Q_INVOKABLE void FORCEPAINT();

 private:
  QPointer<QObject> owner_;
};

class DATAWINDOW : public QWidget {
  Q_OBJECT
 public:
  // With a SHELLWINDOW as owner the window becomes a child of the shell's MDI area;
  // otherwise it is a plain child widget of `owner` (when that is a widget).
  explicit DATAWINDOW(QObject* owner = nullptr);
  ~DATAWINDOW() override;

  QObject* owner() const { return owner_.data(); }
  // The MDI frame around a document window, or nullptr.
  // The frame, while it is one (nullptr also once its destruction has begun).
  QMdiSubWindow* mdi_frame() const;
  // The outer widget: the MDI frame when there is one, else the window itself.
  QWidget* outer() const;

  // The caption of the window (the frame's title for a document window).
  void set_caption(const QString& caption) { setWindowTitle(caption); }
  QString caption() const { return windowTitle(); }

  // Hook for control events, run before the operation named like the control.
  virtual void BUTTONCLICK(QAbstractButton* control);

 public slots:
  // Shows the window (for a page: called on every selection of its tab).
  virtual void SHOW();
  // Ends the window: closes the MDI frame or the widget.
  void end_window();

 protected:
  void bind_controls();

 private:
  QPointer<QObject> owner_;
  // Kept as a plain object: a frame being destroyed must not be cast to its class.
  QPointer<QObject> frame_;
};

class DIALOGWINDOW : public QDialog {
  Q_OBJECT
 public:
  explicit DIALOGWINDOW(QObject* owner = nullptr, bool modal = true);
  QObject* owner() const { return owner_.data(); }

  virtual void BUTTONCLICK(QAbstractButton* control);

  void set_caption(const QString& caption) { setWindowTitle(caption); }
  QString caption() const { return windowTitle(); }
  // The result given to ENDDIALOG (0 until then).
  int RESULT() const { return result_; }

 public slots:
  // Modal dialogs: runs the dialog until ENDDIALOG; modeless ones: shows it.
  virtual void SHOW();
  void show_modeless();
  virtual void ENDDIALOG(int result = 0);
  // Centres the dialog on the screen keeping its size.
  bool CENTER();

 protected:
  void bind_controls();
  int result_ = 0;
  bool modal_ = true;

 private:
  QPointer<QObject> owner_;
};

class SHELLWINDOW : public QMainWindow {
  Q_OBJECT
 public:
  explicit SHELLWINDOW(QWidget* parent = nullptr);

  QMdiArea* canvas() const { return area_; }
  // Width and height of the canvas in which document windows live.
  QSize canvas_size() const;
  CommandRouter* router() const { return router_; }

  // The registered document windows (in registration order; destroyed ones dropped).
  QList<QWidget*> children_windows() const;

 public slots:
  virtual void REGISTERCHILD(QWidget* child);
  virtual void REMOVECHILD(QWidget* child);
  virtual int ANZAHLCHILD() const;

 protected:
  // Called after REGISTERCHILD and REMOVECHILD changed the list.
  virtual void child_list_changed() {}

 private:
  QMdiArea* area_;
  CommandRouter* router_;
  QList<QPointer<QWidget>> children_;
};

// Follows the owners upward from `w`'s owner and answers the first shell window.
SHELLWINDOW* shell_of(QObject* w);

// Window classes created by name (a tab's page is created from its class name).
using WindowFactory = std::function<QWidget*(QWidget* owner)>;
void register_window_class(const std::string& name, WindowFactory factory);
bool is_window_class(const std::string& name);
QWidget* create_window(const std::string& name, QWidget* owner);  // nullptr for unknown names
template <typename T>
void register_window_class(const std::string& name) {
  register_window_class(name, [](QWidget* owner) -> QWidget* { return new T(owner); });
}

}  // namespace mv::gui
