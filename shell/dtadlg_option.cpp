#include "shell/dtadlg_option.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabWidget>
#include <algorithm>

#include "components/slestandard.h"
#include "components/tabstandard.h"
#include "platform/runtime/date.h"
#include "platform/table/modes.h"
#include "shell/pictures.h"
#include "shell/settings.h"
#include "shell/shellwindow.h"
#include "ui_DTADLG_OPTION_FORM.h"
#include "ui_TABOPTION_EINSTELLUNG_FORM.h"
#include "ui_TABOPTION_PAGE2_FORM.h"

namespace mv {
namespace {

const QString kSetup = QStringLiteral("Setup");
const QString kRuntime = QStringLiteral("Runtime");
const QString kDigits = QStringLiteral("0123456789");

QString ja_nein(const QCheckBox* box) { return box->isChecked() ? QStringLiteral("Ja") : QStringLiteral("Nein"); }

bool stored_ja(const QString& section, const QString& key) {
  return GOINI && GOINI->GETSTRINGUPPER(section, key) == QLatin1String("JA");
}

void write(const QString& section, const QString& key, const QString& value) {
  if (GOINI) GOINI->WRITESTRING(section, key, value);
}

// The placement buttons in the order of their values 0..3.
std::vector<QRadioButton*> placement_buttons(Ui::TABOPTION_EINSTELLUNG_FORM* f) {
  return {f->RB_MIN, f->RB_MITTEL, f->RB_MAXMIT, f->RB_MAXOHNE};
}

struct DriverButton {
  QRadioButton* button;
  const char* driver;
};
std::vector<DriverButton> driver_buttons(Ui::TABOPTION_PAGE2_FORM* f) {
  return {{f->RB_CDX, "DBFCDX"}, {f->RB_CDX2, "_DBFCDX"}, {f->RB_MDX, "DBFMDX"}, {f->RB_NTX, "DBFNTX"}};
}

void on_change_of_boxes(QWidget* page, const std::function<void()>& changed) {
  for (QAbstractButton* b : page->findChildren<QAbstractButton*>())
    QObject::connect(b, &QAbstractButton::clicked, page, [changed] { changed(); });
}

}  // namespace

unsigned clamp_font_size(const QString& text) {
  return std::clamp(leading_number(text), 7u, 16u);
}

int epoch_for(const QString& text) {
  const unsigned n = leading_number(text);
  return n >= 100 && n <= 9999 ? int(n) : kDefaultEpoch;
}

// First page

TABOPTION_EINSTELLUNG_FORM::TABOPTION_EINSTELLUNG_FORM(QObject* owner)
    : gui::DATAWINDOW(owner), form_(new Ui::TABOPTION_EINSTELLUNG_FORM) {
  form_->setupUi(this);
  bind_controls();
}

TABOPTION_EINSTELLUNG_FORM::~TABOPTION_EINSTELLUNG_FORM() { delete form_; }

TABOPTION_EINSTELLUNG::TABOPTION_EINSTELLUNG(QObject* owner) : TABOPTION_EINSTELLUNG_FORM(owner) {
  form_->SE_FONTBROWSER->MASKE(kDigits);
  QPalette group = form_->RBG_FENSTER->palette();
  group.setColor(QPalette::WindowText, QColor(128, 0, 0));
  form_->RBG_FENSTER->setPalette(group);
  // Only the caption takes the colour; the buttons inside keep the usual text colour.
  for (QWidget* child : form_->RBG_FENSTER->findChildren<QWidget*>()) {
    QPalette own = child->palette();
    own.setColor(QPalette::WindowText, QApplication::palette(child).color(QPalette::WindowText));
    child->setPalette(own);
  }
  POSTINIT();
  on_change_of_boxes(this, [this] { changed(); });
  form_->SE_FONTBROWSER->installEventFilter(this);
  connect(form_->VS_FONTBROWSER, &QScrollBar::valueChanged, this, [this](int v) {
    form_->SE_FONTBROWSER->setText(QString::number(v));
    changed();
  });
}

void TABOPTION_EINSTELLUNG::POSTINIT() {
  form_->CHB_VOLLBILD->setChecked(stored_ja(kSetup, QStringLiteral("Maximized")));
  form_->CHB_TOOLBARICON->setChecked(stored_ja(kSetup, QStringLiteral("ToolBarIcon")));
  form_->CHB_TOOLBARTEXT->setChecked(stored_ja(kSetup, QStringLiteral("ToolBarText")));
  form_->CHB_GITTER->setChecked(stored_ja(kRuntime, QStringLiteral("Gitter")));
  form_->CHB_ZEILEGRAU->setChecked(
      !(GOINI && GOINI->GETSTRINGUPPER(kRuntime, QStringLiteral("ZeileGrau")) == QLatin1String("NEIN")));
  form_->CHB_SPALTEGRAU->setChecked(stored_ja(kRuntime, QStringLiteral("SpalteGrau")));
  const auto buttons = placement_buttons(form_);
  buttons[GNMAXIMIZEDWIN >= 1 && GNMAXIMIZEDWIN <= 3 ? GNMAXIMIZEDWIN : 0]->setChecked(true);
  form_->SE_FONTBROWSER->setText(QString::number(GNFONTBROWSER));
  const QSignalBlocker quiet(form_->VS_FONTBROWSER);
  form_->VS_FONTBROWSER->setValue(int(GNFONTBROWSER));
}

void TABOPTION_EINSTELLUNG::changed() {
  if (auto* dlg = qobject_cast<DTADLG_OPTION*>(owner())) dlg->OK_EIN();
}

bool TABOPTION_EINSTELLUNG::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_->SE_FONTBROWSER && event->type() == QEvent::FocusOut) font_edit_left();
  return TABOPTION_EINSTELLUNG_FORM::eventFilter(watched, event);
}

