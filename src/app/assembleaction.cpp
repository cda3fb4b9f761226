// Assemble: one page worker per page without an image, one page at a time, then the
// check for missing pages that starts the refill.

#include "app/actions.h"

#include <climits>

#include <QStringList>

#include "app/actionsprivate.h"
#include "app/pageworker.h"
#include "core/error.h"
#include "core/naming.h"
#include "core/pagelayout.h"

namespace velmora {

namespace {

// The pages of the range still missing, in the window's own words:
// "第3、7页仍缺图片", or with many "第3、7、9、12、15页等20页仍缺图片".
QString missingPagesText(const QList<int> &pages)
{
    constexpr int Listed = 5;
    QStringList numbers;
    for (int i = 0; i < pages.size() && i < Listed; ++i)
        numbers << QString::number(pages[i]);
    QString text = QStringLiteral("第") + numbers.join(QStringLiteral("、")) + QStringLiteral("页");
    if (pages.size() > Listed)
        text += QStringLiteral("等%1页").arg(pages.size());
    return text + QStringLiteral("仍缺图片");
}

} // namespace

void Actions::Button3Click()
{
    // Without a finished Initialise there is no folder to stitch in: an empty SaveDir
    // would put page images at the root of the file system.
    if (m_state.SaveDir.empty() || !IsSupportedTileCount(m_state.TilesPerPage))
        throw Error("cannot assemble pages: the issue is not known yet; press 初始化 first");

    m_view.setButtonEnabled(MainView::Button::Button3, false);
    m_state.AssemblyLimiter = std::make_shared<Limiter>(1);

    const int total = StrToInt(m_view.boxText(MainView::Box::Edit7).toStdString());
    const int first = StrToInt(m_view.boxText(MainView::Box::Edit4).toStdString());
    const int tiles = m_state.TilesPerPage;

    const long long steps = (static_cast<long long>(total) - first) * tiles;
    if (steps > INT_MAX)
        throw RangeError("the page range " + std::to_string(first) + " to " + std::to_string(total - 1)
                         + " is too long");
    m_state.AssemblyTotal = static_cast<int>(steps < INT_MIN ? INT_MIN : steps);
    m_view.setCounterMinimum(0);
    m_view.setCounterMaximum(m_state.AssemblyTotal);
    m_view.setCounterStep(tiles);
    m_view.setCounterPosition(0);

    ++d->assemblyRun;
    d->assemblyCompleted = false;
    const quint64 run = d->assemblyRun;

    for (int page = first; page < total; ++page) {
        m_view.processPendingEvents();
        // A press made while this loop processed messages has taken over.
        if (run != d->assemblyRun)
            return;
        bool countNow = false;
        try {
            const std::string pageBase = PageBase(m_state.SaveDir, page);
            if (GetFileSize(PageImage(m_state.SaveDir, page)) > 0) {
                countNow = true;
            } else {
                auto *worker = new mkpic(pageBase, page - first, tiles, m_state.AssemblyLimiter,
                                         d->stitchers);
                // No thread for it: count the page so the run completes; the check
                // at its end finds the page missing and starts the refill.
                if (!startWorker(worker, &Actions::AssemblyThreadDone, run))
                    countNow = true;
            }
        } catch (const std::exception &) {
            countNow = true;
        }
        if (countNow)
            countAssembledPage();
    }
}

void Actions::AssemblyThreadDone(quint64 run)
{
    if (run != d->assemblyRun)
        return;
    countAssembledPage();
}

void Actions::countAssembledPage()
{
    m_view.stepCounter();
    if (d->assemblyCompleted || m_view.counterPosition() != m_state.AssemblyTotal)
        return;
    d->assemblyCompleted = true;
    finishAssembly();
}

void Actions::finishAssembly()
{
    m_view.setButtonEnabled(MainView::Button::Button3, true);
    readPageRange();
    const int first = m_state.StartPage;
    const int last = m_state.LastPage;
    if (!HasMissingPage(first, last)) {
        m_view.setPanel(1, QStringLiteral("组图完毕"));
        d->resetRefillBound();
        return;
    }

    QList<int> missing;
    int present = 0;
    for (int page = first; page <= last; ++page) {
        if (GetFileSize(PageImage(m_state.SaveDir, page)) > 0)
            ++present;
        else
            missing << page;
    }
    // A page that can never be fetched or stitched would keep the refill going for
    // ever; after a few refills in a row that add nothing, stop and say what is missing.
    if (d->inRefillCycle && present <= d->pagesPresentAtLastRefill)
        ++d->fruitlessRefills;
    else
        d->fruitlessRefills = 0;
    if (d->fruitlessRefills >= MaxFruitlessRefills) {
        d->resetRefillBound();
        m_view.setPanel(1, QStringLiteral("补图停止"));
        m_view.setLabel(missingPagesText(missing));
        m_view.setButtonEnabled(MainView::Button::Downpic, true);
        m_view.setButtonEnabled(MainView::Button::Button3, true);
        return;
    }
    d->inRefillCycle = true;
    d->pagesPresentAtLastRefill = present;

    m_view.setPanel(1, QStringLiteral("补图开始"));
    m_view.waitWithMessages(m_pauses.beforeAutoPressMs);
    startDownload();
}

} // namespace velmora
