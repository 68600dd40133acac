// The record search of the data page: search button, key search, full-text search with
// its two engines, the hit label and the arrows.
#include "tablewindow/search.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "components/dlgprogress.h"
#include "platform/gui/application.h"
#include "platform/gui/messagebox.h"
#include "platform/runtime/date.h"
#include "platform/runtime/strings.h"
#include "platform/table/record_scan.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tableserver.h"
#include "ui_TAB_DBFDATEN_FORM.h"

namespace mv {
namespace {

// One byte map for record images, field texts and the search text alike.
const unsigned char* fold_map(const Table& t) { return upper_map(CaseFlavour::Full, t.code_page()); }

// The search text as the table stores text, folded; nothing when the code page cannot
// hold one of its characters (then no record can contain it).
std::optional<std::string> folded_needle(const Table& t, const QString& text) {
  auto bytes = cp_from_utf8(t.code_page(), text.toStdString());
  if (!bytes) return std::nullopt;
  std::string s = std::move(bytes).value();
  const unsigned char* m = fold_map(t);
  for (char& c : s) c = char(m[uint8_t(c)]);
  return s;
}

QString hits_text(size_t hits) { return QStringLiteral("Bislang ") + QString::number(hits) + QStringLiteral(" Treffer..."); }

int64_t steady_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The progress window of one scan. Each page keeps one window for its searches, hidden
// between them: building it anew costs more than scanning a large table.
class ScanProgress {
 public:
  ScanProgress(QObject* owner, const QString& text, uint32_t steps) {
    static const QString kName = QStringLiteral("SEARCHPROGRESS");
    QWidget* w = qobject_cast<QWidget*>(owner);
    DLGPROGRESS* kept = w ? w->findChild<DLGPROGRESS*>(kName, Qt::FindDirectChildrenOnly) : nullptr;
    if (kept && kept->ended()) {
      p_ = kept;
      p_->restart(QStringLiteral("Noch keine Treffer..."));
    } else if (w && !kept) {
      p_ = new DLGPROGRESS(w);  // goes with the page
      p_->setObjectName(kName);
    } else {
      // No page, or its window still serves a search that let this one start.
      own_ = new DLGPROGRESS(owner);
      p_ = own_;
    }
    p_->setWindowTitle(QStringLiteral("Suche \"") + text + QStringLiteral("\"..."));
    p_->TXTFEEDBACK()->setText(QStringLiteral("Noch keine Treffer..."));
    p_->COUNT(std::max<uint32_t>(steps, 1));
  }
  ~ScanProgress() {
    if (p_) p_->ENDDIALOG();
    delete own_;  // unless it went with the page
  }
  void show() {
    if (p_) p_->SHOW();
  }
  // Whether the window is to be asked at step n with `hits` found so far: at the first
  // record, at the first hit and then at most every 20 ms. Between those it would not
  // draw anything a person could see, and each drawing costs as much as scanning
  // thousands of records. A cancel pressed meanwhile is seen at the next step that asks.
  // Safe from any thread.
  bool due(size_t hits) const {
    const int64_t at = asked_at_.load(std::memory_order_relaxed);
    return at < 0 || (hits > 0 && shown_.load(std::memory_order_relaxed) == 0) || steady_ms() - at >= 20;
  }
  // Asks the window at step n (GUI thread): shows the hit count, lets it handle what is
  // waiting; false when the user stopped the scan.
  bool ask(uint32_t n, size_t hits) {
    if (!p_) return stop();
    if (hits > 0 && shown_ == 0) {
      // The first hit is told at once.
      show_hits(hits);
      gui::process_pending_events();  // the window throttles itself; this one is shown now
    } else if (hits != shown_) {
      show_hits(hits);
    }
    asked_at_ = steady_ms();
    if (!p_ || !p_->UPDATE(n)) return stop();
    return true;
  }
  bool step(uint32_t n, size_t hits) { return due(hits) ? ask(n, hits) : !cancelled(); }
  // The next 20 ms count from now (a round about to run elsewhere).
  void count_from_now() { asked_at_ = steady_ms(); }
  bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
  void finish(size_t hits) {
    if (p_ && hits != shown_) show_hits(hits);
  }