void TABOPTION_EINSTELLUNG::font_edit_left() {
  const unsigned n = clamp_font_size(form_->SE_FONTBROWSER->text());
  form_->SE_FONTBROWSER->setText(QString::number(n));
  {
    const QSignalBlocker quiet(form_->VS_FONTBROWSER);
    form_->VS_FONTBROWSER->setValue(int(n));
  }
  changed();
}

void TABOPTION_EINSTELLUNG::NEU_EINSTELLUNG() {
  write(kSetup, QStringLiteral("Maximized"), ja_nein(form_->CHB_VOLLBILD));
  if (form_->CHB_TOOLBARICON->isChecked()) {
    GLTOOLBAR = true;
    GNTOOLBARSTYLE = 1;
  } else {
    GLTOOLBAR = false;
    GNTOOLBARSTYLE = 0;
  }
  write(kSetup, QStringLiteral("ToolBarIcon"), ja_nein(form_->CHB_TOOLBARICON));
  if (form_->CHB_TOOLBARTEXT->isChecked()) {
    GLTOOLBAR = true;
    if (GNTOOLBARSTYLE == 1) GNTOOLBARSTYLE = 2;
  }
  write(kSetup, QStringLiteral("ToolBarText"), ja_nein(form_->CHB_TOOLBARTEXT));
  const auto buttons = placement_buttons(form_);
  for (unsigned i = 0; i < buttons.size(); ++i) {
    if (!buttons[i]->isChecked()) continue;
    GNMAXIMIZEDWIN = i;
    write(kSetup, QStringLiteral("MaximizedWin"), QString::number(i));
  }
  // A size typed and saved without leaving the edit is held to the same range.
  GNFONTBROWSER = clamp_font_size(form_->SE_FONTBROWSER->text());
  form_->SE_FONTBROWSER->setText(QString::number(GNFONTBROWSER));
  write(kSetup, QStringLiteral("FontBrowser"), QString::number(GNFONTBROWSER));
  write(kRuntime, QStringLiteral("Gitter"), ja_nein(form_->CHB_GITTER));
  write(kRuntime, QStringLiteral("ZeileGrau"), ja_nein(form_->CHB_ZEILEGRAU));
  write(kRuntime, QStringLiteral("SpalteGrau"), ja_nein(form_->CHB_SPALTEGRAU));
}

// Second page

TABOPTION_PAGE2_FORM::TABOPTION_PAGE2_FORM(QObject* owner)
    : gui::DATAWINDOW(owner), form_(new Ui::TABOPTION_PAGE2_FORM) {
  form_->setupUi(this);
  bind_controls();
}

TABOPTION_PAGE2_FORM::~TABOPTION_PAGE2_FORM() { delete form_; }

TABOPTION_PAGE2::TABOPTION_PAGE2(QObject* owner) : TABOPTION_PAGE2_FORM(owner) {
  form_->SE_EPOCH->MASKE(kDigits);
  POSTINIT();
  on_change_of_boxes(this, [this] { changed(); });
  connect(form_->SE_EPOCH, &QLineEdit::textChanged, this, [this] { changed(); });
}

