#include "app/actions.h"

#include <exception>

#include "app/actionsprivate.h"
#include "app/statusworker.h"
#include "core/error.h"
#include "core/naming.h"

namespace velmora {

Actions::Actions(AppState &state, MainView &view, SiteConfig site, Pauses pauses, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
    , m_state(state)
    , m_view(view)
    , m_site(std::move(site))
    , m_pauses(pauses)
    , m_proxyTicked(std::make_shared<std::atomic_bool>(false))
{
    d->stitchers = std::make_shared<StitcherPool>(
        PageStitcher::Pauses{m_pauses.afterPageSave, m_pauses.beforeTileRemoval});
}

Actions::~Actions() = default;

void Actions::reportErrors(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        m_view.showError(QString::fromUtf8(e.what()));
    } catch (...) {
        m_view.showError(QStringLiteral("An unknown error occurred."));
    }
}

bool Actions::startWorker(StatusWorker *worker, void (Actions::*onEnd)(quint64), quint64 run)
{
    connect(worker, &StatusWorker::statusText, this,
            [this](int panel, const QString &text) { m_view.setPanel(panel, text); });
    // Attached before the start, so the end is seen however early it comes.
    connect(worker, &QThread::finished, this,
            [this, onEnd, run] { reportErrors([this, onEnd, run] { (this->*onEnd)(run); }); });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
    if (!worker->isRunning() && !worker->isFinished()) {
        delete worker;
        return false;
    }
    return true;
}

void Actions::setProxyTicked(bool ticked)
{
    m_proxyTicked->store(ticked);
}

void Actions::readPageRange()
{
    m_state.StartPage = StrToInt(m_view.boxText(MainView::Box::Edit4).toStdString());
    m_state.LastPage = StrToInt(m_view.boxText(MainView::Box::Edit7).toStdString()) - 1;
}

bool Actions::HasMissingPage(int firstPage, int lastPage) const
{
    for (int page = firstPage; page <= lastPage; ++page) {
        // -1: no such file; 0: an empty one, such as an interrupted save left.
        if (GetFileSize(PageImage(m_state.SaveDir, page)) <= 0)
            return true;
    }
    return false;
}

} // namespace velmora
