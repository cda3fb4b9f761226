// The real window against the fake site: a user types the reader address, presses
// 初始化, picks a page range of two download batches, presses 下载 and waits for the
// stitched pages. Some tiles fail at first, so the refill has to heal them.

#include "gui/tform1.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include "site/fakesite.h"
#include "support/jpegfixture.h"
#include "support/tempdir.h"

// Readable QString values in failure messages.
static void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace fs = std::filesystem;
namespace site = velmora::site;

namespace {

std::string pageName(int page)
{
    char name[16];
    std::snprintf(name, sizeof name, "%04d.jpg", page);
    return name;
}

// Appends `text` unless it repeats the last entry: the sequence of texts a control showed.
void record(QStringList &seen, const QString &text)
{
    if (seen.isEmpty() || seen.last() != text)
        seen << text;
}

class EndToEnd : public ::testing::Test
{
protected:
    template <typename T>
    static T *control(TForm1 &form, const char *name)
    {
        T *widget = form.findChild<T *>(QString::fromLatin1(name));
        if (!widget)
            throw std::runtime_error(std::string("no control named ") + name);
        return widget;
    }

    // What a user does to replace the text of a box: click into it, select all, type.
    static void typeInto(QLineEdit *box, const QString &text)
    {
        QTest::mouseClick(box, Qt::LeftButton);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, text);
    }
};

