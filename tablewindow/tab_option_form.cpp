#include "tablewindow/tab_option_form.h"

#include <QGroupBox>
#include <QRadioButton>

#include "platform/gui/palette.h"
#include "ui_TAB_OPTION_FORM.h"

namespace mv {

TAB_OPTION_FORM::TAB_OPTION_FORM(QObject* owner, int id, QObject* server, const QVariant&)
    : STD_DATAWINDOW(owner), form_(new Ui::TAB_OPTION_FORM), id_(id), server_(server) {
  form_->setupUi(this);
  setObjectName(QStringLiteral("Tab_Option_form"));
  set_caption(QStringLiteral("DataWindow Caption"));
  Ui::TAB_OPTION_FORM* f = form_;
  f->SE_FONTBROWSER->MASKE(QStringLiteral("0123456789"));
  f->SE_EPOCH->MASKE(QStringLiteral("0123456789"));

  // Page and the controls of the section "Fenster" on one light steel blue.
  const QColor back(176, 196, 222);
  QWidget* fenster[] = {this, f->CHB_TOOLBARICON1, f->CHB_TOOLBARTEXT1, f->CHB_TBFENSTERICON, f->CHB_TBFENSTERTEXT,
                        f->CHB_VOLLBILD1, f->GB_FENSTER, f->FT_WIDTH, f->FT_HEIGHT, f->FT_FENSTER};
  for (QWidget* w : fenster) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, back);
    p.setColor(QPalette::Button, back);
    w->setPalette(p);
    w->setAutoFillBackground(true);
  }
  QFont bold(QStringLiteral("Microsoft Sans Serif"));
  bold.setPointSize(8);
  bold.setBold(true);
  f->GB_FENSTER->setFont(bold);
  QFont plain = bold;
  plain.setBold(false);
  for (QWidget* child : f->GB_FENSTER->findChildren<QWidget*>()) child->setFont(plain);
  gui::set_foreground(f->GB_FENSTER, gui::predefined_color(gui::kColorBlue));
  gui::set_foreground(f->RBG_FENSTER, gui::predefined_color(gui::kColorBlue));
  bind_controls();
}

TAB_OPTION_FORM::~TAB_OPTION_FORM() { delete form_; }

QString TAB_OPTION_FORM::group_value(const QGroupBox* group) {
  if (!group) return {};
  for (const QRadioButton* rb : group->findChildren<QRadioButton*>())
    if (rb->isChecked()) return rb->property("value").toString();
  return {};
}

}  // namespace mv
