// Initialise: read the reader page, ask the site for the page layout, and
// prepare the output folder.

#include "app/actions.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include <sys/stat.h>

#include "app/actionsprivate.h"
#include "core/atomicfile.h"
#include "core/encoding.h"
#include "core/error.h"
#include "core/http.h"
#include "core/naming.h"
#include "core/pagelayout.h"
#include "core/readerpage.h"
#include "core/text.h"

namespace velmora {

namespace {

// Attempts at fetching the reader page; a failure is repeated at once.
constexpr int ReaderPageAttempts = 20;
// Past this, a failing fetch is not repeated any more, so a dead host cannot keep the
// window waiting for twenty connect time-outs.
constexpr auto ReaderPageRetryBudget = std::chrono::seconds(30);

// Longest name a folder may have on Linux, in bytes.
constexpr std::size_t MaxNameBytes = 255;

void fetchReaderPage(const std::string &address, const std::string &file)
{
    const auto start = std::chrono::steady_clock::now();
    for (int attempt = 1;; ++attempt) {
        try {
            FetchToFile(address, file);
            return;
        } catch (const Error &e) {
            // An HTTP status will be the same when asked again at once.
            const bool httpStatus = e.code() >= 400;
            if (httpStatus || attempt >= ReaderPageAttempts
                || std::chrono::steady_clock::now() - start > ReaderPageRetryBudget)
                throw;
        }
    }
}

// The folder name for a title: UTF-8, at most one file name long (cut at a character
// boundary), and never "." or "..", which would put the output outside the program folder.
std::string folderNameFor(const std::string &gbkTitle)
{
    std::string name = GbkToUtf8(gbkTitle);
    if (name.size() > MaxNameBytes) {
        std::size_t cut = MaxNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
        name = Trim(name);
    }
    if (name == "." || name == "..")
        name.clear();
    return name;
}

void makeOutputFolder(const std::string &folder)
{
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return;
        throw Error("cannot create the output folder \"" + folder
                    + "\": a file of that name is in the way", EEXIST);
    }
    if (::mkdir(folder.c_str(), 0777) != 0) {
        const int err = errno;
        throw Error("cannot create the output folder \"" + folder + "\": " + std::strerror(err),
                    err);
    }
}

} // namespace

void Actions::Button1Click()
{
    m_view.setButtonEnabled(MainView::Button::Downpic, false);
    m_view.setBoxText(MainView::Box::Edit7, QString());
    m_state.PicBaseUrl.clear();
    m_view.setLabel(QStringLiteral("初始化获取下载参数中...."));

    // The page goes to the program folder whole or not at all; a failed fetch ends the
    // action, so the page of an earlier issue is never read as this one.
    const QString address = m_view.boxText(MainView::Box::ISBN);
    const std::string indexFile = m_state.AppDir + "index.html";
    fetchReaderPage(address.trimmed().toStdString(), indexFile);

    const std::string page = Utf8ToGbk(NormaliseLines(ReadWholeFile(indexFile)));

    m_state.MagazineTitle = ParseTitle(page, m_state.MagazineTitle);

    m_view.setBoxText(MainView::Box::Edit7, QString::fromStdString(GbkToUtf8(ParsePageCount(page))));
    StrToInt(m_view.boxText(MainView::Box::Edit7).toStdString());

    m_state.PicBaseUrl = ParsePicBaseUrl(page, m_site.picturePrefix());

    const std::string itemId = ParseItemId(Utf8ToGbk(address.toStdString()));
    const std::string magazineId = ParseMagazineId(page);

    const std::string answer = PostForm(m_site.pageLayoutUrl(), PageLayoutQueryBody(itemId, magazineId));
    const int tiles = TileCountFromAnswer(answer);
    // Below twelve the refill would go on for ever.
    if (!IsSupportedTileCount(tiles))
        throw Error("the site reports " + std::to_string(tiles)
                    + " tiles per page; only issues of 12 to 18 tiles per page can be downloaded");
    m_state.TilesPerPage = tiles;
    m_view.setBoxText(MainView::Box::Edit1, QString::number(tiles));

    m_state.MagazineTitle = Trim(m_state.MagazineTitle);
    m_state.SaveDir = m_state.AppDir + folderNameFor(m_state.MagazineTitle);
    makeOutputFolder(m_state.SaveDir);

    m_view.setLabel(QStringLiteral("已获取下载参数，可以点击下载"));
    m_view.setButtonEnabled(MainView::Button::Downpic, true);
}

} // namespace velmora
