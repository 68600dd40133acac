#pragma once
// The copy and append dialogs of the data page: the open table copied into a new table,
// an SDF or a delimited text file or its structure alone; records of such files appended
// to the open table. Both run on one form and move records through the table layer.
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

#include "platform/gui/windows.h"

namespace Ui {
class DLG_COPY_FORM;
}

class QComboBox;
class QFileDialog;

namespace mv {

class TableGridServer;

// Runs a file dialog and answers the chosen file ("" when none). Tests put their own in.
using FileDialogRunner = std::function<QString(QFileDialog&)>;
void set_copy_file_dialog_runner(FileDialogRunner runner);

class DLG_COPY_FORM : public gui::DIALOGWINDOW {
  Q_OBJECT
 public:
  explicit DLG_COPY_FORM(QObject* owner = nullptr, const QVariant& extra = {});
  ~DLG_COPY_FORM() override;
  Ui::DLG_COPY_FORM* form() const { return form_; }

 public slots:
  // A selection in the mode list: the delimiter row follows the mode.
  virtual void LISTBOXSELECT(QComboBox* control);

 protected:
  // The mode's extension ("dbf", "txt") and digit of the selected item.
  QString mode_extension() const;
  int mode_digit() const;
  // The delimiter typed, nothing when it is empty or a blank.
  std::optional<char> delimiter() const;
  // Shows the delimiter row only for a delimited mode.
  void follow_mode();
  Ui::DLG_COPY_FORM* form_;
};

class DLG_COPY : public DLG_COPY_FORM {
  Q_OBJECT
 public:
  using DLG_COPY_FORM::DLG_COPY_FORM;

 public slots:
  void SETUP(QObject* server, const QString& path, const QVariant& all);
  // "" acceptable and new, "FOUND" acceptable and existing, else the message to show.
  QString TESTDATEINAME(const QString& name);
  void LISTBOXSELECT(QComboBox* control) override;
  void PB_SUCHE();
  void PB_OK();
  void PB_ABBRUCH();

 private:
  // The typed name completed: the table's folder when it has none, the mode's extension
  // when it has none, and the name an existing file has in another case.
  QString target_of(const QString& typed) const;
  QPointer<TableGridServer> server_;
  QString path_;
};

class DLG_APPEND : public DLG_COPY_FORM {
  Q_OBJECT
 public:
  using DLG_COPY_FORM::DLG_COPY_FORM;

 public slots:
  void SETUP(QObject* server, const QString& path);
  void LISTBOXSELECT(QComboBox* control) override;
  void PB_SUCHE();
  void PB_OK();
  void PB_ABBRUCH();

 private:
  QPointer<TableGridServer> server_;
  QString path_;
};

}  // namespace mv
