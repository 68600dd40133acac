#pragma once
// Calling operations by name. Menu items, toolbar buttons and accelerators carry a
// command name (the QAction's object name); the command goes to the active document
// window when it has an operation of that name, else to the shell. Pages have optional
// operations (navigation, FILEREPORT ...) that are called only when they exist; a
// missing one is skipped without a message. Operations are Qt slots or Q_INVOKABLE
// methods named exactly like the command (`FILECLOSE`, `GOTOP`, `PB_OK`).
#include <QAction>
#include <QByteArray>
#include <QMdiArea>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QVariantList>
#include <functional>
#include <optional>

class QAbstractButton;

namespace mv::gui {

// True when `target` has an invokable operation `name` taking `arg_count` arguments
// (-1: any number). A null target has none.
bool has_operation(const QObject* target, const char* name, int arg_count = -1);

// Calls the operation `name` with `args` (converted to the parameter types) when it
// exists; answers its return value (an invalid QVariant for void operations), or
// nothing when the target has no such operation or an argument does not convert.
std::optional<QVariant> call_operation(QObject* target, const char* name,
                                       const QVariantList& args = {});

// Routes commands by name: first the active target (normally the active MDI child's
// widget), then the shell. Connect actions with `connect_action`; `dispatch` is also
// callable directly (tests, toolbar code).
class CommandRouter : public QObject {
  Q_OBJECT
 public:
  // `shell` receives what the active window does not handle. The active target is the
  // widget of `area`'s active sub-window, unless a function is set.
  CommandRouter(QObject* shell, QMdiArea* area, QObject* parent = nullptr);

  void set_active_target_function(std::function<QObject*()> fn) { active_fn_ = std::move(fn); }
  QObject* active_target() const;

  // Runs command `name`; answers false when neither the active window nor the shell has it.
  bool dispatch(const QByteArray& name, const QVariantList& args = {});
  // Whom the command would reach (nullptr: nobody).
  QObject* target_for(const QByteArray& name) const;

  // Connects the action's triggered() to dispatch(action->objectName()).
  void connect_action(QAction* action);
  // Connects every QAction found below `root` (menus, tool bars, the widget's own actions)
  // that has an object name.
  void connect_actions(QObject* root);

 private:
  QPointer<QObject> shell_;
  QPointer<QMdiArea> area_;
  std::function<QObject*()> active_fn_;
};

// Push buttons and other controls by name: a click on a button named `PB_OK` runs the
// operation `PB_OK` of `handler` (looked up at click time, so subclasses' slots are found
// even when this runs in a base-class constructor). Buttons without a matching operation
// do nothing. Answers the number of buttons connected.
int connect_buttons_by_name(QWidget* form, QObject* handler);

}  // namespace mv::gui
