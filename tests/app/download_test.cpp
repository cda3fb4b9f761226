#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "actionsfixture.h"
#include "core/naming.h"

using namespace velmora;
using Box = MainView::Box;
using Button = MainView::Button;

namespace fs = std::filesystem;

namespace {

int tileRequests(const site::FakeSite &site)
{
    int count = 0;
    for (const auto &request : site.requests())
        if (request.path.find("/900/") != std::string::npos)
            ++count;
    return count;
}

void touchPageImage(const std::string &path, const std::string &content = "jpeg")
{
    std::ofstream(path, std::ios::binary) << content;
}

} // namespace

using Download = ActionsFixture;

TEST_F(Download, DefaultRangeFetchesEveryTileThenAssembles)
{
    startSite();
    ASSERT_TRUE(initialise());
    // Initialise filled in the issue's 96 pages; the user goes back to the default range.
    view.boxes[Box::Edit7] = "5";
    ASSERT_TRUE(downloadUntilDone());

    EXPECT_TRUE(view.errors.isEmpty()) << view.errors.join("\n").toStdString();
    EXPECT_EQ(tileRequests(*site), 4 * 12);
    for (int page = 1; page <= 4; ++page)
        EXPECT_GT(GetFileSize(pageImage(page)), 0) << page;
    EXPECT_EQ(GetFileSize(pageImage(5)), -1);
    EXPECT_EQ(tileFilesLeft(), 0);

    // Label and panel texts in the order the user sees them.
    const QStringList labels = view.entries("label");
    EXPECT_EQ(labels.mid(labels.size() - 3),
              QStringList({"label: 你的IE没有使用的代理服务器", "label: 下载中", "label: 下载完毕"}));
    EXPECT_TRUE(view.entries("panel1").contains(QStringLiteral("panel1: 第4页下载完毕")));
    EXPECT_TRUE(view.entries("panel0").contains(QStringLiteral("panel0: 进行第1页下载")));
    EXPECT_TRUE(view.entries("panel1").contains(QStringLiteral("panel1: 第4页组合成功")));
    EXPECT_TRUE(view.entries("panel0").contains(QStringLiteral("panel0: 进行第1个页面图片组合")));
    const int finished = view.log.indexOf(QStringLiteral("panel1: 下载完毕"));
    ASSERT_GE(finished, 0);
    EXPECT_EQ(view.log.mid(finished, 4),
              QStringList({"panel1: 下载完毕", "label: 下载完毕", "enabled downpic: 1", "wait: 20"}));
    EXPECT_EQ(view.log.mid(finished + 4, 1), QStringList("enabled Button3: 0"));
    EXPECT_EQ(view.panels[1], QStringLiteral("组图完毕"));
    EXPECT_EQ(view.counter.position(), 48);
    EXPECT_EQ(view.counter.maximum(), 48);
    EXPECT_TRUE(view.enabled[Button::Downpic]);
    EXPECT_TRUE(view.enabled[Button::Button3]);
}

TEST_F(Download, RangesInBatches)
{
    struct Row
    {
        int start;
        int total; // the total-pages box; the range ends one below it
        int pages;
        int tiles;
    };
    const Row rows[] = {
        {1, 62, 61, 12}, // one batch of 61 pages
        {1, 63, 62, 12}, // 2 pages, then 60
        {3, 125, 122, 12}, // 2 pages, 60, 60
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("start " + std::to_string(row.start) + " total " + std::to_string(row.total));
        site::Issue issue;
        issue.pageCount = 200;
        issue.tileWidth = 12;
        issue.tileHeight = 16;
        site::Scenario scenario;
        scenario.issues = {issue};
        if (site)
            site->stop();
        view = RecordingView();
        startSite(scenario);
        ASSERT_TRUE(initialise());
        view.boxes[Box::Edit4] = QString::number(row.start);
        view.boxes[Box::Edit7] = QString::number(row.total);
        ASSERT_TRUE(downloadUntilDone());
        EXPECT_TRUE(view.errors.isEmpty()) << view.errors.join("\n").toStdString();
        EXPECT_EQ(tileRequests(*site), row.pages * row.tiles);
        for (int page = row.start; page < row.total; ++page)
            ASSERT_GT(GetFileSize(pageImage(page)), 0) << page;
        EXPECT_EQ(view.entries("panel1: 下载完毕").size(), 1);
        EXPECT_EQ(tileFilesLeft(), 0);
        fs::remove_all(state.SaveDir);
    }
}

