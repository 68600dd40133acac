#pragma once
// Controls of the calendar program's pages: a month calendar of several months, a date or
// time picker, a vertical spinner, a hyperlink and the folder dialog behind a chooser that
// tests replace. Every control tells the user's own changes apart from the program's: only
// the user's raise the signals the pages react to.
#include <QDate>
#include <QDateTimeEdit>
#include <QLabel>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class QCalendarWidget;
class QGridLayout;
class QToolButton;

namespace mv::gui {

// rows x columns month sheets side by side, consecutive months from the first sheet's
// month on; German day and month names, ISO week numbers, weeks from Monday, today not
// marked. One date is selected (SELECTION); it shows on the sheet of its month.
class MONTHCALENDAR : public QWidget {
  Q_OBJECT
 public:
  explicit MONTHCALENDAR(QWidget* parent = nullptr);

  void set_grid(int rows, int columns);
  int rows() const { return rows_; }
  int columns() const { return columns_; }
  int sheet_count() const { return int(sheets_.size()); }
  QCalendarWidget* sheet(int i) const { return sheets_[size_t(i)]; }
  // The month the first sheet shows (its first day).
  QDate first_month() const { return first_; }

  QDate SELECTION() const { return selection_; }
  // Sets the selection from the program (no signal). A date outside the months shown
  // makes its month the first sheet's. An invalid date keeps the selection.
  void SELECTION(const QDate& date);

 signals:
  // The user chose a day.
  void selection_changed(const QDate& date);

 private:
  void build();
  void show_from(QDate first_month);
  void user_clicked(int sheet, const QDate& date);
  void user_paged(int sheet, int year, int month);

  int rows_ = 1, columns_ = 1;
  std::vector<QCalendarWidget*> sheets_;
  QGridLayout* grid_ = nullptr;
  QDate selection_;
  QDate first_;
  bool quiet_ = false;
};

// Date picker (long German date, spin buttons) or time picker ("HH:mm:ss").
class DATETIMEPICKER : public QDateTimeEdit {
  Q_OBJECT
 public:
  enum class Kind { Date, Time };
  explicit DATETIMEPICKER(Kind kind, QWidget* parent = nullptr);
  // A date picker (as forms create it).
  explicit DATETIMEPICKER(QWidget* parent = nullptr) : DATETIMEPICKER(Kind::Date, parent) {}
  Kind kind() const { return kind_; }

  QDate SELECTEDDATE() const { return date(); }
  void SELECTEDDATE(const QDate& d);  // from the program: no signal
  QString SELECTEDTIME() const { return time().toString(QStringLiteral("HH:mm:ss")); }
  void SELECTEDTIME(const QTime& t);

 signals:
  // The user changed the date or time.
  void selection_changed();

 private:
  Kind kind_;
  bool quiet_ = false;
};

// Up and down arrows stepping a position within a range.
class VERTICALSPINNER : public QWidget {
  Q_OBJECT
 public:
  explicit VERTICALSPINNER(QWidget* parent = nullptr);
  void RANGE(int low, int high);
  int low() const { return low_; }
  int high() const { return high_; }
  int POSITION() const { return position_; }
  // From the program: held to the range, no signal.
  void POSITION(int position);
  int VALUE() const { return position_; }
  // As the arrows do it: one step up (+1) or down (-1), held to the range; the signal
  // follows even when the position stays at a bound.
  void step(int direction);

  QToolButton* up_button() const { return up_; }
  QToolButton* down_button() const { return down_; }

 signals:
  void spun(int position);

 private:
  QToolButton* up_;
  QToolButton* down_;
  int low_ = 0, high_ = 100, position_ = 0;
};

// A link line: shows `text` underlined; a click opens `target` with the program the
// system associates with it.
class HYPERLINK : public QLabel {
  Q_OBJECT
 public:
  HYPERLINK(const QString& text, const QString& target, QWidget* parent = nullptr);
  const QString& target() const { return target_; }
  // Opens the target; false when nothing could open it.
  bool OPENLINK();

  // How targets are opened (tests replace it; empty: the desktop's association).
  using Opener = std::function<bool(const QString& target)>;
  static void set_opener(Opener opener);

 private:
  QString target_;
};

// The folder dialog: a non-native file dialog showing folders only.
class STANDARDFOLDERDIALOG {
 public:
  STANDARDFOLDERDIALOG(QWidget* owner, const QString& caption, const QString& start);
  // Runs the dialog; the chosen folder is FOLDERNAME() (empty when cancelled).
  void SHOW();
  const QString& FOLDERNAME() const { return folder_; }

  // Who answers the dialog: tests install a double; empty: the real dialog.
  using Chooser = std::function<QString(QWidget* owner, const QString& caption, const QString& start)>;
  static void set_chooser(Chooser chooser);

 private:
  QWidget* owner_;
  QString caption_, start_, folder_;
};

}  // namespace mv::gui
