#pragma once
// The page " Struktur " of the table window. Without a table (a window opened with "Neu")
// the user designs a field list and creates the table from it; on an open table every
// accepted change of a field goes to disk at once: a pure rename in place, anything else
// by rebuilding the table beside the old files (platform/table/restructure.h). The page
// also shows the file facts of the table beside the driver's limits, switches the window's
// open flags, makes numbered backups and prints the field list.
#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

#include "components/std_windows.h"
#include "platform/base/filesystem.h"

namespace Ui {
class TAB_STRUKTUR_FORM;
}

class QAbstractButton;
class QComboBox;

namespace mv {

class STDGRIDBROWSER;
class TABDW_DBFDATEI;
namespace grid {
class GRIDARRAYSERVER;
}

class TAB_STRUKTUR_FORM : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  explicit TAB_STRUKTUR_FORM(QWidget* owner);
  ~TAB_STRUKTUR_FORM() override;
  Ui::TAB_STRUKTUR_FORM* form() const { return form_; }

 protected:
  Ui::TAB_STRUKTUR_FORM* form_;
};

class TAB_STRUKTUR : public TAB_STRUKTUR_FORM {
  Q_OBJECT
 public:
  // A column definition of the grid's array server: {name, type letter, width, decimals}.
  struct ColumnDef {
    QString name;
    char type = 'C';
    int width = 0;
    int decimals = 0;
  };

  // Asks for the path of a new table (empty: nothing chosen). The real one is the save
  // dialog; tests put their own answer in its place.
  using SaveChooser = std::function<QString(QWidget* owner)>;
  static void set_save_chooser(SaveChooser chooser);

  explicit TAB_STRUKTUR(QWidget* owner);
  ~TAB_STRUKTUR() override;

  std::vector<ColumnDef> AFELDSPALTEN;
  QVector<QVariantList> AFELDZEILEN;

  void BUTTONCLICK(QAbstractButton* control) override;

  // The file system the rename, rebuild and backup work on (the real one unless a test
  // gives another).
  void set_file_system(FileSystem* fs) { fs_ = fs; }
  TABDW_DBFDATEI* window_owner() const;
  STDGRIDBROWSER* grid() const;
  grid::GRIDARRAYSERVER* grid_server() const { return server_; }
  // The grid's current row number (1-based; 0 without rows).
  int current_nr() const;

 public slots:
  void SHOW() override;
  void FILLCAPTION();
  void FILL_BBSTRUCTUR();
  void CELLSELECT(int row);
  void SETVORGABEWERT(bool is_new);
  bool STRUKTUR_SAVETEST(const QString& action, bool name_changed);
  void LISTBOXSELECT(QComboBox* control);
  void PB_ANDERS();
  void PB_APPEND();
  void PB_INSERT();
  void PB_DELETE();
  void PB_SAVE();
  void PB_COPY();
  void GOTOP();
  void GOBOTTOM();
  void SKIPNEXT();
  void SKIPPREVIOUS();
  // On disk.
  void STRUKTUR_SAVE(bool via_text);
  QString BENENNUNGANDERS(const QString& old_name, const QString& new_name);
  void SICHERUNGSCOPY();
  // File facts, open flags, printed list.
  void SET_DETAILS();
  bool LESE_CHBANSI() const;
  void FILEREPORT(bool preview);

 private:
  FileSystem& fs() const;
  void set_mode(bool new_table);
  void go_to_row(int nr);
  bool has_table_path() const;
  QString base_name() const;  // CEDBF without its last four characters

  FileSystem* fs_ = nullptr;
  grid::GRIDARRAYSERVER* server_ = nullptr;
};

// Registers "TAB_STRUKTUR" as the page class of the " Struktur " tab.
void register_structure_page();

}  // namespace mv
