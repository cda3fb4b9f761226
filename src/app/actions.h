#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <QObject>

#include "app/appstate.h"
#include "app/mainview.h"
#include "core/siteconfig.h"

namespace velmora {

class StatusWorker;

// The fixed pauses of the program. Tests shorten them; the product keeps these values.
struct Pauses
{
    std::chrono::milliseconds afterTileRequest{1000};
    std::chrono::milliseconds afterPageSave{100};
    std::chrono::milliseconds beforeTileRemoval{200};
    int beforeAutoPressMs = 2000;
};

// The three actions of the window (Initialise, Download, Assemble) and the end-of-worker
// handlers, talking to the window only through MainView. Everything here runs on the
// window thread. The click handlers throw; the window's click entry points report what
// escapes them (see reportErrors), and a handler pressed from code lets its error pass
// up to whoever pressed it.
class Actions : public QObject
{
    Q_OBJECT

public:
    Actions(AppState &state, MainView &view, SiteConfig site = SiteConfig::fromEnvironment(),
            Pauses pauses = {}, QObject *parent = nullptr);
    ~Actions() override;

    // Initialise: reader page, page-layout query, output folder.
    void Button1Click();
    // Download: the first batch of the range; later batches follow from the ends of workers.
    void downpicClick();
    // Assemble: one page worker per page without an image.
    void Button3Click();

    // Runs `handler` and shows whatever it throws in the view's error box. For entry
    // points from the event loop: clicks and ends of workers.
    void reportErrors(const std::function<void()> &handler);

    // Mirror of the "use the system proxy" box, read by tile workers on their threads.
    void setProxyTicked(bool ticked);

    const Pauses &pauses() const { return m_pauses; }
    const SiteConfig &site() const { return m_site; }

    // Whether a page of the range is missing: no image, or an empty one.
    bool HasMissingPage(int firstPage, int lastPage) const;

private:
    // Download, as pressed by the user or by the refill.
    void startDownload();
    void dothread(int batch);
    // Schedules every tile of pages first..last; stops when a press made meanwhile has
    // started another run or the batch has moved on.
    void scheduleBatch(long long first, long long last, int batch);
    void ScheduleTile(int page, int tile);
    void countDownloadTile();
    void DownloadThreadDone(quint64 run);
    void CheckBatchComplete();
    void FinishDownload();
    void countAssembledPage();
    void AssemblyThreadDone(quint64 run);
    void finishAssembly();
    void readPageRange();
    // Wires a worker's status texts and its end (`onEnd` for `run`, on this thread) and
    // starts it. False, with the worker deleted, when no thread could be made for it.
    bool startWorker(StatusWorker *worker, void (Actions::*onEnd)(quint64), quint64 run);

    struct Private;
    std::unique_ptr<Private> d;
    AppState &m_state;
    MainView &m_view;
    SiteConfig m_site;
    Pauses m_pauses;
    std::shared_ptr<std::atomic_bool> m_proxyTicked;
};

} // namespace velmora
