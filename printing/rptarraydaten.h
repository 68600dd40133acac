#pragma once
// The array list: a list handed over as rows of texts with column definitions, printed
// portrait with a title, the date, on page 1 two lines of facts about the table, a
// heading row and one line per row; frames and grey shading by the list options. The
// field list and the index list of a table are printed with it.
#include <QStringList>
#include <vector>

#include "printing/list_options.h"
#include "printing/rptstandard.h"

namespace mv {

struct ArrayColumn {
  QString heading;
  double width = 0;  // average character widths of the list font
  int align = 0;     // 0 left, 2 right
};

// What page 1 says about the table.
struct ListedTable {
  uint32_t lastrec = 0;
  uint32_t recsize = 0;
  QString driver;
  QString index_ext;
};

class RPTARRAYDATEN : public RPTSTANDARD {
 public:
  // Stores the list and reads its options; run() then runs the job.
  RPTARRAYDATEN(std::vector<ArrayColumn> columns, std::vector<QStringList> rows, const QString& title,
                const QString& section, const ListSettings& ini, const ListedTable& table);
  // Creating the list runs the whole job (the preview or the print).
  static void print(QWidget* owner, bool preview, std::vector<ArrayColumn> columns, std::vector<QStringList> rows,
                    const QString& title, const QString& section, const ListSettings& ini, const ListedTable& table);
  void run(QWidget* owner, bool preview) { INIT(owner, preview, LEQUER); }

  std::vector<ArrayColumn> AESPALTEN;
  std::vector<QStringList> AEZEILEN;
  size_t NEZEILENR = 1;
  int NESCHRIFT = 10;
  QString CETITEL;
  ListedTable OESERVER;

  int PRINTSTART(report::PRINTERDEVICE& device) override;
  int PRINTPAGEHEADER(report::PRINTERDEVICE& device, bool draw) override;
  int PRINTPAGEBODY(report::PRINTERDEVICE& device, bool draw) override;
  int PRINTEND(report::PRINTERDEVICE& device) override;

  static const QColor kGrey;

 protected:
  void rewind() override { NEZEILENR = 1; }
  bool rows_remain() const override { return NEZEILENR <= AEZEILEN.size(); }
  std::vector<int64_t> position() const override { return {int64_t(NEZEILENR)}; }
  void position_at(const std::vector<int64_t>& e) override { NEZEILENR = e.empty() ? 1 : size_t(e[0]); }
  std::pair<uint64_t, uint64_t> progress() const override { return {NEZEILENR - 1, AEZEILEN.size()}; }
};

// Today in the program's date format.
QString list_date_text();

}  // namespace mv
