#include "tablewindow/dlg_copy.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStyle>

#include "components/dlgprogress.h"
#include "components/strings.h"
#include "platform/gui/messagebox.h"
#include "platform/table/table.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow/tableserver.h"
#include "ui_DLG_COPY_FORM.h"

namespace mv {
namespace {

const QString kAchtung = QStringLiteral("Achtung");

FileDialogRunner& runner() {
  static FileDialogRunner r;
  return r;
}

QString run_file_dialog(QFileDialog& dlg) {
  if (runner()) return runner()(dlg);
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
  return dlg.selectedFiles().first();
}

// The file `name` in `folder` whatever the case of its letters, else "".
QString existing_in_any_case(const QString& folder, const QString& name) {
  const QDir dir(folder);
  if (QFileInfo::exists(dir.filePath(name))) return dir.filePath(name);
  for (const QString& e : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
    if (e.compare(name, Qt::CaseInsensitive) == 0) return dir.filePath(e);
  return {};
}

QString table_folder(const QString& path) { return QFileInfo(path).absolutePath(); }

// The status of a failed run, after an empty line.
QString status_lines(const Status& st) { return QStringLiteral("\r\n\r\n") + QString::fromStdString(st.message()); }

// The progress window of one run: it cannot be cancelled; the step count is the
// records or lines taken so far.
class RunProgress {
 public:
  RunProgress(const QString& caption, uint32_t steps, const QString& text) {
    p_.setWindowTitle(caption);
    p_.CANCEL(false);
    p_.COUNT(steps);
    p_.SHOW();
    p_.UPDATETEXT(text);
  }
  ~RunProgress() { p_.ENDDIALOG(); }
  std::function<bool(Table&)> callback() {
    return [this](Table&) { return p_.UPDATEBAR(++count_); };
  }

 private:
  DLGPROGRESS p_;
  uint32_t count_ = 0;
};

}  // namespace

void set_copy_file_dialog_runner(FileDialogRunner r) { runner() = std::move(r); }

// ---------------------------------------------------------------- form

DLG_COPY_FORM::DLG_COPY_FORM(QObject* owner, const QVariant&) : gui::DIALOGWINDOW(owner), form_(new Ui::DLG_COPY_FORM) {
  form_->setupUi(this);
  setObjectName(QStringLiteral("Dlg_Copy_form"));
  form_->SE_BEGRENZER->MASKE(QString());
  form_->FT_BEGRENZER->hide();
  form_->SE_BEGRENZER->hide();
  form_->PB_SUCHE->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  connect(form_->CB_FUNKTION, qOverload<int>(&QComboBox::activated), this,
          [this] { LISTBOXSELECT(form_->CB_FUNKTION); });
  bind_controls();
}

DLG_COPY_FORM::~DLG_COPY_FORM() { delete form_; }

QString DLG_COPY_FORM::mode_extension() const { return form_->CB_FUNKTION->currentData().toString().left(3); }
int DLG_COPY_FORM::mode_digit() const { return form_->CB_FUNKTION->currentData().toString().right(1).toInt(); }

std::optional<char> DLG_COPY_FORM::delimiter() const {
  const QString d = form_->SE_BEGRENZER->text();
  if (d.isEmpty() || d == QLatin1String(" ") || d[0].unicode() > 0x7F) return std::nullopt;
  return char(d[0].unicode());
}

void DLG_COPY_FORM::LISTBOXSELECT(QComboBox* control) {
  if (control == form_->CB_FUNKTION) follow_mode();
}

void DLG_COPY_FORM::follow_mode() {
  const bool delimited = form_->CB_FUNKTION->currentData().toString().endsWith(QLatin1Char('3'));
  form_->FT_BEGRENZER->setVisible(delimited);
  form_->SE_BEGRENZER->setVisible(delimited);
}

// ---------------------------------------------------------------- copy

void DLG_COPY::SETUP(QObject* server, const QString& path, const QVariant& all) {
  QComboBox* cb = form_->CB_FUNKTION;
  cb->clear();
  cb->addItem(QStringLiteral("CopyDB"), QStringLiteral("dbf1"));
  cb->addItem(QStringLiteral("CopySDF"), QStringLiteral("txt2"));
  cb->addItem(QStringLiteral("CopyDelimited"), QStringLiteral("txt3"));
  cb->addItem(QStringLiteral("CopyStucture"), QStringLiteral("dbf4"));
  cb->setCurrentIndex(0);
  server_ = qobject_cast<TableGridServer*>(server);
  path_ = path;
  if (server_ && all.typeId() == QMetaType::Bool && all.toBool()) server_->table()->go_top().ignore();
  form_->SE_QUELLDATEI->setText(path);
  QString folder = table_folder(path);
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  form_->SE_ZIELDATEI->setText(folder + QFileInfo(path).completeBaseName() + QStringLiteral("_Copy"));
}

QString DLG_COPY::TESTDATEINAME(const QString& name) {
  QString drive, dir, base, ext;
  MYSPLITPATH(name, drive, dir, base, ext);
  const QString e = mode_extension();
  QString msg;
  if (base.isEmpty()) msg = QStringLiteral("Es wurde kein Dateiname erfasst!");
  if (!ext.isEmpty() && ext.mid(1) != e)
    msg = QStringLiteral("Fehlerhafte Dateiendung!\r\nDie Dateiendung ") + e + QStringLiteral(" wird automatisch gesetzt.");
  const QString folder = drive + dir;
  if (!folder.isEmpty() && !QFileInfo(folder).isDir())
    msg = QStringLiteral("Das Verzeichnis\r\n") + folder + QStringLiteral("\r\nexistiert nicht!");
  if (msg.isEmpty() &&
      !existing_in_any_case(folder.isEmpty() ? table_folder(path_) : folder, base + QLatin1Char('.') + e).isEmpty())
    return QStringLiteral("FOUND");
  return msg;
}

QString DLG_COPY::target_of(const QString& typed) const {
  QString drive, dir, base, ext;
  MYSPLITPATH(typed, drive, dir, base, ext);
  const QString folder = (drive + dir).isEmpty() ? table_folder(path_) : drive + dir;
  const QString file = base + (ext.isEmpty() ? QLatin1Char('.') + mode_extension() : ext);
  const QString found = existing_in_any_case(folder, file);
  return found.isEmpty() ? QDir(folder).filePath(file) : found;
}

void DLG_COPY::LISTBOXSELECT(QComboBox* control) {
  if (control == form_->CB_FUNKTION) follow_mode();
}

void DLG_COPY::PB_SUCHE() {
  QFileDialog dlg(this, QStringLiteral("Speichern unter"));
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setDirectory(table_folder(path_));
  dlg.selectFile(QStringLiteral("*.") + mode_extension());
  const QString f = run_file_dialog(dlg);
  if (!f.isEmpty()) form_->SE_ZIELDATEI->setText(f);
}

void DLG_COPY::PB_OK() {
  if (!server_ || !server_->USED()) return;
  const int d = mode_digit();
  const QString t = form_->SE_ZIELDATEI->text().trimmed();
  const QString r = TESTDATEINAME(t);
  if (!r.isEmpty() && r != QLatin1String("FOUND")) {
    gui::warning_box(this, kAchtung, r);
    return;
  }
  if (r == QLatin1String("FOUND") &&
      !gui::yes_no_box(this, kAchtung,
                       QStringLiteral("Die Datei: ") + t + QStringLiteral("\r\nexistiert bereits!\r\n\r\nSoll diese Datei überschrieben werden?")))
    return;
  Table* tab = server_->table();
  const std::string target = target_of(t).toStdString();
  Status st;
  if (d == 4) {
    st = tab->copy_structure(target);
  } else {
    RunProgress progress(QStringLiteral("Kopie..."), tab->lastrec(),
                         QStringLiteral("Kopie ") + QFileInfo(path_).completeBaseName());
    TransferOptions opt;
    opt.while_condition = progress.callback();
    if (d == 1) st = tab->copy_db(target, opt);
    else if (d == 2) st = tab->copy_sdf(target, opt);
    else st = tab->copy_delimited(target, delimiter(), opt);
  }
  if (st && (d == 1 || d == 4)) {
    // The table written over had a production bag: it indexes the old records and would be
    // opened with the new table as its own, so it goes once the new files are complete.
    for (const char* ext : {".cdx", ".mdx"})
      if (auto bag = find_companion(tab->fs(), target, ext)) {
        st = tab->fs().remove(*bag);
        if (!st) break;
      }
  }
  if (st) {
    gui::info_box(this, QStringLiteral("Info"),
                  QStringLiteral("Die Datei ") + t + QStringLiteral("\r\nkonnte erfolgreich erstellt werden!"));
    ENDDIALOG(1);
  } else {
    gui::warning_box(this, kAchtung,
                     QStringLiteral("Die Datei ") + t + QStringLiteral("\r\nkonnte nicht erstellt werden!") + status_lines(st));
  }
}

void DLG_COPY::PB_ABBRUCH() { ENDDIALOG(0); }

// ---------------------------------------------------------------- append

void DLG_APPEND::SETUP(QObject* server, const QString& path) {
  server_ = qobject_cast<TableGridServer*>(server);
  path_ = path;
  set_caption(QStringLiteral("Datei Anfügen"));
  form_->FT_QUELLDATEI->setText(QStringLiteral("Zieldatei"));
  form_->FT_ZIELDATEI->setText(QStringLiteral("Quelldatei"));
  form_->SE_QUELLDATEI->setText(path);
  QComboBox* cb = form_->CB_FUNKTION;
  cb->clear();
  cb->addItem(QStringLiteral("AppendDB"), QStringLiteral("dbf1"));
  cb->addItem(QStringLiteral("AppendSDF"), QStringLiteral("txt2"));
  cb->addItem(QStringLiteral("AppendDelimited"), QStringLiteral("txt3"));
  cb->setCurrentIndex(0);
}

void DLG_APPEND::LISTBOXSELECT(QComboBox* control) {
  if (control == form_->CB_FUNKTION) follow_mode();
}

void DLG_APPEND::PB_SUCHE() {
  QFileDialog dlg(this, QStringLiteral("Öffnen"));
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setDirectory(table_folder(path_));
  dlg.selectFile(QStringLiteral("*.") + mode_extension());
  const QString f = run_file_dialog(dlg);
  if (!f.isEmpty()) form_->SE_ZIELDATEI->setText(f);
}

void DLG_APPEND::PB_OK() {
  if (!server_ || !server_->USED()) return;
  const uint32_t keep = server_->RECNO();
  const int d = mode_digit();
  const QString s = form_->SE_ZIELDATEI->text().trimmed();
  QString drive, dir, base, ext;
  MYSPLITPATH(s, drive, dir, base, ext);
  const QString folder = (drive + dir).isEmpty() ? table_folder(path_) : drive + dir;
  QString source = base.isEmpty() ? QString() : QDir(folder).filePath(base + ext);
  if (!source.isEmpty() && !QFileInfo(source).isFile() && ext.isEmpty() && d == 1)
    source += QStringLiteral(".dbf");  // the table layer's default for a table source
  Table* tab = server_->table();
  QString msg;
  Status st;
  if (source.isEmpty() || !QFileInfo(source).isFile()) {
    msg = QStringLiteral("Die Datei: ") + s + QStringLiteral("\r\nexistiert nicht!");
  } else if (QFileInfo(source).canonicalFilePath() == QFileInfo(path_).canonicalFilePath()) {
    msg = QStringLiteral("Die Datei: ") + s + QStringLiteral("\r\nist die geöffnete Tabelle und kann nicht an sich selbst angefügt werden!");
  } else {
    uint32_t steps = 0;
    if (d == 1) {
      OpenOptions o = OpenOptions::defaults();
      o.read_only = true;
      o.fs = &tab->fs();
      auto src = Table::open(source.toStdString(), o);
      if (!src) msg = QStringLiteral("Datei kann nicht geöffnet werden!") + status_lines(src.status());
      else {
        steps = (*src)->lastrec();
        (*src)->close().ignore();
      }
    } else {
      QFile f(source);
      if (!f.open(QIODevice::ReadOnly)) {
        msg = f.errorString();
      } else {
        const qint64 most = 2 * qint64(tab->record_length()) + 1;
        while (!f.atEnd()) {
          if (f.readLine(most).isEmpty()) break;
          ++steps;
        }
      }
    }
    if (msg.isEmpty()) {
      RunProgress progress(QStringLiteral("Anfügen..."), steps,
                           QStringLiteral("Anfügen an ") + QFileInfo(path_).completeBaseName());
      TransferOptions opt;
      opt.while_condition = progress.callback();
      const std::string src = source.toStdString();
      if (d == 1) st = tab->append_db(src, opt);
      else if (d == 2) st = tab->append_sdf(src, opt);
      else st = tab->append_delimited(src, delimiter(), opt);
      if (st) st = tab->commit();
      // The rows are taken again (there may be more now), on the record current before.
      server_->refresh();
      if (keep > 0) server_->GOTO(keep);
    }
  }
  if (!msg.isEmpty()) {
    gui::warning_box(this, kAchtung, msg);
  } else if (st) {
    gui::info_box(this, QStringLiteral("Info"), QStringLiteral("Die Datei ") + s + QStringLiteral("\r\nwurde erfolgreich angefügt!"));
    ENDDIALOG(1);
  } else {
    gui::warning_box(this, kAchtung,
                     QStringLiteral("Die Datei ") + s + QStringLiteral("\r\nkonnte nicht angefügt werden!") + status_lines(st));
  }
}

void DLG_APPEND::PB_ABBRUCH() { ENDDIALOG(0); }

// ---------------------------------------------------------------- the data page's commands

void TAB_DBFDATEN::FILECOPY() {
  if (!need_table()) return;
  const bool all = LESE_RBALLE();
  const uint32_t keep = server()->RECNO();
  TABDW_DBFDATEI* w = window_owner();
  DLG_COPY dlg(this);
  dlg.SETUP(server(), w ? w->CEDBF : QString::fromStdString(server()->table()->path()), all);
  dlg.SHOW();
  if (server()) server()->GOTO(keep);
  CELLSELECT();
}

void TAB_DBFDATEN::FILEAPPEND() {
  if (!need_table() || refuse_read_only()) return;
  const uint32_t keep = server()->RECNO();
  TABDW_DBFDATEI* w = window_owner();
  DLG_APPEND dlg(this);
  dlg.SETUP(server(), w ? w->CEDBF : QString::fromStdString(server()->table()->path()));
  dlg.SHOW();
  if (server()) server()->GOTO(keep);
  CELLSELECT();
}

}  // namespace mv