TEST_F(Download, PagesWithImagesCostNoRequest)
{
    startSite();
    ASSERT_TRUE(initialise());
    view.boxes[Box::Edit7] = "5";
    for (int page = 1; page <= 4; ++page)
        touchPageImage(pageImage(page));
    // An empty page image is no page image: its tiles are fetched again.
    touchPageImage(pageImage(3), "");
    ASSERT_TRUE(downloadUntilDone());
    EXPECT_EQ(tileRequests(*site), 12);
    EXPECT_EQ(site->countRequests("0003_4_3.jpg"), 1);
    EXPECT_EQ(view.panels[1], QStringLiteral("组图完毕"));
    EXPECT_GT(GetFileSize(pageImage(3)), 0);

    // Every page present: no worker at all, Assemble is still pressed.
    site->clearLog();
    view.log.clear();
    ASSERT_TRUE(downloadUntilDone());
    EXPECT_EQ(tileRequests(*site), 0);
    EXPECT_EQ(view.entries("panel1: 下载完毕").size(), 1);
    EXPECT_EQ(view.entries("enabled Button3").size(), 2);
}

TEST_F(Download, PressesThatDoNotStartARun)
{
    startSite();
    // Before Initialise: only the label changes.
    actions->reportErrors([this] { actions->downpicClick(); });
    EXPECT_EQ(view.label, QStringLiteral("下载中"));
    EXPECT_TRUE(view.enabled[Button::Downpic]);
    EXPECT_TRUE(view.errors.isEmpty());

    ASSERT_TRUE(initialise());
    // An empty range: nothing is scheduled and Download stays disabled.
    view.boxes[Box::Edit4] = "5";
    view.boxes[Box::Edit7] = "5";
    actions->reportErrors([this] { actions->downpicClick(); });
    RecordingView::runUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(view.label, QStringLiteral("下载中"));
    EXPECT_FALSE(view.enabled[Button::Downpic]);
    EXPECT_EQ(tileRequests(*site), 0);
    EXPECT_TRUE(view.errors.isEmpty());

    // A box that is no number: the conversion error, Download stays disabled, and the
    // start page read before the bad box is kept.
    ASSERT_TRUE(initialise());
    view.boxes[Box::Edit4] = "2";
    view.boxes[Box::Edit7] = "x5";
    actions->reportErrors([this] { actions->downpicClick(); });
    ASSERT_EQ(view.errors.size(), 1);
    EXPECT_EQ(view.errors[0], QStringLiteral("'x5' is not a valid integer value"));
    EXPECT_EQ(state.StartPage, 2);
    EXPECT_FALSE(view.enabled[Button::Downpic]);
    EXPECT_EQ(tileRequests(*site), 0);
}