 private:
  bool stop() {
    cancelled_ = true;
    return false;
  }
  void show_hits(size_t hits) {
    shown_ = hits;
    p_->TXTFEEDBACK()->setText(hits_text(hits));
  }
  QPointer<DLGPROGRESS> own_;  // a window for this search only
  QPointer<DLGPROGRESS> p_;
  std::atomic<int64_t> asked_at_{-1};  // steady ms when the window was last asked
  std::atomic<size_t> shown_{0};
  std::atomic<bool> cancelled_{false};
};

// The trimmed number text of a numeric field: its stored text when that is already the
// way the number is written (digits, a sign, the field's decimals), else formatted anew.
void number_text(const Table& t, int pos, const Value& v, std::string& out) {
  const FieldInfo& f = t.field(pos);
  const std::string_view raw = str_alltrim(t.field_raw(pos));
  bool plain = !raw.empty() && (f.type == 'N' || f.type == 'F');
  size_t point = std::string_view::npos;
  for (size_t i = 0; plain && i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '.' && point == std::string_view::npos) point = i;
    else if (!(c >= '0' && c <= '9') && !(c == '-' && i == 0)) plain = false;
  }
  const size_t decimals = point == std::string_view::npos ? 0 : raw.size() - point - 1;
  if (plain && decimals == f.decimals && (point == std::string_view::npos || point > (raw[0] == '-' ? 1u : 0u))) {
    out.assign(raw);
    return;
  }
  out.assign(str_alltrim(str_str(v.num, v.len > 0 ? v.len : -1, v.dec)));
}

bool usable(TableGridServer* s) { return s && s->USED() && s->table(); }

}  // namespace

bool ISFIELDMEMO(TableGridServer* server) {
  if (!usable(server)) return false;
  bool memo = false;
  for (const FieldInfo& f : server->table()->fields()) memo = memo || f.type == 'M';
  return memo;
}

std::vector<uint32_t> SCANFIELDS(TableGridServer* server, const QString& text) {
  std::vector<uint32_t> hits;
  if (!usable(server)) return hits;
  Table& t = *server->table();
  hits.reserve(t.lastrec());
  const std::optional<std::string> needle = folded_needle(t, text);
  ScanProgress progress(server->parent(), text, t.lastrec());
  progress.show();
  if (!needle) return hits;
  const unsigned char* m = fold_map(t);
  const int n = int(t.fcount());
  Value v;
  std::string cmp;
  uint32_t step = 0;
  size_t asked = 0;  // the hit count the progress last heard
  for (Status st = t.go_top(); st.is_ok() && !t.eof(); st = t.skip(1)) {
    // As the byte engine does: at the first record, after each hit, every 1024th record.
    if ((++step & 1023u) == 1 || hits.size() != asked) {
      asked = hits.size();
      if (!progress.step(step, asked)) break;
    }
    bool hit = false;
    for (int f = 1; f <= n && !hit; ++f) {
      if (!t.field_get_into(f, v).is_ok()) continue;
      switch (v.type) {
        case ValueType::Character:
          cmp.assign(v.str);
          for (char& c : cmp) c = char(m[uint8_t(c)]);
          break;
        case ValueType::Numeric: number_text(t, f, v, cmp); break;
        case ValueType::Date: cmp = dtoc(v.date); break;
        case ValueType::Logical: cmp = v.logical ? "JT1" : "NF0"; break;
        default: continue;
      }
      hit = cmp.find(*needle) != std::string::npos;
    }
    if (hit) hits.push_back(t.recno());
  }
  progress.finish(hits.size());
  return hits;
}

