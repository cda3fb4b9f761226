#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "actionsfixture.h"
#include "core/atomicfile.h"
#include "core/encoding.h"

using namespace velmora;
using Box = MainView::Box;
using Button = MainView::Button;

namespace fs = std::filesystem;

using Initialise = ActionsFixture;

TEST_F(Initialise, FillsStateBoxesAndFolder)
{
    startSite();
    ASSERT_TRUE(initialise()) << view.errors.join("\n").toStdString();

    EXPECT_EQ(view.label, QStringLiteral("已获取下载参数，可以点击下载"));
    EXPECT_TRUE(view.enabled[Button::Downpic]);
    EXPECT_EQ(view.boxes[Box::Edit7], "96");
    EXPECT_EQ(view.boxes[Box::Edit1], "12");
    EXPECT_EQ(state.TilesPerPage, 12);
    EXPECT_EQ(state.PicBaseUrl, "http://" + site->host() + "/data/magazine/2011/0520/k7x/");
    EXPECT_EQ(GbkToUtf8(state.MagazineTitle), "样刊周报2011_05_-春季-夏季 -");
    EXPECT_EQ(state.SaveDir, state.AppDir + "样刊周报2011_05_-春季-夏季 -");
    EXPECT_TRUE(fs::is_directory(state.SaveDir));
    EXPECT_TRUE(fs::exists(state.AppDir + "index.html"));

    // The label and the boxes went through the designed states in order.
    EXPECT_EQ(view.entries("label").first(), QStringLiteral("label: 初始化获取下载参数中...."));
    EXPECT_EQ(view.entries("enabled downpic"), QStringList({"enabled downpic: 0", "enabled downpic: 1"}));

    int posts = 0;
    for (const auto &request : site->requests()) {
        if (request.method != "POST")
            continue;
        ++posts;
        EXPECT_EQ(request.path, "/magazine/reader/ajaxOriginalPage/");
        EXPECT_EQ(request.body, "current_arr=0&item_id=547882&magazine_id=4711");
        EXPECT_EQ(request.headers.at("content-type"), "application/x-www-form-urlencoded");
    }
    EXPECT_EQ(posts, 1);
}

TEST_F(Initialise, LayoutAnswers)
{
    struct Row
    {
        const char *answer;
        bool ok;
        const char *errorPart;
    };
    const Row rows[] = {
        {R"({"right_page_arr":[1,2,3,4,5,6,7,8,9,10,11,12]} trailing <html>)", true, ""},
        {R"({"right_page_arr":null})", false, "right_page_arr"},
        {R"({"right_page_arr":{"a":1}})", false, "right_page_arr"},
        {R"({"right_page_arr":"twelve"})", false, "right_page_arr"},
        {R"(<html>busy</html>)", false, "page-layout answer"},
        {R"({"right_page_arr":[]})", false, "0 tiles per page"},
        {R"({"right_page_arr":[1,2,3,4,5,6,7,8,9,10,11]})", false, "11 tiles per page"},
        {R"({"right_page_arr":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19]})", false, "19 tiles per page"},
    };
    startSite();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.answer);
        site::Scenario scenario;
        scenario.layoutAnswer = row.answer;
        site->setScenario(scenario);
        const std::string appDir = state.AppDir;
        state = AppState();
        state.AppDir = appDir;
        view.errors.clear();
        EXPECT_EQ(initialise(), row.ok);
        EXPECT_EQ(view.enabled[Button::Downpic], row.ok);
        if (!row.ok) {
            ASSERT_EQ(view.errors.size(), 1);
            EXPECT_TRUE(view.errors[0].contains(row.errorPart)) << view.errors[0].toStdString();
            // The picture address was read before the answer; the layout stays unknown.
            EXPECT_FALSE(state.PicBaseUrl.empty());
            EXPECT_EQ(state.TilesPerPage, 0);
            EXPECT_EQ(view.label, QStringLiteral("初始化获取下载参数中...."));
        }
    }
}

