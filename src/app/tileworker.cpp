#include "app/tileworker.h"

#include "core/http.h"

namespace velmora {

ISO::ISO(std::string tileUrl, std::string refererUrl, std::string tileFile, int page,
         TileWorkerSettings settings)
    : StatusWorker(StackSize)
    , TileUrl(std::move(tileUrl))
    , RefererUrl(std::move(refererUrl))
    , TileFile(std::move(tileFile))
    , Page(page)
    , m_settings(std::move(settings))
{
}

void ISO::Execute()
{
    FetchUrl = TileUrl;
    LimiterPermit permit(m_settings.limiter);
    if (isInterruptionRequested())
        return;

    TileRequest request;
    request.url = FetchUrl;
    request.referer = RefererUrl;
    request.file = TileFile;
    request.useProxy = m_settings.proxyTicked && m_settings.proxyTicked->load();
    request.proxyHost = m_settings.proxyHost;
    request.proxyPort = m_settings.proxyPort;
    request.pause = m_settings.pause;
    DownloadTile(request);

    ReportStart();
    emit statusText(1, QStringLiteral("第%1页下载完毕").arg(Page));
}

void ISO::ReportStart()
{
    emit statusText(0, QStringLiteral("进行第%1页下载").arg(Page));
}

} // namespace velmora
