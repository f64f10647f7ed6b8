// The frame's share of the search: the bar and pane it builds, the search it runs on a worker
// thread while the window stays usable, and the commands that reach the highlighting.
#include <condition_variable>
#include <mutex>

#include "panes/thread_pool.h"
#include "platform/gtk/window/main_frame.h"
#include "resources/string_table.h"

namespace lectern {

struct GtkMainFrame::SearchJob {
  SearchCancel cancel;
  std::unique_ptr<CSearchProgressDlg> progress;
  std::unique_ptr<CSearchResult> result;  // written by the worker, read once it has ended
  std::function<void(size_t)> done;
  GtkMainFrame* frame = nullptr;

  // The worker is one of the kept threads: the frame waits for its end, not for the thread's,
  // before it reads the result or lets the job go.
  void EndWork() {
    std::lock_guard lock(mutex);
    ended = true;
    ended_changed.notify_all();
  }
  void WaitForWork() {
    std::unique_lock lock(mutex);
    ended_changed.wait(lock, [this] { return ended; });
  }
  std::mutex mutex;
  std::condition_variable ended_changed;
  bool ended = false;  // under mutex
};

void GtkMainFrame::CreateSearchBar(GtkWidget* box) {
  CSearchBar::Hooks hooks;
  hooks.command = [this](int command) { OnCommand(command); };
  hooks.status_text = [this](std::string_view text) { SetStatusText(text); };
  hooks.preview_mode = [this] { return preview_mode_; };
  hooks.search = [this](const std::string& query, std::function<void(size_t)> done) {
    return StartSearch(query, std::move(done));
  };
  hooks.show_search_pane = [this] {
    for (int other : {kCmdContentsPane, kCmdBookmarksPane}) command_state_.SetCheck(other, false);
    ShowSideBar(kSearchPane);
    command_state_.SetCheck(kCmdSearchPane, true);
  };
  hooks.find_next = [this](const std::string& word, std::function<void(bool)> done) {
    if (highlighter_) highlighter_->FindNext(word, std::move(done));
    else done(false);
  };
  search_bar_ = std::make_unique<CSearchBar>(std::move(hooks));
  if (!search_bar_->Create(command_state_)) {
    search_bar_.reset();
    return;
  }
  search_bar_band_ = search_bar_->widget();
  gtk_box_pack_start(GTK_BOX(box), search_bar_band_, FALSE, FALSE, 0);
}

void GtkMainFrame::CreateSearchPaneAndHighlighter() {
  search_pane_ = std::make_unique<CEbkSearch>(*this);
  // Only a book read from its archive is searched; its index starts now, off the main loop.
  if (manager_ && !preview_mode_ && !working_folder_.empty())
    search_index_ = std::make_unique<SearchIndexKeeper>(manager_, SearchIndexPath(working_folder_));
  highlighter_ = std::make_unique<SearchHighlighter>(view_->web_view(), [this] {
    return search_bar_ ? search_bar_->QueryText() : std::string();
  });
}

CSearchProgressDlg* GtkMainFrame::search_progress() const {
  return search_job_ ? search_job_->progress.get() : nullptr;
}

bool GtkMainFrame::StartSearch(const std::string& query, std::function<void(size_t)> done) {
  if (query.empty() || !manager_ || search_job_) return false;
  std::shared_ptr<const SearchIndex> index = search_index_ ? search_index_->ready() : nullptr;
  // A query the index answers from little text is answered here and now: no thread to start, no
  // window to arm, no turn of the main loop to wait for. The budget keeps that within a frame even
  // where the kept text must first come back from the disk or from a host that pages it out: a
  // query that compares more (the handbook's "package repository" compares 45 MB) is confirmed
  // on the worker, where its cost never holds up the window.
  constexpr uint64_t kAnsweredAtOnceBytes = uint64_t(8) << 20;
  if (index) {
    if (std::unique_ptr<CSearchResult> result = SearchIndexWithin(query, *index, kAnsweredAtOnceBytes)) {
      size_t hits = result->hits.size();
      if (search_pane_) search_pane_->ShowResults(std::move(result));
      if (done) done(hits);
      return true;
    }
  }
  auto job = std::make_shared<SearchJob>();
  job->done = std::move(done);
  job->frame = this;
  SearchJob* raw = job.get();
  // Most searches answer from the index before a window could be read: it shows only for a
  // search still running after this long.
  constexpr unsigned kProgressShowsAfterMs = 300;
  if (spare_progress_) {
    job->progress = std::move(spare_progress_);
    job->progress->Reopen([raw] { raw->cancel.Cancel(); }, kProgressShowsAfterMs);
  } else {
    job->progress = std::make_unique<CSearchProgressDlg>(Toplevel(), [raw] { raw->cancel.Cancel(); },
                                                         kProgressShowsAfterMs);
  }
  search_job_ = job;
  // The worker touches no widget: it searches, then asks the main loop to take the result. A
  // frame that has gone by then has dropped the job, and the request finds nothing.
  auto* posted = new std::weak_ptr<SearchJob>(job);
  CEbkManager* manager = manager_;
  // Held by the worker, so the index outlives the search even if the keeper goes first. A kept
  // thread, woken for the search, starts at once on an idle core.
  ThreadPool::Shared().Post([raw, posted, manager, query, index] {
    SearchOptions options;
    options.cancel = &raw->cancel;
    options.index = index.get();
    raw->result = SearchBook(query, manager, raw->progress.get(), options);
    raw->EndWork();
    // Ahead of drawing and of the list's text lines: the answer is what the user waits for.
    g_idle_add_full(
        G_PRIORITY_HIGH,
        [](gpointer data) {
          std::shared_ptr<SearchJob> held = static_cast<std::weak_ptr<SearchJob>*>(data)->lock();
          if (held && held->frame->search_job_ == held) held->frame->FinishSearch();
          return G_SOURCE_REMOVE;
        },
        posted, [](gpointer data) { delete static_cast<std::weak_ptr<SearchJob>*>(data); });
  });
  return true;
}

void GtkMainFrame::FinishSearch() {
  std::shared_ptr<SearchJob> job = std::move(search_job_);
  job->WaitForWork();
  job->progress->Hide();
  spare_progress_ = std::move(job->progress);
  // A cancelled search leaves the hits of the files searched until then, in order.
  size_t hits = job->result ? job->result->hits.size() : 0;
  if (search_pane_) search_pane_->ShowResults(std::move(job->result));
  if (job->done) job->done(hits);
}

void GtkMainFrame::ShutDownSearch() {
  if (search_job_) {
    search_job_->cancel.Cancel();
    search_job_->WaitForWork();
    search_job_->progress.reset();
    search_job_.reset();
  }
  spare_progress_.reset();
  search_index_.reset();
  highlighter_.reset();
  search_bar_.reset();
  search_pane_.reset();
}

void GtkMainFrame::OnSearchCommand(int command) {
  switch (command) {
    case kCmdSearch:
      if (search_bar_) search_bar_->RunSearch();
      break;
    case kCmdClearSearchHistory:
      if (search_bar_) search_bar_->ClearHistory();
      break;
    case kCmdResetSearchPosition:
      if (highlighter_) highlighter_->ClearFindPosition();
      break;
    case kCmdToggleHighlight:
      if (highlighter_) highlighter_->ToggleHighlight();
      break;
    default:
      break;
  }
}

}  // namespace lectern