namespace {

// The thread that scans beside the GUI thread. It is kept between searches: a thread
// made for each search would mostly start only after the GUI thread's first round, on
// the processor that round keeps busy.
class ScanThread {
 public:
  static ScanThread& instance() {
    static ScanThread t;
    return t;
  }
  ~ScanThread() {
    {
      std::lock_guard l(m_);
      quit_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  // Runs `job` there; false when the thread is still on another job (a search started
  // from the window rounds of another). A job that has just told its end is waited for.
  bool start(std::function<void()> job) {
    std::unique_lock l(m_);
    if (!cv_.wait_for(l, std::chrono::milliseconds(2), [&] { return !busy_; })) return false;
    if (!thread_.joinable()) thread_ = std::thread([this] { loop(); });
    job_ = std::move(job);
    busy_ = true;
    cv_.notify_all();
    return true;
  }

 private:
  void loop() {
    std::unique_lock l(m_);
    for (;;) {
      cv_.wait(l, [&] { return quit_ || job_; });
      if (quit_) return;
      std::function<void()> job = std::move(job_);
      job_ = nullptr;
      l.unlock();
      job();
      l.lock();
      busy_ = false;
      cv_.notify_all();
    }
  }

  std::mutex m_;
  std::condition_variable cv_;
  std::function<void()> job_;
  bool busy_ = false;
  bool quit_ = false;
  std::thread thread_;
};

// The byte engine on a worker thread while this thread shows the progress window.
//
// Showing and painting the window costs about as much as scanning a million records,
// so the first round of the window (show, paint, whatever waits) runs beside the scan.
// That round is the only time both threads run: every later round of the window happens
// while the worker waits in its step, as the scan on this thread would.
//
// Why that is safe: during the first round this thread may use the table (the grid reads
// its rows; on a shared table a read may map the file, grown by another program, anew),
// so the worker reads no table state then but a snapshot taken here beforehand: the
// file's view, pinned so that mapping anew retires it instead of releasing it, header
// and record length, the file size, needle and byte map; records beyond the view it
// reads with the file's pread. It never writes, flushes or locks the table (the records
// held back are written here first). Its first step answered by this thread ends the
// first round for it: the mutex orders all this thread did before, and from then on this
// thread touches the table only while the worker waits, so the scan may follow the table
// again (a view mapped anew, records appended meanwhile).
//
// A cancel in the first round counts as given before the first record, as on this
// thread: the records the worker examined meanwhile are not taken.
class ScanBeside {
 public:
  explicit ScanBeside(ScanProgress& progress) : progress_(progress) {}

  // Nothing when the worker is taken: the caller scans on this thread.
  std::optional<Result<std::vector<uint32_t>>> run(Table& t, const std::string& needle, const unsigned char* fold) {
    // Records the table still holds back are written here, before the worker reads.
    auto snapshot = RecordScan::snapshot(t, needle, fold);
    if (!snapshot) return Result<std::vector<uint32_t>>(snapshot.status());
    RecordSnapshot& snap = **snapshot;
    progress_.count_from_now();
    const bool started = ScanThread::instance().start([&] {
      auto r = find_in_records(snap, [&](uint32_t n, size_t hits) { return step(snap, n, hits); });
      // Told under the lock: the caller may go (and this object with it) once it sees done_.
      std::lock_guard l(m_);
      result_ = std::move(r);
      done_ = true;
      news_ = true;
      cv_.notify_all();
    });
    if (!started) return std::nullopt;
    progress_.show();
    const bool first = progress_.ask(1, 0);
    // Later rounds: each step the worker hands over, until it is done.
    std::unique_lock l(m_);
    for (;;) {
      if (!done_ && !asking_) {
        // The scan of a large table ends within a few milliseconds: waiting for it awake
        // answers at once, where a thread put to sleep can take a tenth of a
        // millisecond to run again. Longer scans are waited for asleep.
        l.unlock();
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
        while (!news_.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < until)
          std::this_thread::yield();
        l.lock();
        cv_.wait(l, [&] { return done_ || asking_; });
      }
      if (!asking_) break;
      const uint32_t n = ask_n_;
      const size_t hits = ask_hits_;
      l.unlock();
      const bool go_on = !progress_.cancelled() && progress_.ask(n, hits);
      l.lock();
      asking_ = false;
      news_ = false;
      answer_ = go_on;
      answered_ = true;
      cv_.notify_all();
    }
    l.unlock();
    if (!first && result_) return Result<std::vector<uint32_t>>(std::vector<uint32_t>{});
    return std::move(result_);
  }

 private:
  // On the worker: the window is asked through this thread's event loop, never from here.
  bool step(RecordSnapshot& snap, uint32_t n, size_t hits) {
    if (progress_.cancelled()) return false;
    if (n == 1 || !progress_.due(hits)) return true;  // the first round is this thread's
    std::unique_lock l(m_);
    asking_ = true;
    news_ = true;
    answered_ = false;
    ask_n_ = n;
    ask_hits_ = hits;
    cv_.notify_all();
    cv_.wait(l, [&] { return answered_; });
    // This thread answered after its first round: the table is the scan's to follow again.
    snap.table_free();
    return answer_;
  }

  ScanProgress& progress_;
  std::mutex m_;
  std::condition_variable cv_;
  bool asking_ = false;  // the worker waits for the window's answer at step ask_n_
  bool answered_ = false;
  bool answer_ = true;
  uint32_t ask_n_ = 0;
  size_t ask_hits_ = 0;
  bool done_ = false;
  std::atomic<bool> news_{false};  // asking_ or done_ became true: seen without the lock
  Result<std::vector<uint32_t>> result_ = std::vector<uint32_t>{};
};

}  // namespace

std::vector<uint32_t> SCANFIELDSLOWLEVEL(TableGridServer* server, const QString& text) {
  if (!usable(server)) return {};
  Table& t = *server->table();
  const std::optional<std::string> needle = folded_needle(t, text);
  ScanProgress progress(server->parent(), text, t.lastrec());
  if (!needle) {
    progress.show();
    return {};
  }
  auto hits = [&]() -> Result<std::vector<uint32_t>> {
    if (!needle->empty())
      if (auto beside = ScanBeside(progress).run(t, *needle, fold_map(t))) return std::move(*beside);
    progress.show();
    return find_in_records(t, *needle, fold_map(t),
                           [&](uint32_t recno, size_t found) { return progress.step(recno, found); });
  }();
  if (!hits) return {};
  progress.finish(hits->size());
  return std::move(hits).value();
}

QString ASCADD(const QString& text, const QString& key) {
  const QString k = key.isEmpty() ? QStringLiteral(" ") : key;
  QString out = text;
  for (qsizetype i = 0; i < out.size(); ++i)
    out[i] = QChar(char16_t((out[i].unicode() + k[i % k.size()].unicode()) & 0xFF));
  return out;
}

bool ISCANOPENEXCLUSIVE(const QString& file) {
  QFile f(file);
  if (!f.exists() || !f.open(QIODevice::ReadOnly)) return false;
  f.close();
  return true;
}

// ---------------------------------------------------------------- the data page

void TAB_DBFDATEN::PB_FIND() {
  const QString t = form_->SE_SUCHE->text();
  if (form_->RB_SATZNR->isChecked()) {
    const double n = str_val(t.toStdString());
    if (n >= 1 && server()) server()->GOTO(n >= double(UINT32_MAX) ? UINT32_MAX : uint32_t(n));
    CELLSELECT();
  } else if (form_->RB_INDEX->isChecked()) {
    INDEXSUCHE(t);
  } else if (form_->RB_VOLLTEXT->isChecked()) {
    VOLLTEXTSUCHE(t);
  }
}

void TAB_DBFDATEN::INDEXSUCHE(const QString& text) {
  TableGridServer* s = server();
  if (!s || !s->orders() || text.trimmed().isEmpty()) return;
  Table* t = s->table();
  auto key = cp_from_utf8(t->code_page(), text.toStdString());
  if (!key) return;
  auto sought = s->orders()->seek_text(*key);
  if (!gui::status_box(this, sought.status(), QStringLiteral("Achtung")) || !*sought) return;
  // No such key: the last record of the order.
  if (t->eof() && !gui::status_box(this, t->go_bottom(), QStringLiteral("Achtung"))) return;
  if (!t->eof()) s->GOTO(t->recno());
  CELLSELECT();
}

void TAB_DBFDATEN::VOLLTEXTSUCHE(const QString& text) {
  TableGridServer* s = server();
  if (!s || text.isEmpty()) return;
  CSUCHTEXT = text;
  const uint32_t keep = s->RECNO();
  ASUCHE = ISFIELDMEMO(s) ? SCANFIELDS(s, text) : SCANFIELDSLOWLEVEL(s, text);
  if (!server()) return;  // closed while the progress window let other commands run
  if (!ASUCHE.empty()) {
    NTREFFER = 1;
    s->GOTO(ASUCHE.front());
  } else {
    NTREFFER = 0;
    if (keep > 0) s->GOTO(keep);
  }
  SETTREFFERTEXT();
  CELLSELECT();
}

void TAB_DBFDATEN::SETTREFFERTEXT() {
  const size_t n = ASUCHE.size();
  const size_t i = NTREFFER;
  if (n > 0) {
    form_->FT_TREFFER->setText(QStringLiteral("Treffer ") + QString::number(i) + QStringLiteral(" von ") +
                               QString::number(n));
    form_->PB_DANACH->setEnabled(n > 1 && i < n);
    form_->PB_DAVOR->setEnabled(n > 1 && i > 1);
  } else {
    form_->FT_TREFFER->setText(QStringLiteral("keine Treffer"));
    form_->PB_DANACH->setEnabled(false);
    form_->PB_DAVOR->setEnabled(false);
  }
}

void TAB_DBFDATEN::PB_DANACH() {
  if (NTREFFER >= ASUCHE.size()) return;
  ++NTREFFER;
  if (server()) server()->GOTO(ASUCHE[NTREFFER - 1]);
  SETTREFFERTEXT();
  CELLSELECT();
}

void TAB_DBFDATEN::PB_DAVOR() {
  if (NTREFFER <= 1 || NTREFFER > ASUCHE.size()) return;
  --NTREFFER;
  if (server()) server()->GOTO(ASUCHE[NTREFFER - 1]);
  SETTREFFERTEXT();
  CELLSELECT();
}

void TAB_DBFDATEN::clear_hits() {
  ASUCHE.clear();
  NTREFFER = 0;
  SETTREFFERTEXT();
}

}  // namespace mv