TEST_F(Initialise, FailedFetchNeverReadsAnEarlierPage)
{
    startSite();
    ASSERT_TRUE(initialise());
    const std::string firstTitle = state.MagazineTitle;
    const std::string earlierPage = ReadWholeFile(state.AppDir + "index.html");

    // An issue the site does not know: 404.
    EXPECT_FALSE(initialise(999));
    ASSERT_EQ(view.errors.size(), 1);
    EXPECT_TRUE(view.errors[0].contains("reader_999.html")) << view.errors[0].toStdString();
    EXPECT_TRUE(view.errors[0].contains("404")) << view.errors[0].toStdString();
    EXPECT_FALSE(view.enabled[Button::Downpic]);
    EXPECT_TRUE(state.PicBaseUrl.empty());
    EXPECT_EQ(view.boxes[Box::Edit7], "");
    EXPECT_EQ(state.MagazineTitle, firstTitle);
    EXPECT_EQ(ReadWholeFile(state.AppDir + "index.html"), earlierPage);

    // No server at all.
    const std::string address = "http://" + site->host() + "/magazine/reader_547882.html";
    site->stop();
    view.boxes[Box::ISBN] = QString::fromStdString(address);
    view.errors.clear();
    actions->reportErrors([this] { actions->Button1Click(); });
    ASSERT_EQ(view.errors.size(), 1);
    EXPECT_TRUE(view.errors[0].contains(QString::fromStdString(address))) << view.errors[0].toStdString();
    EXPECT_FALSE(view.enabled[Button::Downpic]);
}

TEST_F(Initialise, OnlyHttpAddressesAreFetched)
{
    startSite();
    std::ofstream(programDir.file("secret.html")) << "<title>x - Velmora阅读</title>";
    view.boxes[Box::ISBN] = QString::fromStdString("file://" + programDir.file("secret.html"));
    actions->reportErrors([this] { actions->Button1Click(); });
    ASSERT_EQ(view.errors.size(), 1);
    EXPECT_FALSE(fs::exists(state.AppDir + "index.html"));
    EXPECT_FALSE(view.enabled[Button::Downpic]);
}

TEST_F(Initialise, PageWithoutTitleKeepsThePreviousOne)
{
    site::Issue untitled;
    untitled.itemId = 600001;
    untitled.withTitle = false;
    site::Scenario scenario;
    scenario.issues.push_back(untitled);
    startSite(scenario);
    ASSERT_TRUE(initialise());
    const std::string saveDir = state.SaveDir;
    const std::string title = state.MagazineTitle;
    ASSERT_TRUE(initialise(600001));
    EXPECT_EQ(state.MagazineTitle, title);
    EXPECT_EQ(state.SaveDir, saveDir);
}

TEST_F(Initialise, OutputFolderThatCannotBeCreated)
{
    startSite();
    std::ofstream(programDir.file("样刊周报2011_05_-春季-夏季 -")) << "in the way";
    EXPECT_FALSE(initialise());
    ASSERT_EQ(view.errors.size(), 1);
    EXPECT_TRUE(view.errors[0].contains(QStringLiteral("样刊周报2011_05_-春季-夏季 -"))) << view.errors[0].toStdString();
    EXPECT_FALSE(view.enabled[Button::Downpic]);
    EXPECT_NE(view.label, QStringLiteral("已获取下载参数，可以点击下载"));
}

TEST_F(Initialise, TitlesThatCannotBeFolderNames)
{
    struct Row
    {
        std::string title;
        std::string folder;
    };
    // 120 three-byte characters: 360 bytes of UTF-8, 240 of GBK (fits the title window).
    std::string longTitle;
    for (int i = 0; i < 120; ++i)
        longTitle += "页";
    const Row rows[] = {
        {".", ""},
        {"..", ""},
        {"Different title", ""}, // lacks the site's name: the program folder itself
        {longTitle, longTitle.substr(0, 85 * 3)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.title);
        site::Issue issue;
        issue.titleText = row.title == "Different title" ? row.title : row.title + "Velmora阅读";
        site::Scenario scenario;
        scenario.issues = {issue};
        if (site)
            site->stop();
        startSite(scenario);
        ASSERT_TRUE(initialise()) << view.errors.join("\n").toStdString();
        EXPECT_EQ(state.SaveDir, state.AppDir + row.folder);
        EXPECT_TRUE(fs::is_directory(state.SaveDir));
    }
}
