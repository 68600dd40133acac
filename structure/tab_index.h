#pragma once
// The page " Index " of the table window: the window's index list AINDEX in a grid, a name
// and key expression to edit, a key builder from the field names, and the buttons that
// append, insert, change and delete the orders of a bag (each change rebuilds the bag) or,
// for "DBFNTX", create, open and close single index files. "Index aktualisieren" rebuilds
// every index file under a progress window that can be stopped. Every rebuild writes the
// new files beside the table and swaps them in only when complete.
#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>
#include <vector>

#include "components/std_windows.h"

namespace Ui {
class TAB_INDEX_FORM;
}

class QFileDialog;

namespace mv {

class DLGPROGRESS;
class STDGRIDBROWSER;
class TABDW_DBFDATEI;
class TableGridServer;
class OrderList;
namespace grid {
class GRIDARRAYSERVER;
}

// Runs the page's file dialogs (save as a new ".NTX", open an ".NTX") and answers the chosen
// file ("" when cancelled). Tests put their own in.
using IndexFileDialogRunner = std::function<QString(QFileDialog&)>;
void set_index_file_dialog_runner(IndexFileDialogRunner runner);
// Told on every step the rebuild's progress window takes (tests press its cancel button).
using IndexProgressHook = std::function<void(DLGPROGRESS& window, uint32_t step)>;
void set_index_progress_hook(IndexProgressHook hook);

class TAB_INDEX_FORM : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  explicit TAB_INDEX_FORM(QWidget* owner);
  ~TAB_INDEX_FORM() override;
  Ui::TAB_INDEX_FORM* form() const { return form_; }

 protected:
  Ui::TAB_INDEX_FORM* form_;
};

class TAB_INDEX : public TAB_INDEX_FORM {
  Q_OBJECT
 public:
  // A column of the grid's array server: {name, type letter, length, decimals}.
  struct ColumnDef {
    QString name;
    char type = 'C';
    int length = 0;
    int decimals = 0;
  };

  explicit TAB_INDEX(QWidget* owner);
  ~TAB_INDEX() override;

  std::vector<ColumnDef> ABBSTRUKTUR;
  QVector<QVariantList> ABBINDEX;

  TABDW_DBFDATEI* window_owner() const;
  STDGRIDBROWSER* grid() const;
  grid::GRIDARRAYSERVER* grid_server() const { return server_; }
  // The grid's current row, 1-based (0 without rows).
  int current_row() const;

 public slots:
  void SHOW() override;
  void FILL_BBINDEX();
  void CELLSELECT();
  void FILLCB_FELDNAME();
  void GOTOP();
  void GOBOTTOM();
  void SKIPNEXT();
  void SKIPPREVIOUS();
  void PB_ADD();
  void PB_APPEND();
  void PB_INSERT();
  void PB_DELETE();
  void PB_ANDERS();
  void PB_SAVE();
  void INDEX_APPEND();
  void INDEX_INSERT();
  void INDEX_DELETE(const QString& action);
  bool INDEX_SAVETEST(const QString& action, bool check_name);
  void INDEX_SAVE();
  void INDEX_SAVENTX();
  void INDEX_NEU();
  void INDEX_OPEN();
  void INDEX_CLOSE();
  void FILEREPORT(bool preview);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool ntx() const;
  TableGridServer* table_server() const;
  OrderList* order_list() const;
  // SETINDEX of every row's file in list order; a file that cannot be opened is said and
  // left out.
  void set_index_files();
  void open_index_file(const QString& file);
  QString run_file_dialog(QFileDialog& dialog);
  void go_to_row(int n);

  grid::GRIDARRAYSERVER* server_ = nullptr;
  bool filled_ = false;
};

// Registers "TAB_INDEX" as the page class of the " Index " tab.
void register_index_page();

}  // namespace mv
