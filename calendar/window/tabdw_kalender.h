#pragma once
// The calendar program's window: one tab control with the month calendar, the holiday
// list, the appointments, the groups and the info page. It reads the holiday codes and its
// size from "Kalender.INI" when it is built and writes them back when it goes; the user
// can drag it between its design size and the screen (at most 1022 x 778).
#include <QSize>

#include "components/tabstandard.h"
#include "platform/gui/windows.h"

namespace Ui {
class TABDW_KALENDER_FORM;
}

namespace mv {

class TABDW_KALENDER_FORM : public gui::DATAWINDOW {
  Q_OBJECT
 public:
  explicit TABDW_KALENDER_FORM(QObject* owner = nullptr);
  ~TABDW_KALENDER_FORM() override;
  TABSTANDARD* TABCONTROL() const;

 protected:
  Ui::TABDW_KALENDER_FORM* form_;
};

inline constexpr int kMaxWindowWidth = 1022;
inline constexpr int kMaxWindowHeight = 778;
// The height stored for a window of full width.
inline constexpr int kStoredHeightAtFullWidth = 645;

class TABDW_KALENDER : public TABDW_KALENDER_FORM {
  Q_OBJECT
 public:
  explicit TABDW_KALENDER(QObject* owner = nullptr);
  ~TABDW_KALENDER() override;

  QSize OMINSIZE() const { return min_size_; }
  QSize OMAXSIZE() const { return max_size_; }

  // The size a window of design size `design` opens with for the stored size and the
  // screen (the stored size held between the design size and the maximum; the maximum
  // wins when the screen is smaller than the design).
  static QSize opening_size(QSize design, QSize stored, QSize screen);
  // The size stored for a window of `size` (a full-width window stores at most 645 high).
  static QSize stored_size(QSize size);

 public slots:
  // Stores the codes and the size (once; closing the window runs it).
  void DESTROY();
  // F1: opens "Kalender.pdf" beside the program or says it is missing.
  void HELPREQUEST();
  void OPENHANDBUCH();

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  QSize min_size_, max_size_;
  bool destroyed_ = false;
};

// Registers the window's pages under their class names (once).
void register_calendar_pages();

}  // namespace mv
