#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "actionsfixture.h"
#include "core/naming.h"

using namespace velmora;
using Box = MainView::Box;
using Button = MainView::Button;

namespace {

void writeFile(const std::string &path, const std::string &content = "jpeg")
{
    std::ofstream(path, std::ios::binary) << content;
}

} // namespace

class Assemble : public ActionsFixture
{
protected:
    void SetUp() override
    {
        ActionsFixture::SetUp();
        startSite();
        ASSERT_TRUE(initialise());
        view.boxes[Box::Edit4] = "1";
        view.boxes[Box::Edit7] = "5";
        view.log.clear();
    }

    void press()
    {
        actions->reportErrors([this] { actions->Button3Click(); });
    }
};

TEST_F(Assemble, EveryImagePresentEndsAtOnce)
{
    for (int page = 1; page <= 4; ++page)
        writeFile(pageImage(page));
    press();
    EXPECT_TRUE(view.errors.isEmpty()) << view.errors.join("\n").toStdString();
    EXPECT_EQ(view.panels[1], QStringLiteral("组图完毕"));
    EXPECT_EQ(view.entries("panel0").size(), 0);
    EXPECT_EQ(view.counter.position(), 48);
    EXPECT_EQ(view.counter.step(), 12);
    EXPECT_TRUE(view.enabled[Button::Button3]);
    EXPECT_EQ(view.entries("wait").size(), 0);
}

TEST_F(Assemble, MissingTilesStartTheRefill)
{
    // Pages 2 to 4 are done; page 1 has no tiles yet. However the count of page 1 comes
    // in, the run checks the range, fetches page 1 and stitches it.
    for (int page = 2; page <= 4; ++page)
        writeFile(pageImage(page));
    press();
    ASSERT_TRUE(RecordingView::runUntil([&] { return view.panels[1] == QStringLiteral("组图完毕"); }));
    EXPECT_TRUE(view.errors.isEmpty()) << view.errors.join("\n").toStdString();
    EXPECT_EQ(view.entries("panel1: 补图开始").size(), 1);
    const int refill = view.log.indexOf(QStringLiteral("panel1: 补图开始"));
    EXPECT_EQ(view.log.mid(refill + 1, 1), QStringList("wait: 20"));
    EXPECT_EQ(site->countRequests("0001_1_1.jpg"), 1);
    EXPECT_EQ(site->countRequests("0002_1_1.jpg"), 0);
    EXPECT_GT(GetFileSize(pageImage(1)), 0);
    EXPECT_EQ(tileFilesLeft(), 0);
}

TEST_F(Assemble, BoxesThatMakeNoRun)
{
    struct Row
    {
        const char *start;
        const char *total;
        const char *error;
    };
    const Row rows[] = {
        {"1", "x", "'x' is not a valid integer value"},
        {"", "5", "'' is not a valid integer value"},
        {"5", "3", "out of range"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.start) + " / " + row.total);
        view.errors.clear();
        view.enabled[Button::Button3] = true;
        view.boxes[Box::Edit4] = row.start;
        view.boxes[Box::Edit7] = row.total;
        press();
        ASSERT_EQ(view.errors.size(), 1);
        EXPECT_TRUE(view.errors[0].contains(row.error)) << view.errors[0].toStdString();
        EXPECT_FALSE(view.enabled[Button::Button3]);
    }
}

TEST_F(Assemble, RefusedBeforeInitialise)
{
    state.SaveDir.clear();
    state.TilesPerPage = 0;
    press();
    ASSERT_EQ(view.errors.size(), 1);
    EXPECT_TRUE(view.errors[0].contains(QStringLiteral("初始化"))) << view.errors[0].toStdString();
    EXPECT_TRUE(view.enabled[Button::Button3]);
}

TEST_F(Assemble, AnEmptyPageImageIsStitchedAgain)
{
    for (int page = 1; page <= 4; ++page)
        writeFile(pageImage(page));
    writeFile(pageImage(2), "");
    ASSERT_TRUE(downloadUntilDone());
    EXPECT_TRUE(view.errors.isEmpty()) << view.errors.join("\n").toStdString();
    EXPECT_EQ(view.panels[1], QStringLiteral("组图完毕"));
    EXPECT_GT(GetFileSize(pageImage(2)), 100);
    EXPECT_EQ(site->countRequests("0002_2_2.jpg"), 1);
}
