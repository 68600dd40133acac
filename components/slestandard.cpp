#include "components/slestandard.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include "platform/gui/palette.h"

namespace mv {

namespace {
bool g_calendar_variant = false;
}

SLESTANDARD::SLESTANDARD(QWidget* parent) : QLineEdit(parent) {
  setContextMenuPolicy(Qt::NoContextMenu);
  gui::set_background(this, gui::NORMALBRUSH());
}

void SLESTANDARD::set_calendar_variant(bool on) { g_calendar_variant = on; }
bool SLESTANDARD::calendar_variant() { return g_calendar_variant; }

SLESTANDARD* SLESTANDARD::SETKEY(int key, Block block) {
  keys_.push_back({key, std::move(block)});
  return this;
}

void SLESTANDARD::READONLY(bool on) {
  setReadOnly(on);
  if (g_calendar_variant) return;
  gui::set_background(this, on ? gui::READONLYBRUSH() : gui::NORMALBRUSH());
}

// Focus moves are posted, so they happen after the key has been handled completely.
// A posted Tab / Backtab runs the form's own focus chain.
void SLESTANDARD::post_focus_move(bool next) {
  auto* ev = new QKeyEvent(QEvent::KeyPress, next ? Qt::Key_Tab : Qt::Key_Backtab,
                           next ? Qt::NoModifier : Qt::ShiftModifier);
  QCoreApplication::postEvent(this, ev);
}

void SLESTANDARD::keyPressEvent(QKeyEvent* e) {
  if (g_calendar_variant) {
    QLineEdit::keyPressEvent(e);
    return;
  }
  switch (e->key()) {
    case Qt::Key_Down:
      post_focus_move(true);
      QLineEdit::keyPressEvent(e);
      return;
    case Qt::Key_Up:
      post_focus_move(false);
      QLineEdit::keyPressEvent(e);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      post_focus_move(true);
      QLineEdit::keyPressEvent(e);  // the edit answers as always (returnPressed, default button)
      return;
    default:
      break;
  }
  const QString text = e->text();
  if (!mask_.isEmpty() && !text.isEmpty() && e->key() != Qt::Key_Backspace) {
    for (QChar c : text) {
      if (c.isPrint() && !mask_.contains(c)) {
        e->accept();  // swallowed
        return;
      }
    }
  }
  QLineEdit::keyPressEvent(e);
}

void SLESTANDARD::keyReleaseEvent(QKeyEvent* e) {
  QLineEdit::keyReleaseEvent(e);
  if (g_calendar_variant || e->isAutoRepeat()) return;
  for (const KeyRow& row : keys_) {
    if (row.key == e->key()) {
      if (row.block) row.block(this);
      break;
    }
  }
}

void SLESTANDARD::mousePressEvent(QMouseEvent* e) {
  if (!g_calendar_variant && e->button() == Qt::RightButton) {
    e->accept();  // no caret move, no menu
    if (right_block_) right_block_(this);
    return;
  }
  QLineEdit::mousePressEvent(e);
}

void SLESTANDARD::mouseReleaseEvent(QMouseEvent* e) {
  if (!g_calendar_variant && e->button() == Qt::RightButton) {
    e->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(e);
}

void SLESTANDARD::mouseDoubleClickEvent(QMouseEvent* e) {
  if (!g_calendar_variant && e->button() == Qt::RightButton) {
    e->accept();
    return;
  }
  QLineEdit::mouseDoubleClickEvent(e);
}

void SLESTANDARD::apply_focus_background(bool gained) {
  if (!g_calendar_variant && isReadOnly()) {
    gui::set_background(this, gui::READONLYBRUSH());
    return;
  }
  gui::set_background(this, gained ? gui::FOKUSBRUSH() : gui::NORMALBRUSH());
}

void SLESTANDARD::focusInEvent(QFocusEvent* e) {
  if (!g_calendar_variant && when_block_ && !refocusing_) when_block_(this);
  QLineEdit::focusInEvent(e);
  apply_focus_background(true);
  if (!g_calendar_variant && value_type_ != QStringLiteral("N")) {
    deselect();
    setCursorPosition(0);
  }
  refocusing_ = false;
}

void SLESTANDARD::focusOutEvent(QFocusEvent* e) {
  if (!g_calendar_variant && valid_block_) {
    const bool ok = valid_block_(this);
    QObject* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (owner) owner->setProperty("VALID", ok);
    if (!ok) {
      if (owner) owner->setProperty("CURRENTCONTROL", QVariant::fromValue<QObject*>(this));
      // The focus comes back once the focus change in progress has finished.
      QPointer<SLESTANDARD> self(this);
      refocusing_ = true;
      QTimer::singleShot(0, this, [self] {
        if (self) self->setFocus(Qt::OtherFocusReason);
      });
      return;  // swallowed: the field keeps its look
    }
  }
  QLineEdit::focusOutEvent(e);
  apply_focus_background(false);
}

CMBSTANDARD::CMBSTANDARD(QWidget* parent) : QComboBox(parent) { apply(false); }

void CMBSTANDARD::apply(bool gained) {
  const QBrush& b = gained ? gui::FOKUSBRUSH() : gui::NORMALBRUSH();
  gui::set_background(this, b);
  if (!isEditable()) {
    QPalette pal = palette();
    pal.setBrush(QPalette::Button, b);
    setPalette(pal);
  }
}

void CMBSTANDARD::focusInEvent(QFocusEvent* e) {
  QComboBox::focusInEvent(e);
  apply(true);
}

void CMBSTANDARD::focusOutEvent(QFocusEvent* e) {
  QComboBox::focusOutEvent(e);
  apply(false);
}

}  // namespace mv
