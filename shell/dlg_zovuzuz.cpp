#include "shell/dlg_zovuzuz.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <algorithm>

#include "platform/gui/messagebox.h"
#include "shell/settings.h"
#include "ui_DLG_ZOVUZUZ_FORM.h"

namespace mv {
namespace {

const QString kName = QStringLiteral("NAME");
const QString kFolder = QStringLiteral("VERZEICHNIS");
const QString kNr = QStringLiteral("NR");

bool undated(const HistoryRow& row) { return row.sort_key.left(8).trimmed().isEmpty(); }

}  // namespace

void FILL_LVCOLUMN(QTreeWidget* list, const std::vector<ListColumn>& columns) {
  if (!list) return;
  QTreeWidgetItem* head = list->headerItem();
  const int first = list->property("mv_columns").toInt();
  const int avg = list->fontMetrics().averageCharWidth();
  list->setColumnCount(first + int(columns.size()));
  for (size_t i = 0; i < columns.size(); ++i) {
    const int c = first + int(i);
    const ListColumn& col = columns[i];
    head->setText(c, col.heading);
    head->setData(c, Qt::UserRole, col.name);
    head->setTextAlignment(c, col.alignment | Qt::AlignVCenter);
    list->setColumnWidth(c, col.width * avg);
    list->setColumnHidden(c, col.width == 0);
  }
  list->setProperty("mv_columns", first + int(columns.size()));
}

int list_column(const QTreeWidget* list, const QString& name) {
  if (!list) return -1;
  const int n = list->property("mv_columns").toInt();
  for (int c = 0; c < n; ++c)
    if (list->headerItem()->data(c, Qt::UserRole).toString() == name) return c;
  return -1;
}

void sort_history_rows(std::vector<HistoryRow>& rows, bool by_name) {
  if (by_name) {
    std::stable_sort(rows.begin(), rows.end(), [](const HistoryRow& a, const HistoryRow& b) {
      return QString::compare(a.name, b.name, Qt::CaseInsensitive) < 0;
    });
    return;
  }
  // A strict order: newest first; a row without a date after every dated one.
  std::stable_sort(rows.begin(), rows.end(), [](const HistoryRow& a, const HistoryRow& b) {
    const bool ua = undated(a), ub = undated(b);
    if (ua != ub) return ub;
    return a.sort_key > b.sort_key;
  });
}

QString history_folder(const QString& path, const QString& name) {
  const QString file = name + QStringLiteral(".dbf");
  if (name.isEmpty() || !path.endsWith(file, Qt::CaseInsensitive)) return {};
  return path.left(path.size() - file.size());
}

// Form

DLG_ZOVUZUZ_FORM::DLG_ZOVUZUZ_FORM(QObject* owner)
    : STD_DLGWINDOW(owner, true), form_(new Ui::DLG_ZOVUZUZ_FORM) {
  form_->setupUi(this);
  // The designer needs one column to save the list; the dialog adds its own.
  form_->LV_ZOVUZUZ->setColumnCount(0);
  bind_controls();
}

DLG_ZOVUZUZ_FORM::~DLG_ZOVUZUZ_FORM() { delete form_; }

QTreeWidget* DLG_ZOVUZUZ_FORM::LV_ZOVUZUZ() const { return form_->LV_ZOVUZUZ; }
QRadioButton* DLG_ZOVUZUZ_FORM::RB_DATUM() const { return form_->RB_DATUM; }
QRadioButton* DLG_ZOVUZUZ_FORM::RB_NAME() const { return form_->RB_NAME; }
QCheckBox* DLG_ZOVUZUZ_FORM::CHB_READONLY() const { return form_->CHB_READONLY; }
QCheckBox* DLG_ZOVUZUZ_FORM::CHB_EXCLUSIVE() const { return form_->CHB_EXCLUSIVE; }
QCheckBox* DLG_ZOVUZUZ_FORM::CHB_ANSI() const { return form_->CHB_ANSI; }
QPushButton* DLG_ZOVUZUZ_FORM::PB_OPEN_BUTTON() const { return form_->PB_OPEN; }
QPushButton* DLG_ZOVUZUZ_FORM::PB_SUCHEN_BUTTON() const { return form_->PB_SUCHEN; }
QPushButton* DLG_ZOVUZUZ_FORM::PB_ABBRUCH_BUTTON() const { return form_->PB_ABBRUCH; }
QLabel* DLG_ZOVUZUZ_FORM::FT_DATUM() const { return form_->FT_DATUM; }
QLabel* DLG_ZOVUZUZ_FORM::FT_UHRZEIT() const { return form_->FT_UHRZEIT; }
QLabel* DLG_ZOVUZUZ_FORM::FT_ANZAHL() const { return form_->FT_ANZAHL; }

// Dialog

DLG_ZOVUZUZ::DLG_ZOVUZUZ(STDSHELLWINDOW* shell) : DLG_ZOVUZUZ_FORM(shell), shell_(shell) {
  QPalette group = form_->RBG_SORT->palette();
  group.setColor(QPalette::WindowText, QColor(128, 0, 0));
  form_->RBG_SORT->setPalette(group);
  // Only the caption takes the colour; the buttons inside keep the usual text colour.
  for (QWidget* child : form_->RBG_SORT->findChildren<QWidget*>()) {
    QPalette own = child->palette();
    own.setColor(QPalette::WindowText, QApplication::palette(child).color(QPalette::WindowText));
    child->setPalette(own);
  }
  connect(form_->LV_ZOVUZUZ, &QTreeWidget::itemSelectionChanged, this, &DLG_ZOVUZUZ::LISTVIEWITEMCHANGED);
  connect(form_->LV_ZOVUZUZ, &QTreeWidget::itemClicked, this, &DLG_ZOVUZUZ::LISTBOXSELECT);
}

void DLG_ZOVUZUZ::SETUP(std::vector<HistoryRow>& rows) {
  QTreeWidget* list = form_->LV_ZOVUZUZ;
  QPalette pal = list->palette();
  pal.setColor(QPalette::Base, QColor(255, 255, 220));
  list->setPalette(pal);
  form_->CHB_EXCLUSIVE->setChecked(GLEXCLUSIVE);
  form_->CHB_READONLY->setChecked(GLREADONLY);
  form_->CHB_ANSI->setChecked(GLSETANSI);
  form_->RB_DATUM->setChecked(true);
  FILL_LVCZOVUZUZ();
  ADATEN = &rows;
  FILL_LVIZOVUZUZ();
  list->setFocus();
}

void DLG_ZOVUZUZ::FILL_LVCZOVUZUZ() {
  FILL_LVCOLUMN(form_->LV_ZOVUZUZ, {{kName, 15, QStringLiteral("Dateiname")},
                                    {kFolder, 38, QStringLiteral("Verzeichnis")},
                                    {kNr, 0, QString()}});
}

void DLG_ZOVUZUZ::FILL_LVIZOVUZUZ() {
  if (!ADATEN) return;
  std::vector<HistoryRow>& rows = *ADATEN;
  sort_history_rows(rows, form_->RB_NAME->isChecked());
  NSUCHEN = int(rows.size()) + 1;
  QTreeWidget* list = form_->LV_ZOVUZUZ;
  list->clear();
  const int name_col = list_column(list, kName);
  const int folder_col = list_column(list, kFolder);
  const int nr_col = list_column(list, kNr);
  QList<QTreeWidgetItem*> items;
  for (size_t i = 0; i < rows.size(); ++i) {
    auto* item = new QTreeWidgetItem();
    item->setText(name_col, rows[i].name);
    item->setText(folder_col, history_folder(rows[i].path, rows[i].name));
    item->setText(nr_col, QString::number(i + 1));
    items.push_back(item);
  }
  list->addTopLevelItems(items);
  if (!items.isEmpty()) list->setCurrentItem(items.first());
  SETINFODATEN();
}

int DLG_ZOVUZUZ::selected_number() const {
  const QList<QTreeWidgetItem*> sel = form_->LV_ZOVUZUZ->selectedItems();
  if (sel.isEmpty()) return 0;
  return sel.first()->text(list_column(form_->LV_ZOVUZUZ, kNr)).toInt();
}

void DLG_ZOVUZUZ::SETINFODATEN() {
  const int nr = selected_number();
  if (!ADATEN || nr < 1 || nr > int(ADATEN->size())) return;
  const QString section = (*ADATEN)[size_t(nr - 1)].path;
  auto value = [&](const char* key) {
    return GOINIHISTORY ? GOINIHISTORY->GETSTRING(section, QString::fromLatin1(key)) : QString();
  };
  form_->FT_DATUM->setText(QStringLiteral("am: ") + value("Datum"));
  form_->FT_UHRZEIT->setText(QStringLiteral("um: ") + value("Zeit"));
  form_->FT_ANZAHL->setText(value("Anzahl") + QStringLiteral("x geöffnet"));
}

void DLG_ZOVUZUZ::write_flags() {
  if (!shell_) return;
  shell_->LESHARE = !form_->CHB_EXCLUSIVE->isChecked();
  shell_->LEREADONLY = form_->CHB_READONLY->isChecked();
  shell_->LEANSI = form_->CHB_ANSI->isChecked();
}

void DLG_ZOVUZUZ::PB_OPEN() {
  write_flags();
  const int nr = selected_number();
  if (!ADATEN || nr < 1 || nr > int(ADATEN->size())) return;
  const QString path = (*ADATEN)[size_t(nr - 1)].path;
  if (!QFileInfo::exists(path)) {
    gui::info_box(this, QStringLiteral("Achtung"),
                  QStringLiteral("Die Datei ") + path + QStringLiteral("\r\n") +
                      QStringLiteral("wurde nicht mehr am Speicherort gefunden!"));
    return;
  }
  ENDDIALOG(nr);
}

void DLG_ZOVUZUZ::PB_SUCHEN() {
  write_flags();
  ENDDIALOG(NSUCHEN);
}

void DLG_ZOVUZUZ::PB_ABBRUCH() { ENDDIALOG(0); }

void DLG_ZOVUZUZ::reject() { ENDDIALOG(0); }

void DLG_ZOVUZUZ::BUTTONCLICK(QAbstractButton* control) {
  DLG_ZOVUZUZ_FORM::BUTTONCLICK(control);
  if (control == form_->RB_DATUM || control == form_->RB_NAME) FILL_LVIZOVUZUZ();
}

void DLG_ZOVUZUZ::LISTBOXSELECT() { SETINFODATEN(); }

void DLG_ZOVUZUZ::LISTVIEWITEMCHANGED() {
  if (!form_->LV_ZOVUZUZ->selectedItems().isEmpty()) SETINFODATEN();
}

int run_history_dialog(STDSHELLWINDOW* shell, std::vector<HistoryRow>& rows) {
  DLG_ZOVUZUZ dlg(shell);
  dlg.SETUP(rows);
  dlg.SHOW();
  return dlg.RESULT();
}

}  // namespace mv
