#pragma once
// The " Info " page: the program's name and version, the data folder with a button that
// chooses another, "Änderung" that moves the data there, and two link lines.
#include <QLabel>
#include <QPushButton>

#include "components/slestandard.h"
#include "components/std_windows.h"
#include "platform/gui/calendar_controls.h"

namespace Ui {
class TAB_INFO_FORM;
}

class QGridLayout;

namespace mv {

class TAB_INFO_FORM : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  explicit TAB_INFO_FORM(QWidget* owner);
  ~TAB_INFO_FORM() override;

  QLabel* FT_Z1;
  QLabel* FT_Z3;
  QPushButton* PB_ORDNER;
  SLESTANDARD* SE_ORDNER;
  QLabel* FT_HG1;
  QPushButton* PB_ANDERS;

 protected:
  Ui::TAB_INFO_FORM* form_;
  QGridLayout* links_;
};

// The addresses behind the link lines.
inline constexpr const char* kInfoWebAddress = "https://www.example.org/kalender";
inline constexpr const char* kInfoMailAddress = "mailto:kalender@example.org";

class TAB_INFO : public TAB_INFO_FORM {
  Q_OBJECT
 public:
  explicit TAB_INFO(QWidget* owner);

  gui::HYPERLINK* web_link() const { return web_; }
  gui::HYPERLINK* mail_link() const { return mail_; }

 public slots:
  void PB_ORDNER_CLICKED();
  void PB_ANDERS_CLICKED();

 private:
  gui::HYPERLINK* web_ = nullptr;
  gui::HYPERLINK* mail_ = nullptr;
};

}  // namespace mv
