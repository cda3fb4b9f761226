// Download: schedules one tile worker per tile of every page without an image, in
// batches of pages, and counts every tile on the completion counter.

#include "app/actions.h"

#include <new>

#include "app/actionsprivate.h"
#include "app/tileworker.h"
#include "core/batchplan.h"
#include "core/error.h"
#include "core/naming.h"
#include "core/pagelayout.h"
#include "core/proxy.h"

namespace velmora {

void Actions::downpicClick()
{
    // A press by the user starts the refill bound afresh.
    d->resetRefillBound();
    startDownload();
}

void Actions::startDownload()
{
    GetIEProxy("http", m_state.ProxyHost, m_state.ProxyPort);
    if (m_state.ProxyPort == 0)
        m_view.setLabel(QStringLiteral("你的IE没有使用的代理服务器"));
    m_view.setLabel(QStringLiteral("下载中"));

    if (m_state.PicBaseUrl.empty())
        return;
    // The page layout comes with the picture address; without it there is nothing to
    // name tiles by.
    if (!IsSupportedTileCount(m_state.TilesPerPage))
        throw Error("cannot download: the number of tiles per page is not known; press 初始化 first");

    m_view.setButtonEnabled(MainView::Button::Downpic, false);
    StrToInt(m_view.boxText(MainView::Box::Edit1).toStdString());

    m_state.RefererUrl = m_view.boxText(MainView::Box::ISBN).toStdString();
    m_state.DownloadBaseUrl = m_state.PicBaseUrl;
    m_state.DownloadLimiter = std::make_shared<Limiter>(m_state.TilesPerPage);
    m_state.BatchIndex = 0;
    ++d->downloadRun;
    d->batchCompleted = false;

    readPageRange();
    const int first = m_state.StartPage;
    const int last = m_state.LastPage;
    if (first > last)
        return;

    const long long lastOfBatch = BatchPlan::lastPage(first, last, 0);
    const long long pages = lastOfBatch - first + 1;
    const long long total = pages * m_state.TilesPerPage;
    m_state.DownloadTotal = static_cast<int>(total);

    m_view.setCounterMinimum(0);
    m_view.setCounterMaximum(m_state.DownloadTotal);
    m_view.setCounterStep(1);
    m_view.setCounterPosition(0);

    scheduleBatch(first, lastOfBatch, 0);
}

void Actions::dothread(int batch)
{
    m_view.setCounterPosition(0);
    readPageRange();
    m_state.DownloadTotal = BatchPlan::PagesPerBatch * m_state.TilesPerPage;
    m_view.setCounterMaximum(m_state.DownloadTotal);
    d->batchCompleted = false;

    scheduleBatch(BatchPlan::firstPage(m_state.StartPage, m_state.LastPage, batch),
                  BatchPlan::lastPage(m_state.StartPage, m_state.LastPage, batch), batch);
}

void Actions::scheduleBatch(long long first, long long last, int batch)
{
    const quint64 run = d->downloadRun;
    for (long long page = first; page <= last; ++page) {
        m_view.processPendingEvents();
        // A press made while this loop processed messages has taken over.
        if (run != d->downloadRun || batch != m_state.BatchIndex)
            return;
        for (int tile = 0; tile < m_state.TilesPerPage; ++tile)
            ScheduleTile(static_cast<int>(page), tile);
    }
}

void Actions::ScheduleTile(int page, int tile)
{
    bool countNow = false;
    try {
        const std::string tileUrl = TileUrl(m_state.DownloadBaseUrl, page, tile);
        const std::string tileFile = TileFile(m_state.SaveDir, page, tile);
        if (GetFileSize(PageImage(m_state.SaveDir, page)) > 0) {
            countNow = true;
        } else {
            TileWorkerSettings settings;
            settings.limiter = m_state.DownloadLimiter;
            settings.proxyTicked = m_proxyTicked;
            settings.proxyHost = m_state.ProxyHost;
            settings.proxyPort = m_state.ProxyPort;
            settings.pause = m_pauses.afterTileRequest;

            auto *worker = new ISO(tileUrl, m_state.RefererUrl, tileFile, page, std::move(settings));
            // No thread could be made for it: count the tile all the same so the batch
            // completes; the refill after assembly fetches it again.
            if (!startWorker(worker, &Actions::DownloadThreadDone, d->downloadRun))
                countNow = true;
        }
    } catch (const std::exception &) {
        // The tile could not be scheduled; like a failed fetch it is counted, and the
        // refill heals it.
        countNow = true;
    }
    if (countNow)
        countDownloadTile();
}

void Actions::countDownloadTile()
{
    m_view.stepCounter();
    const bool completes = !d->batchCompleted && m_view.counterPosition() == m_state.DownloadTotal;
    if (completes)
        d->batchCompleted = true;
    const quint64 run = d->downloadRun;
    const int batch = m_state.BatchIndex;
    m_view.processPendingEvents();
    if (completes && run == d->downloadRun && batch == m_state.BatchIndex)
        CheckBatchComplete();
}

void Actions::DownloadThreadDone(quint64 run)
{
    if (run != d->downloadRun)
        return;
    countDownloadTile();
}

void Actions::CheckBatchComplete()
{
    if (BatchPlan::isLast(m_state.StartPage, m_state.LastPage, m_state.BatchIndex)) {
        FinishDownload();
        return;
    }
    ++m_state.BatchIndex;
    dothread(m_state.BatchIndex);
}

void Actions::FinishDownload()
{
    m_view.setPanel(1, QStringLiteral("下载完毕"));
    m_view.setLabel(QStringLiteral("下载完毕"));
    m_view.setButtonEnabled(MainView::Button::Downpic, true);
    m_view.waitWithMessages(m_pauses.beforeAutoPressMs);
    Button3Click();
}

} // namespace velmora
