#include "platform/report/preview.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cmath>

#include "platform/report/printerdevice.h"

namespace mv::report {
namespace {
std::function<void(PreviewWindow&)>& hook_store() {
  static std::function<void(PreviewWindow&)> hook;
  return hook;
}
constexpr int kCachedPages = 3;
constexpr int kFrame = 12;
}  // namespace

void set_preview_hook(std::function<void(PreviewWindow&)> hook) { hook_store() = std::move(hook); }
const std::function<void(PreviewWindow&)>& preview_hook() { return hook_store(); }

// The sheet: the page's image on a grey desk.
class PreviewPage : public QWidget {
 public:
  explicit PreviewPage(PreviewWindow* w) : QWidget(w), window_(w) {}
  void set_image(const QImage& img) {
    image_ = img;
    setFixedSize(img.width() + 2 * kFrame, img.height() + 2 * kFrame);
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(128, 128, 128));
    p.fillRect(QRect(kFrame + 3, kFrame + 3, image_.width(), image_.height()), QColor(64, 64, 64));
    p.drawImage(kFrame, kFrame, image_);
    p.setPen(Qt::black);
    p.drawRect(QRect(kFrame - 1, kFrame - 1, image_.width() + 1, image_.height() + 1));
  }

 private:
  PreviewWindow* window_;
  QImage image_;
};

PreviewWindow::PreviewWindow(PRINTERDEVICE* device, const QString& caption, QWidget* parent)
    : QDialog(parent ? parent : device->owner()), device_(device) {
  setObjectName(QStringLiteral("PREVIEW"));
  setWindowTitle(caption);
  setModal(true);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  auto* top = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  auto add = [&](const char* name, const QString& text, void (PreviewWindow::*slot)()) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, slot);
    bar->addWidget(b);
    return b;
  };
  add("PB_ERSTE", QStringLiteral("Erste Seite"), &PreviewWindow::FIRSTPAGE);
  add("PB_VORIGE", QStringLiteral("Vorige Seite"), &PreviewWindow::PREVIOUSPAGE);
  add("PB_NAECHSTE", QStringLiteral("Nächste Seite"), &PreviewWindow::NEXTPAGE);
  add("PB_LETZTE", QStringLiteral("Letzte Seite"), &PreviewWindow::LASTPAGE);
  label_ = new QLabel(this);
  label_->setObjectName(QStringLiteral("FT_SEITE"));
  label_->setMinimumWidth(label_->fontMetrics().horizontalAdvance(QStringLiteral("Seite 00000 von 00000")) + 16);
  label_->setAlignment(Qt::AlignCenter);
  bar->addWidget(label_);
  add("PB_GANZ", QStringLiteral("Ganze Seite"), &PreviewWindow::WHOLEPAGE);
  add("PB_BREITE", QStringLiteral("Seitenbreite"), &PreviewWindow::PAGEWIDTH);
  add("PB_DRUCKEN", QStringLiteral("Drucken..."), &PreviewWindow::PRINT);
  bar->addStretch(1);
  add("PB_SCHLIESSEN", QStringLiteral("Schließen"), &PreviewWindow::reject);
  top->addLayout(bar);
  scroll_ = new QScrollArea(this);
  scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  scroll_->setBackgroundRole(QPalette::Dark);
  view_ = new PreviewPage(this);
  scroll_->setWidget(view_);
  top->addWidget(scroll_, 1);
  resize(900, 760);
  relayout();
}

PreviewWindow::~PreviewWindow() = default;

QPushButton* PreviewWindow::button(const QString& name) const { return findChild<QPushButton*>(name); }

int PreviewWindow::pages() const {
  const uint32_t n = device_->report() ? device_->report()->page_total() : 0;
  return int(std::max<uint32_t>(1, n));
}

QString PreviewWindow::page_text() const { return QStringLiteral("Seite %1 von %2").arg(page_).arg(pages()); }