void TABOPTION_PAGE2::POSTINIT() {
  form_->CHB_EXCLUSIVE->setChecked(GLEXCLUSIVE);
  form_->CHB_READONLY->setChecked(GLREADONLY);
  form_->CHB_SETANSI->setChecked(GLSETANSI);
  form_->SE_EPOCH->setText(QString::number(date_epoch()));
  for (const DriverButton& d : driver_buttons(form_))
    if (GCDRIVER == QLatin1String(d.driver)) d.button->setChecked(true);
}

void TABOPTION_PAGE2::changed() {
  if (auto* dlg = qobject_cast<DTADLG_OPTION*>(owner())) dlg->OK_EIN();
}

void TABOPTION_PAGE2::NEU_EINSTELLUNG() {
  GLEXCLUSIVE = form_->CHB_EXCLUSIVE->isChecked();
  set_exclusive_default(GLEXCLUSIVE);
  write(kSetup, QStringLiteral("Exclusive"), ja_nein(form_->CHB_EXCLUSIVE));
  GLREADONLY = form_->CHB_READONLY->isChecked();
  write(kSetup, QStringLiteral("ReadOnly"), ja_nein(form_->CHB_READONLY));
  write(kSetup, QStringLiteral("SetAnsi"), ja_nein(form_->CHB_SETANSI));
  GLSETANSI = form_->CHB_SETANSI->isChecked();
  set_ansi_mode(GLSETANSI);
  // The text is kept as the user typed it; the runtime takes it only when it is a year
  // start-up would take, so two-digit years never land in the years 0 to 99.
  const QString epoch = QString::number(leading_number(form_->SE_EPOCH->text()));
  write(kSetup, QStringLiteral("SetEpoch"), epoch);
  set_date_epoch(epoch_for(epoch));
  for (const DriverButton& d : driver_buttons(form_))
    if (d.button->isChecked()) GCDRIVER = QString::fromLatin1(d.driver);
  write(kSetup, QStringLiteral("Driver"), GCDRIVER);
}

// Dialog

DTADLG_OPTION_FORM::DTADLG_OPTION_FORM(QObject* owner)
    : STD_DLGWINDOW(owner, true), form_(new Ui::DTADLG_OPTION_FORM) {
  form_->setupUi(this);
  setWindowIcon(MOLVANEICON());
  bind_controls();
}

DTADLG_OPTION_FORM::~DTADLG_OPTION_FORM() { delete form_; }

QTabWidget* DTADLG_OPTION_FORM::TABOPTION() const { return form_->TABOPTION; }

DTADLG_OPTION::DTADLG_OPTION(STDSHELLWINDOW* shell) : DTADLG_OPTION_FORM(shell), shell_(shell) {
  page1_ = new TABOPTION_EINSTELLUNG(this);
  form_->TABOPTION->addTab(page1_, QStringLiteral(" Einstellungen "));
  page2_ = new TABOPTION_PAGE2(this);
  form_->TABOPTION->addTab(page2_, QStringLiteral(" DBF-Einstellungen "));
  form_->TABOPTION->setCurrentIndex(0);
  // Showing the settings is no change of them.
  OK_AUS();
}

void DTADLG_OPTION::OK_EIN() {
  form_->PB_OK->setEnabled(true);
  form_->PB_UEBERNAHME->setEnabled(true);
}

void DTADLG_OPTION::OK_AUS() {
  form_->PB_OK->setEnabled(false);
  form_->PB_UEBERNAHME->setEnabled(false);
}

void DTADLG_OPTION::save() {
  page1_->NEU_EINSTELLUNG();
  page2_->NEU_EINSTELLUNG();
  if (shell_) shell_->SETTOOLBAR();
}

void DTADLG_OPTION::PB_OK() {
  save();
  ENDDIALOG(1);
}

void DTADLG_OPTION::PB_UEBERNAHME() {
  save();
  OK_AUS();
}

void DTADLG_OPTION::PB_ABBRUCH() { ENDDIALOG(0); }

void DTADLG_OPTION::PB_HILFE() {
  if (TABCURSEL(form_->TABOPTION) == 0 && shell_) shell_->OPENHANDBUCH();
}

void run_options_dialog(STDSHELLWINDOW* shell) {
  DTADLG_OPTION dlg(shell);
  dlg.SHOW();
}

}  // namespace mv
