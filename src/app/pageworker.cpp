#include "app/pageworker.h"

namespace velmora {

std::unique_ptr<PageStitcher> StitcherPool::take()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            auto stitcher = std::move(m_idle.back());
            m_idle.pop_back();
            return stitcher;
        }
    }
    return std::make_unique<PageStitcher>(m_pauses);
}

void StitcherPool::give(std::unique_ptr<PageStitcher> stitcher)
{
    std::lock_guard lock(m_mutex);
    m_idle.push_back(std::move(stitcher));
}

mkpic::mkpic(std::string pageBase, int pageOrdinal, int tilesPerPage,
             std::shared_ptr<Limiter> limiter, std::shared_ptr<StitcherPool> stitchers)
    : StatusWorker(StackSize)
    , PageBase(std::move(pageBase))
    , PageOrdinal(pageOrdinal)
    , m_tilesPerPage(tilesPerPage)
    , m_limiter(std::move(limiter))
    , m_stitchers(std::move(stitchers))
{
}

void mkpic::Execute()
{
    LimiterPermit permit(m_limiter);
    if (isInterruptionRequested())
        return;

    auto stitcher = m_stitchers->take();
    struct GiveBack
    {
        StitcherPool &pool;
        std::unique_ptr<PageStitcher> &stitcher;
        ~GiveBack() { pool.give(std::move(stitcher)); }
    } giveBack{*m_stitchers, stitcher};

    stitcher->AssemblePage(PageBase, m_tilesPerPage);

    ReportStart();
    emit statusText(1, QStringLiteral("第%1页组合成功").arg(PageOrdinal + 1));
}

void mkpic::ReportStart()
{
    emit statusText(0, QStringLiteral("进行第%1个页面图片组合").arg(PageOrdinal + 1));
}

} // namespace velmora