int PreviewWindow::image_width() const {
  const QSizeF in = device_->page_inches();
  const QSize vp = scroll_->viewport()->size() - QSize(2 * kFrame + 2, 2 * kFrame + 2);
  const int by_width = std::max(100, vp.width());
  if (!whole_page_) return by_width;
  const int by_height = int(std::max(100, vp.height()) * in.width() / in.height());
  return std::max(100, std::min(by_width, by_height));
}

QImage PreviewWindow::page_image(int n, int width) {
  const int key = n == kLastPage ? pages() : std::clamp(n, 1, pages());
  for (auto it = cache_.begin(); it != cache_.end(); ++it) {
    if (it->page == key && it->width == width) {
      cache_.splice(cache_.begin(), cache_, it);
      return cache_.front().image;
    }
  }
  const QSizeF in = device_->page_inches();
  const double scale = double(width) / (in.width() * device_->horizontal_resolution());
  const int height = int(std::lround(in.height() * device_->vertical_resolution() * scale));
  QImage img(width, std::max(1, height), QImage::Format_RGB32);
  img.fill(Qt::white);
  {
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.translate(device_->left_margin_inches() * device_->horizontal_resolution() * scale,
                device_->top_margin_inches() * device_->vertical_resolution() * scale);
    p.scale(scale, scale);
    PainterContext dc(&p);
    device_->draw_page(dc, key);
  }
  cache_.push_front({key, width, img});
  while (int(cache_.size()) > kCachedPages) cache_.pop_back();
  return img;
}

QImage PreviewWindow::current_image() { return page_image(page_, image_width()); }

void PreviewWindow::relayout() {
  view_->set_image(current_image());
  update_controls();
}

void PreviewWindow::update_controls() {
  label_->setText(page_text());
  button(QStringLiteral("PB_ERSTE"))->setEnabled(page_ > 1);
  button(QStringLiteral("PB_VORIGE"))->setEnabled(page_ > 1);
  button(QStringLiteral("PB_NAECHSTE"))->setEnabled(page_ < pages());
  button(QStringLiteral("PB_LETZTE"))->setEnabled(page_ < pages());
  button(QStringLiteral("PB_GANZ"))->setEnabled(!whole_page_);
  button(QStringLiteral("PB_BREITE"))->setEnabled(whole_page_);
}

void PreviewWindow::GOTOPAGE(int n) {
  page_ = n == kLastPage ? pages() : std::clamp(n, 1, pages());
  relayout();
  scroll_->verticalScrollBar()->setValue(0);
}

void PreviewWindow::FIRSTPAGE() { GOTOPAGE(1); }
void PreviewWindow::PREVIOUSPAGE() { GOTOPAGE(page_ - 1); }
void PreviewWindow::NEXTPAGE() { GOTOPAGE(page_ + 1); }
void PreviewWindow::LASTPAGE() { GOTOPAGE(kLastPage); }

void PreviewWindow::WHOLEPAGE() {
  whole_page_ = true;
  relayout();
}

void PreviewWindow::PAGEWIDTH() {
  whole_page_ = false;
  relayout();
}

void PreviewWindow::PRINT() {
  if (device_->print_from_preview()) {
    // The preview was laid out again: its pages are drawn afresh.
    cache_.clear();
    page_ = std::clamp(page_, 1, pages());
  }
  relayout();
}

void PreviewWindow::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  if (view_) relayout();
}

void PreviewWindow::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_PageDown:
      NEXTPAGE();
      return;
    case Qt::Key_PageUp:
      PREVIOUSPAGE();
      return;
    case Qt::Key_Home:
      if (e->modifiers() & Qt::ControlModifier) {
        FIRSTPAGE();
        return;
      }
      break;
    case Qt::Key_End:
      if (e->modifiers() & Qt::ControlModifier) {
        LASTPAGE();
        return;
      }
      break;
    default:
      break;
  }
  QDialog::keyPressEvent(e);
}

}  // namespace mv::report