TEST_F(EndToEnd, AnIssueOfTwoBatchesWithFailingTilesEndsStitchedPixelForPixel)
{
    site::Issue issue;
    issue.pageCount = 65;
    issue.tilesPerPage = 15;
    issue.tileWidth = 40;
    issue.tileHeight = 50;
    issue.unequalTiles = true;

    // Pages 1 to 5 are the first batch, 6 to 65 the second.
    site::Scenario scenario;
    scenario.issues = {issue};
    scenario.faults = {
        {"0002_3_2.jpg", site::FaultKind::Status404, 1, 0},
        {"0004_5_3.jpg", site::FaultKind::Status500, 2, 0},
        {"0005_1_1.jpg", site::FaultKind::EmptyBody, 1, 0},
        {"0007_2_3.jpg", site::FaultKind::Truncated, 1, 0},
        {"0031_4_1.jpg", site::FaultKind::Status500, 1, 0},
        {"0065_5_2.jpg", site::FaultKind::Status404, 2, 0},
    };

    TempDir programDir;
    site::FakeSite fakeSite(scenario);
    fakeSite.start(0);

    velmora::Pauses pauses;
    pauses.afterTileRequest = std::chrono::milliseconds(0);
    pauses.afterPageSave = std::chrono::milliseconds(0);
    pauses.beforeTileRemoval = std::chrono::milliseconds(0);
    pauses.beforeAutoPressMs = 20;
    velmora::SiteConfig config;
    config.mainHost = fakeSite.host();
    config.pictureHost = fakeSite.host();

    TForm1 form(pauses, config);
    form.state().AppDir = programDir.path() + "/";
    QStringList errors;
    form.errorBox = [&errors](const QString &message) { errors << message; };
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    auto *isbn = control<QLineEdit>(form, "ISBN");
    auto *startBox = control<QLineEdit>(form, "Edit4");
    auto *totalBox = control<QLineEdit>(form, "Edit7");
    auto *threadBox = control<QLineEdit>(form, "Edit1");
    auto *initialise = control<QPushButton>(form, "Button1");
    auto *download = control<QPushButton>(form, "downpic");
    auto *assemble = control<QPushButton>(form, "Button3");
    auto *label = control<QLabel>(form, "Label3");
    auto *panel1 = control<QLabel>(form, "StatusPanel1");
    auto *bar = control<QProgressBar>(form, "ProgressBar1");

    // Initialise.
    const QString address = QString::fromStdString(fakeSite.readerUrl(issue.itemId));
    typeInto(isbn, address);
    ASSERT_EQ(isbn->text(), address);
    QTest::mouseClick(initialise, Qt::LeftButton);
    ASSERT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    EXPECT_EQ(label->text(), QStringLiteral("已获取下载参数，可以点击下载"));
    EXPECT_EQ(totalBox->text(), QStringLiteral("65"));
    EXPECT_EQ(threadBox->text(), QStringLiteral("15"));
    EXPECT_TRUE(download->isEnabled());

    // The folder is named after the page title up to the site's name, with the
    // characters a folder name should not hold replaced and the ends trimmed.
    ASSERT_EQ(issue.title, "样刊周报2011(05):春季-夏季");
    const std::string issueDir = programDir.path() + "/样刊周报2011_05_-春季-夏季 -";
    ASSERT_TRUE(fs::is_directory(issueDir)) << issueDir;

    // The range ends one below the total-pages box, so the whole issue takes 66 there:
    // a first batch of pages 1 to 5, then one of 6 to 65.
    typeInto(startBox, QStringLiteral("1"));
    typeInto(totalBox, QStringLiteral("66"));
    ASSERT_EQ(startBox->text(), QStringLiteral("1"));
    ASSERT_EQ(totalBox->text(), QStringLiteral("66"));

    // The texts are sampled from a timer, which also fires in the loops and waits the
    // actions run nested, so short-lived texts such as "补图开始" are seen too.
    QStringList labelTexts;
    QStringList panelTexts;
    QTimer sampler;
    sampler.setInterval(1);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        record(labelTexts, label->text());
        record(panelTexts, panel1->text());
    });
    sampler.start();

    QTest::mouseClick(download, Qt::LeftButton);
    record(labelTexts, label->text());
    record(panelTexts, panel1->text());
    EXPECT_EQ(label->text(), QStringLiteral("下载中"));

    const QString done = QStringLiteral("组图完毕");
    QElapsedTimer clock;
    clock.start();
    while (panel1->text() != done && errors.isEmpty() && clock.elapsed() < 120000)
        QTest::qWait(10);
    sampler.stop();
    ASSERT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    ASSERT_EQ(panel1->text(), done) << "the cycle did not end; status texts seen: "
                                    << panelTexts.join(" | ").toStdString();

    // The texts the window went through: every download run ends with "下载完毕", and
    // every refill starts another run.
    const int refills = static_cast<int>(panelTexts.count(QStringLiteral("补图开始")));
    EXPECT_GE(refills, 1);
    EXPECT_GE(panelTexts.count(QStringLiteral("下载完毕")), 1 + refills);
    EXPECT_EQ(panelTexts.last(), done);
    QStringList expectedLabels;
    for (int run = 0; run <= refills; ++run)
        expectedLabels << QStringLiteral("下载中") << QStringLiteral("下载完毕");
    // Before the first run: what Initialise left.
    labelTexts.removeAll(QStringLiteral("你的IE没有使用的代理服务器"));
    if (!labelTexts.isEmpty() && labelTexts.first() == QStringLiteral("已获取下载参数，可以点击下载"))
        labelTexts.removeFirst();
    EXPECT_EQ(labelTexts, expectedLabels);

    EXPECT_TRUE(download->isEnabled());
    EXPECT_TRUE(assemble->isEnabled());
    EXPECT_GT(bar->maximum(), bar->minimum());
    EXPECT_EQ(bar->value(), bar->maximum());

    // Every failing tile was asked for again until it came.
    for (const auto &fault : scenario.faults) {
        SCOPED_TRACE(fault.tile);
        EXPECT_GT(fakeSite.countRequests(fault.tile), fault.times);
    }

    // The issue folder holds the 65 page images and nothing else: no tile, no part file.
    std::set<std::string> expectedNames;
    for (int page = 1; page <= 65; ++page)
        expectedNames.insert(pageName(page));
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(issueDir))
        names.insert(entry.path().filename().string());
    std::vector<std::string> extra;
    std::set_difference(names.begin(), names.end(), expectedNames.begin(), expectedNames.end(),
                        std::back_inserter(extra));
    std::vector<std::string> missing;
    std::set_difference(expectedNames.begin(), expectedNames.end(), names.begin(), names.end(),
                        std::back_inserter(missing));
    EXPECT_TRUE(extra.empty()) << "left in the issue folder: " << ::testing::PrintToString(extra);
    EXPECT_TRUE(missing.empty()) << "page images missing: " << ::testing::PrintToString(missing);

    // Each page against the tiles the site made: columns at the widths of tiles (1,1)
    // and (1,2), rows at the heights of the first column.
    const int rows = site::TileRows(issue.tilesPerPage);
    int columnX[4] = {0, 0, 0, 0};
    for (int column = 1; column <= 3; ++column)
        columnX[column] = column == 1 ? 0 : columnX[column - 1] + site::TileSize(issue, 1, column - 1).width;
    std::vector<int> rowY(rows + 1, 0);
    for (int row = 2; row <= rows; ++row)
        rowY[row] = rowY[row - 1] + site::TileSize(issue, row - 1, 1).height;
    const int pageWidth = columnX[3] + site::TileSize(issue, 1, 3).width;
    const int pageHeight = rowY[rows] + site::TileSize(issue, rows, 1).height;

    for (int page = 1; page <= 65; ++page) {
        SCOPED_TRACE("page " + std::to_string(page));
        DecodedJpeg image;
        try {
            image = decodeJpeg(issueDir + "/" + pageName(page));
        } catch (const std::exception &e) {
            ADD_FAILURE() << e.what();
            continue;
        }
        if (image.width != pageWidth || image.height != pageHeight) {
            ADD_FAILURE() << "size " << image.width << "x" << image.height << ", expected "
                          << pageWidth << "x" << pageHeight;
            continue;
        }
        for (int row = 1; row <= rows; ++row) {
            for (int column = 1; column <= 3; ++column) {
                const site::Size size = site::TileSize(issue, row, column);
                const site::Rgb expected = site::TileColour(page, row, column);
                // The centre and two points towards opposite corners, clear of the edges
                // where JPEG blurs neighbouring tiles together.
                const int points[][2] = {{size.width / 2, size.height / 2},
                                         {size.width / 4, size.height / 4},
                                         {size.width * 3 / 4, size.height * 3 / 4}};
                for (const auto &point : points) {
                    const int x = columnX[column] + point[0];
                    const int y = rowY[row] + point[1];
                    const site::Rgb actual = image.pixel(x, y);
                    EXPECT_TRUE(nearColour(actual, expected, 12))
                        << "tile (" << row << "," << column << ") at " << x << "," << y << ": "
                        << describe(actual) << ", expected " << describe(expected);
                }
            }
        }
    }

    // Let the ended workers' deferred deletions run before the window goes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
