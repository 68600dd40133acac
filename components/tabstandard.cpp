#include "components/tabstandard.h"

#include <QTabBar>
#include <QVBoxLayout>

#include "platform/gui/dispatch.h"

namespace mv {

TABSTANDARD::TABSTANDARD(QWidget* parent) : QTabWidget(parent) {
  placeholder_ = new gui::WINDOW(nullptr, this);
  placeholder_->setObjectName(QStringLiteral("WINDOW"));
  placeholder_->hide();
  connect(this, &QTabWidget::currentChanged, this, &TABSTANDARD::on_current_changed);
}

QWidget* TABSTANDARD::page_owner() const {
  if (page_owner_) return page_owner_.data();
  return window();
}

int TABSTANDARD::index_of(const QString& name) const {
  for (size_t i = 0; i < tabs_.size(); ++i)
    if (tabs_[i].name == name) return int(i);
  return -1;
}

TABSTANDARD* TABSTANDARD::APPENDTAB(const QString& name, const QString& caption, QWidget* page,
                                    int image) {
  Tab t;
  t.name = name;
  t.caption = caption;
  t.image = image;
  t.host = new QWidget;
  t.host->setObjectName(name + QStringLiteral("_host"));
  auto* layout = new QVBoxLayout(t.host);
  layout->setContentsMargins(0, 0, 0, 0);
  if (page) {
    // A ready page is taken over as the tab's page.
    layout->addWidget(page);
    t.page = page;
  }
  tabs_.push_back(t);
  appending_ = true;  // the first tab becomes current by itself; that is no selection
  addTab(t.host, caption);
  appending_ = false;
  return this;
}

bool TABSTANDARD::page_created(const QString& name) const {
  const int i = index_of(name);
  return i >= 0 && tabs_[size_t(i)].page;
}

bool TABSTANDARD::CHECKPAGE(const QString& name) {
  if (!page_created(name)) CREATEPAGE(name, page_owner());
  return true;
}

TABSTANDARD* TABSTANDARD::CREATEPAGE(const QString& name, QWidget* owner) {
  const int i = index_of(name);
  if (i < 0) return this;
  QWidget* page = gui::create_window(name.toStdString(), owner);
  if (!page) return this;
  Tab& t = tabs_[size_t(i)];
  t.host->layout()->addWidget(page);
  t.page = page;
  return this;
}

QWidget* TABSTANDARD::GETPAGESYM(const QString& name) const {
  const int i = index_of(name);
  if (i < 0) return nullptr;
  const Tab& t = tabs_[size_t(i)];
  return t.page ? t.page.data() : placeholder_;
}

QWidget* TABSTANDARD::GETPAGENUM(int number) const {
  if (number < 1 || number > int(tabs_.size())) return nullptr;
  const Tab& t = tabs_[size_t(number - 1)];
  return t.page ? t.page.data() : placeholder_;
}

bool TABSTANDARD::ISENABLED(const QString& name) const {
  return !name.isEmpty() && !disabled_.contains(name);
}

QString TABSTANDARD::selected_name() const {
  const int i = currentIndex();
  return i >= 0 && i < int(tabs_.size()) ? tabs_[size_t(i)].name : QString();
}

QWidget* TABSTANDARD::current_page() const {
  const int i = currentIndex();
  return i >= 0 && i < int(tabs_.size()) ? tabs_[size_t(i)].page.data() : nullptr;
}

void TABSTANDARD::show_page(int index) {
  if (index < 0 || index >= int(tabs_.size())) return;
  QPointer<QWidget> page = tabs_[size_t(index)].page;
  if (!page) return;
  const QString name = tabs_[size_t(index)].name;
  if (gui::has_operation(page.data(), "SHOW", 0)) gui::call_operation(page.data(), "SHOW");
  else page->show();
  if (page) emit page_shown(name, page.data());
}

TABSTANDARD* TABSTANDARD::SELECTTAB(const QString& name) {
  const int i = index_of(name);
  if (i < 0) return this;
  const bool existed = page_created(name);
  if (!CHECKPAGE(name)) return this;
  if (currentIndex() == i) {
    // Already selected: a page made just now is shown once; an existing one is left as is.
    if (!existed) show_page(i);
    return this;
  }
  setCurrentIndex(i);  // on_current_changed shows the page
  return this;
}

void TABSTANDARD::ensure_current_page() {
  const QString name = selected_name();
  if (name.isEmpty() || page_created(name)) return;
  SELECTTAB(name);
}

void TABSTANDARD::on_current_changed(int index) {
  if (appending_ || index < 0 || index >= int(tabs_.size())) return;
  CHECKPAGE(tabs_[size_t(index)].name);
  show_page(index);
}

int TABCURSEL(const QTabWidget* tabs) { return tabs ? tabs->currentIndex() : -1; }

}  // namespace mv
