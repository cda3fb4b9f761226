#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/statusworker.h"
#include "core/limiter.h"
#include "core/stitcher.h"

namespace velmora {

// Stitchers kept from page to page so their canvas and codec handles are reused.
// Page workers borrow one while they hold the assembly permit; runs that overlap get
// one each.
class StitcherPool
{
public:
    explicit StitcherPool(PageStitcher::Pauses pauses) : m_pauses(pauses) {}

    std::unique_ptr<PageStitcher> take();
    void give(std::unique_ptr<PageStitcher> stitcher);

private:
    PageStitcher::Pauses m_pauses;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<PageStitcher>> m_idle;
};

// Stitches one page on a thread of its own while it holds the single assembly permit,
// then reports on the two status panels. A failure leaves the page image missing.
class mkpic : public StatusWorker
{
    Q_OBJECT

public:
    static constexpr uint StackSize = 512 * 1024;

    mkpic(std::string pageBase, int pageOrdinal, int tilesPerPage,
          std::shared_ptr<Limiter> limiter, std::shared_ptr<StitcherPool> stitchers);

    const std::string PageBase;
    const int PageOrdinal;

private:
    void Execute() override;
    void ReportStart();

    int m_tilesPerPage;
    std::shared_ptr<Limiter> m_limiter;
    std::shared_ptr<StitcherPool> m_stitchers;
};

} // namespace velmora
