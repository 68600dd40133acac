#include "platform/gui/dispatch.h"

#include <QAbstractButton>
#include <QMdiSubWindow>
#include <QMetaMethod>
#include <QWidget>
#include <QSet>
#include <array>

namespace mv::gui {
namespace {

bool is_invokable(const QMetaMethod& m) {
  return m.methodType() == QMetaMethod::Slot || m.methodType() == QMetaMethod::Method;
}

// Most derived first: a subclass's operation of the same name wins.
std::optional<QMetaMethod> find_method(const QObject* target, const char* name, int arg_count) {
  if (!target || !name) return std::nullopt;
  const QMetaObject* mo = target->metaObject();
  const QByteArray wanted(name);
  for (int i = mo->methodCount() - 1; i >= 0; --i) {
    QMetaMethod m = mo->method(i);
    if (!is_invokable(m) || m.name() != wanted) continue;
    if (arg_count >= 0 && m.parameterCount() != arg_count) continue;
    return m;
  }
  return std::nullopt;
}

}  // namespace

bool has_operation(const QObject* target, const char* name, int arg_count) {
  return find_method(target, name, arg_count).has_value();
}

std::optional<QVariant> call_operation(QObject* target, const char* name, const QVariantList& args) {
  if (args.size() > 10) return std::nullopt;
  auto m = find_method(target, name, int(args.size()));
  if (!m) return std::nullopt;
  QVariantList converted;
  converted.reserve(args.size());
  for (int i = 0; i < args.size(); ++i) {
    QVariant v = args[i];
    const QMetaType type = m->parameterMetaType(i);
    if (type.id() != QMetaType::QVariant && v.metaType() != type) {
      if (!v.convert(type)) return std::nullopt;
    }
    converted.push_back(v);
  }
  std::array<QGenericArgument, 10> gargs{};
  for (int i = 0; i < converted.size(); ++i) {
    const QMetaType type = m->parameterMetaType(i);
    if (type.id() == QMetaType::QVariant)
      gargs[i] = QGenericArgument("QVariant", &converted[i]);
    else
      gargs[i] = QGenericArgument(type.name(), converted[i].constData());
  }
  QVariant ret;
  QGenericReturnArgument rarg;
  const QMetaType rtype = m->returnMetaType();
  if (rtype.isValid() && rtype.id() != QMetaType::Void) {
    if (rtype.id() == QMetaType::QVariant) {
      rarg = QGenericReturnArgument("QVariant", &ret);
    } else {
      ret = QVariant(rtype);
      rarg = QGenericReturnArgument(rtype.name(), ret.data());
    }
  }
  const bool ok = m->invoke(target, Qt::DirectConnection, rarg, gargs[0], gargs[1], gargs[2], gargs[3],
                            gargs[4], gargs[5], gargs[6], gargs[7], gargs[8], gargs[9]);
  if (!ok) return std::nullopt;
  return ret;
}

CommandRouter::CommandRouter(QObject* shell, QMdiArea* area, QObject* parent)
    : QObject(parent), shell_(shell), area_(area) {}

QObject* CommandRouter::active_target() const {
  if (active_fn_) return active_fn_();
  if (!area_) return nullptr;
  QMdiSubWindow* sub = area_->activeSubWindow();
  if (!sub) {
    // A command from a menu of a floating tool window may arrive while no sub-window is
    // active; the current one still counts.
    sub = area_->currentSubWindow();
  }
  return sub ? sub->widget() : nullptr;
}

QObject* CommandRouter::target_for(const QByteArray& name) const {
  if (name.isEmpty()) return nullptr;
  QObject* active = active_target();
  if (has_operation(active, name.constData())) return active;
  if (has_operation(shell_.data(), name.constData())) return shell_.data();
  return nullptr;
}

bool CommandRouter::dispatch(const QByteArray& name, const QVariantList& args) {
  if (name.isEmpty()) return false;
  QObject* active = active_target();
  if (has_operation(active, name.constData(), int(args.size()))) {
    call_operation(active, name.constData(), args);
    return true;
  }
  if (has_operation(shell_.data(), name.constData(), int(args.size()))) {
    call_operation(shell_.data(), name.constData(), args);
    return true;
  }
  return false;
}

void CommandRouter::connect_action(QAction* action) {
  if (!action || action->objectName().isEmpty()) return;
  QPointer<QAction> a(action);
  connect(action, &QAction::triggered, this, [this, a] {
    if (a) dispatch(a->objectName().toLatin1());
  });
}

void CommandRouter::connect_actions(QObject* root) {
  if (!root) return;
  QList<QAction*> actions = root->findChildren<QAction*>();
  if (auto* w = qobject_cast<QWidget*>(root)) actions += w->actions();
  if (auto* a = qobject_cast<QAction*>(root)) actions.push_back(a);
  QSet<QAction*> seen;
  for (QAction* a : actions) {
    if (seen.contains(a)) continue;
    seen.insert(a);
    connect_action(a);
  }
}

int connect_buttons_by_name(QWidget* form, QObject* handler) {
  if (!form || !handler) return 0;
  int n = 0;
  QPointer<QObject> h(handler);
  for (QAbstractButton* b : form->findChildren<QAbstractButton*>()) {
    const QByteArray name = b->objectName().toLatin1();
    if (name.isEmpty() || name.startsWith("qt_")) continue;
    QObject::connect(b, &QAbstractButton::clicked, handler, [h, name] {
      if (h && has_operation(h.data(), name.constData(), 0)) call_operation(h.data(), name.constData());
    });
    ++n;
  }
  return n;
}

}  // namespace mv::gui
