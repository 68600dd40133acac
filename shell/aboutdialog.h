#pragma once
// The about dialog "Programminfo": the program's name and icon, an OK button and two link
// rows to the program's web site and mail address. DLG_INFO is the same with the version
// line; the program has it but shows the about dialog.
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "platform/gui/windows.h"

namespace mv {

inline constexpr const char* kWebAddress = "https://molvane.example.org";
inline constexpr const char* kMailAddress = "info@molvane.example.org";

class ABOUTDIALOG : public gui::DIALOGWINDOW {
  Q_OBJECT
 public:
  explicit ABOUTDIALOG(QObject* owner, const QVariant& extra = {});

  QLabel* FT_Z1 = nullptr;          // id 100, the program's name
  QPushButton* OKBUTTON = nullptr;  // id 103, "O&K"
  QLabel* FIXEDICON1 = nullptr;     // id 105, the program icon
  QLabel* internet_link() const { return internet_; }
  QLabel* mail_link() const { return mail_; }

 public slots:
  // The link rows.
  void POSTINIT();
  void PB_OK() { ENDDIALOG(0); }

 protected:
  // `version_line` adds "Version 2.8-3.2" under the name (DLG_INFO).
  ABOUTDIALOG(QObject* owner, bool version_line);

 private:
  void build(bool version_line);
  QLabel* internet_ = nullptr;
  QLabel* mail_ = nullptr;
  QLabel* internet_caption_ = nullptr;
  QLabel* mail_caption_ = nullptr;
  QGridLayout* grid_ = nullptr;
  int link_row_ = 0;
};

class DLG_INFO : public ABOUTDIALOG {
  Q_OBJECT
 public:
  explicit DLG_INFO(QObject* owner, const QVariant& extra = {});
};

}  // namespace mv
