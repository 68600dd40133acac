#pragma once
// The preview of a print job: a modal window that shows one page at a time. A page is
// drawn only when it is shown, from the page starts of the dry run, and the last few
// drawn are kept, so a list of thousands of pages opens as fast as one of a single page
// and paging through it needs no more memory than three pages.
#include <QDialog>
#include <QImage>
#include <functional>
#include <list>

class QLabel;
class QPushButton;
class QScrollArea;

namespace mv::report {

class PRINTERDEVICE;
class PreviewWindow;

// Tests and benchmarks: when set, the preview is shown and handed to this function
// instead of waiting for the user; the preview ends when it returns.
void set_preview_hook(std::function<void(PreviewWindow&)> hook);
const std::function<void(PreviewWindow&)>& preview_hook();

class PreviewPage;

class PreviewWindow : public QDialog {
  Q_OBJECT
 public:
  PreviewWindow(PRINTERDEVICE* device, const QString& caption, QWidget* parent = nullptr);
  ~PreviewWindow() override;

  PRINTERDEVICE* device() const { return device_; }
  int page() const { return page_; }
  int pages() const;
  bool whole_page() const { return whole_page_; }
  QString page_text() const;
  // The image of the shown page (drawn at the current zoom).
  QImage current_image();
  // Draws page `n` (kLastPage: the last) at `width` pixels wide; the cache keeps it.
  QImage page_image(int n, int width);
  int cached_pages() const { return int(cache_.size()); }

  QPushButton* button(const QString& name) const;

 public slots:
  void FIRSTPAGE();
  void PREVIOUSPAGE();
  void NEXTPAGE();
  void LASTPAGE();
  void GOTOPAGE(int n);
  void WHOLEPAGE();
  void PAGEWIDTH();
  void PRINT();

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  friend class PreviewPage;
  int image_width() const;
  void update_controls();
  void relayout();

  PRINTERDEVICE* device_;
  int page_ = 1;
  bool whole_page_ = true;
  struct Cached {
    int page;
    int width;
    QImage image;
  };
  std::list<Cached> cache_;
  QScrollArea* scroll_ = nullptr;
  PreviewPage* view_ = nullptr;
  QLabel* label_ = nullptr;
};

}  // namespace mv::report