TEST_F(Download, FailingTilesAreHealedByTheRefill)
{
    site::Scenario scenario;
    scenario.faults = {
        {"0002_3_2.jpg", site::FaultKind::Status404, 1, 0},
        {"0003_1_1.jpg", site::FaultKind::Status500, 2, 0},
        {"0004_2_2.jpg", site::FaultKind::Truncated, 1, 0},
        {"0001_4_3.jpg", site::FaultKind::EmptyBody, 2, 0},
    };
    startSite(scenario);
    ASSERT_TRUE(initialise());
    view.boxes[Box::Edit7] = "5";
    ASSERT_TRUE(downloadUntilDone());
    EXPECT_TRUE(view.errors.isEmpty()) << view.errors.join("\n").toStdString();
    EXPECT_EQ(view.panels[1], QStringLiteral("组图完毕"));
    for (int page = 1; page <= 4; ++page)
        EXPECT_GT(GetFileSize(pageImage(page)), 0) << page;
    EXPECT_EQ(tileFilesLeft(), 0);
    EXPECT_GE(view.entries("panel1: 补图开始").size(), 1);
    EXPECT_EQ(site->countRequests("0002_3_2.jpg"), 2);
    EXPECT_EQ(site->countRequests("0003_1_1.jpg"), 3);
    // Empty twice: two requests in the first run, one more in the refill.
    EXPECT_EQ(site->countRequests("0001_4_3.jpg"), 3);
    // The truncated tile made its page fail to stitch; all its tiles came again.
    EXPECT_EQ(site->countRequests("0004_1_1.jpg"), 2);
}

TEST_F(Download, ATileThatNeverComesStopsTheRefill)
{
    site::Scenario scenario;
    scenario.faults = {{"0003_2_2.jpg", site::FaultKind::Status404, -1, 0}};
    startSite(scenario);
    ASSERT_TRUE(initialise());
    view.boxes[Box::Edit7] = "5";
    ASSERT_TRUE(downloadUntilDone());
    EXPECT_TRUE(view.errors.isEmpty()) << view.errors.join("\n").toStdString();
    EXPECT_EQ(view.panels[1], QStringLiteral("补图停止"));
    EXPECT_EQ(view.label, QStringLiteral("第3页仍缺图片"));
    EXPECT_TRUE(view.enabled[Button::Downpic]);
    EXPECT_TRUE(view.enabled[Button::Button3]);
    EXPECT_EQ(view.entries("panel1: 补图开始").size(), 3);
    // The first run and three refills.
    EXPECT_EQ(site->countRequests("0003_2_2.jpg"), 4);
    EXPECT_GT(GetFileSize(pageImage(2)), 0);
    EXPECT_EQ(GetFileSize(pageImage(3)), -1);

    // The user presses Download again once the site has mended the tile.
    site->setScenario({});
    view.log.clear();
    ASSERT_TRUE(downloadUntilDone());
    EXPECT_EQ(view.panels[1], QStringLiteral("组图完毕"));
    EXPECT_GT(GetFileSize(pageImage(3)), 0);
}

TEST_F(Download, EndsOfAnEarlierRunAreNotCounted)
{
    // Every tile takes a while, so the first run is still fetching when the user
    // initialises again and presses Download: two runs overlap.
    site::Scenario scenario;
    scenario.faults = {{"*", site::FaultKind::Slow, -1, 150}};
    startSite(scenario);
    ASSERT_TRUE(initialise());
    view.boxes[Box::Edit7] = "5";

    int tilesWhenDone = -1;
    view.onPanel = [&](int panel, const QString &text) {
        if (panel != 1 || text != QStringLiteral("下载完毕") || tilesWhenDone >= 0)
            return;
        tilesWhenDone = 0;
        for (int page = 1; page <= 4; ++page)
            for (int tile = 0; tile < 12; ++tile)
                tilesWhenDone += GetFileSize(TileFile(state.SaveDir, page, tile)) > 0 ? 1 : 0;
    };

    actions->reportErrors([this] { actions->downpicClick(); });
    RecordingView::runUntil([&] { return site->countRequests(".jpg") >= 6; });
    ASSERT_TRUE(initialise());
    view.boxes[Box::Edit7] = "5";
    ASSERT_TRUE(downloadUntilDone());

    EXPECT_TRUE(view.errors.isEmpty()) << view.errors.join("\n").toStdString();
    // The second run finished only when all of its own tiles were there.
    EXPECT_EQ(tilesWhenDone, 48);
    EXPECT_EQ(view.entries("panel1: 下载完毕").size(), 1);
    EXPECT_EQ(view.panels[1], QStringLiteral("组图完毕"));
}
