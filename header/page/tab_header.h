#pragma once
// The page " Header " of the table window: the table file's header decoded and in hex,
// its field descriptors as text or hex, raw views of the table's files, numbered backup
// copies, and the tests and byte-wise repairs of header and descriptors. The page reads
// and writes the file itself (header/header_file.h), beside the table layer, so it also
// shows a table that cannot be opened.
#include <QString>
#include <vector>

#include "components/std_windows.h"
#include "header/header_file.h"
#include "platform/base/codepage.h"

namespace Ui {
class TAB_HEADER_FORM;
}

class QAbstractButton;
class QComboBox;

namespace mv {

class STDGRIDBROWSER;
class TABDW_DBFDATEI;
class RawRowsServer;
namespace grid {
class GRIDARRAYSERVER;
}

class TAB_HEADER_FORM : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  explicit TAB_HEADER_FORM(QWidget* owner);
  ~TAB_HEADER_FORM() override;
  Ui::TAB_HEADER_FORM* form() const { return form_; }

 protected:
  Ui::TAB_HEADER_FORM* form_;
};

class TAB_HEADER : public TAB_HEADER_FORM {
  Q_OBJECT
 public:
  // A grid column definition: {name, type letter, width in characters, decimals}.
  struct ColumnDef {
    QString name;
    char type = 'C';
    int width = 0;
    int decimals = 0;
  };

  explicit TAB_HEADER(QWidget* owner);
  ~TAB_HEADER() override;

  std::vector<ColumnDef> ASTRUCTURSPALTEN;
  std::vector<ColumnDef> ADATENSPALTEN;
  // The descriptors as the last FILL_BBSTRUCTUR read them; the tests use this list.
  std::vector<header::DescriptorRow> AHEADERSTRUCTUR;

  void BUTTONCLICK(QAbstractButton* control) override;

  // The file system the page works on (the real one unless a test gives another).
  void set_file_system(FileSystem* fs) { fs_ = fs; }
  TABDW_DBFDATEI* window_owner() const;
  STDGRIDBROWSER* structure_grid() const;
  STDGRIDBROWSER* data_grid() const;
  // The rows of the descriptor grid as shown (first column the number).
  grid::GRIDARRAYSERVER* structure_server() const { return structure_server_; }
  RawRowsServer* data_server() const { return data_server_; }

 public slots:
  void SHOW() override;
  void FILL_HEADER();
  void FILL_BBSTRUCTUR();
  void SETVORGABEWERT(bool is_new);
  void CELLSELECT(int row);
  void LISTBOXSELECT(QComboBox* control);
  void FILLCB_BYTE0();
  void SET_DRIVER();
  // Raw views and backups.
  void FILL_CBDATEI();
  void SET_DETAILSDATEI();
  void FILL_BBDATEN(bool keep = false);
  void FILL_BBDATENDBF(bool keep = false);
  void FILL_BBDATENMEMO(bool keep = false);
  void FILL_BBDATENINDEX(bool keep = false);
  void GOTOP();
  void GOBOTTOM();
  void SKIPNEXT();
  void SKIPPREVIOUS();
  void PB_COPY();
  void SICHERUNGSCOPY();
  // Tests and repair.
  void TESTHEADER();
  void PB_TESTHEADER();
  void TESTSTRUCTUR();
  void PB_TESTSTRUCTUR();
  void PB_ANDERSHEADER();
  void PB_ANDERSSTRUKTUR();

 private:
  bool hex_mode() const;
  FileSystem& fs() const;
  CodePage code_page() const;
  QString table_path() const;
  QString base_path() const;  // CEDRIVE + CEDIR + CEFILE
  void fill_blocks(bool keep);
  void bind_data(const header::RawLayout& layout, bool records, bool keep);
  int column_pixels(int chars) const;

  FileSystem* fs_ = nullptr;
  grid::GRIDARRAYSERVER* structure_server_ = nullptr;
  RawRowsServer* data_server_ = nullptr;
  bool byte0_picked_ = false;
};

// Registers "TAB_HEADER" as the page class of the " Header " tab.
void register_header_page();

}  // namespace mv
