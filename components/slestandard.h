#pragma once
// The edit field and combo box of the forms: one background while focused, another
// while not, a third while read-only (the program-wide brushes); in the edit field Enter
// and Down move the focus to the next control, Up to the previous one, and the right
// mouse button does nothing.
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <functional>
#include <vector>

namespace mv {

class SLESTANDARD : public QLineEdit {
  Q_OBJECT
 public:
  using Block = std::function<void(SLESTANDARD*)>;
  using ValidBlock = std::function<bool(SLESTANDARD*)>;

  explicit SLESTANDARD(QWidget* parent = nullptr);

  // The calendar program's field keeps only the focus and normal backgrounds: no key
  // table, blocks, mask, read-only background, focus moves or caret rule. Set once at
  // that program's start-up.
  static void set_calendar_variant(bool on);
  static bool calendar_variant();

  // Runs `block` when key `key` (a Qt::Key) is released; rows are never removed and the
  // first row with the key wins.
  SLESTANDARD* SETKEY(int key, Block block);
  void SETRIGHTMOUSEKEY(Block block) { right_block_ = std::move(block); }
  void VALIDBLOCK(ValidBlock block) { valid_block_ = std::move(block); }
  void WHENBLOCK(Block block) { when_block_ = std::move(block); }
  // The characters that may be typed; empty: any.
  void MASKE(const QString& mask) { mask_ = mask; }
  // Read-only state with its background (READONLYBRUSH, else NORMALBRUSH).
  void READONLY(bool on);

  // The value type the field edits ("N" for numbers; empty: none). A
  // numeric field keeps the selection the edit gives it on focus; others put the caret
  // at the start.
  void set_value_type(const QString& type) { value_type_ = type; }
  QString value_type() const { return value_type_; }

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  void post_focus_move(bool next);
  void apply_focus_background(bool gained);

  struct KeyRow {
    int key;
    Block block;
  };
  std::vector<KeyRow> keys_;
  Block right_block_;
  Block when_block_;
  ValidBlock valid_block_;
  QString mask_;
  QString value_type_;
  bool refocusing_ = false;
};

class CMBSTANDARD : public QComboBox {
  Q_OBJECT
 public:
  explicit CMBSTANDARD(QWidget* parent = nullptr);

 protected:
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  void apply(bool gained);
};

}  // namespace mv
