#pragma once
// The dialog "Optionen": two pages, " Einstellungen " (toolbar, full screen at start,
// placement of table windows, print defaults, grid font size) and " DBF-Einstellungen "
// (open defaults, ANSI mode, date epoch, default driver). "Ok" and "Übernahme" write both
// pages to the product INI and change the program-wide settings at once; any change on a
// page enables them.
#include "components/std_windows.h"
#include "platform/gui/windows.h"

namespace Ui {
class DTADLG_OPTION_FORM;
class TABOPTION_EINSTELLUNG_FORM;
class TABOPTION_PAGE2_FORM;
}  // namespace Ui

class QTabWidget;

namespace mv {

class STDSHELLWINDOW;
class TABOPTION_EINSTELLUNG;
class TABOPTION_PAGE2;

// The grid font size the edit leaves: its number held to 7..16.
unsigned clamp_font_size(const QString& text);
// The runtime's epoch for the epoch text: the number, or 1920 when it is no plausible
// year (outside 100..9999), as at start-up.
int epoch_for(const QString& text);

class TABOPTION_EINSTELLUNG_FORM : public gui::DATAWINDOW {
  Q_OBJECT
 public:
  explicit TABOPTION_EINSTELLUNG_FORM(QObject* owner);
  ~TABOPTION_EINSTELLUNG_FORM() override;

 protected:
  Ui::TABOPTION_EINSTELLUNG_FORM* form_;
};

class TABOPTION_EINSTELLUNG : public TABOPTION_EINSTELLUNG_FORM {
  Q_OBJECT
 public:
  explicit TABOPTION_EINSTELLUNG(QObject* owner);
  void POSTINIT();
  void NEU_EINSTELLUNG();
  // Holds the typed font size to 7..16 and hands it to the spinner.
  void font_edit_left();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void changed();
};

class TABOPTION_PAGE2_FORM : public gui::DATAWINDOW {
  Q_OBJECT
 public:
  explicit TABOPTION_PAGE2_FORM(QObject* owner);
  ~TABOPTION_PAGE2_FORM() override;

 protected:
  Ui::TABOPTION_PAGE2_FORM* form_;
};

class TABOPTION_PAGE2 : public TABOPTION_PAGE2_FORM {
  Q_OBJECT
 public:
  explicit TABOPTION_PAGE2(QObject* owner);
  void POSTINIT();
  void NEU_EINSTELLUNG();

 private:
  void changed();
};

class DTADLG_OPTION_FORM : public STD_DLGWINDOW {
  Q_OBJECT
 public:
  explicit DTADLG_OPTION_FORM(QObject* owner);
  ~DTADLG_OPTION_FORM() override;
  QTabWidget* TABOPTION() const;

 protected:
  Ui::DTADLG_OPTION_FORM* form_;
};

class DTADLG_OPTION : public DTADLG_OPTION_FORM {
  Q_OBJECT
 public:
  explicit DTADLG_OPTION(STDSHELLWINDOW* shell);

  TABOPTION_EINSTELLUNG* page1() const { return page1_; }
  TABOPTION_PAGE2* page2() const { return page2_; }

 public slots:
  void OK_EIN();
  void OK_AUS();
  void PB_OK();
  void PB_UEBERNAHME();
  void PB_ABBRUCH();
  void PB_HILFE();

 private:
  void save();
  STDSHELLWINDOW* shell_ = nullptr;
  TABOPTION_EINSTELLUNG* page1_ = nullptr;
  TABOPTION_PAGE2* page2_ = nullptr;
};

// The dialog as the shell's options hook: created with the shell as owner, shown modally.
void run_options_dialog(STDSHELLWINDOW* shell);

}  // namespace mv
