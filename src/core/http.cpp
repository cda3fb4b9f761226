#include "core/http.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include <curl/curl.h>

#include "core/atomicfile.h"
#include "core/error.h"
#include "core/naming.h"

namespace velmora {

namespace {

struct EasyDeleter
{
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct SlistDeleter
{
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

// Where the write callback puts the body; refuses to grow past `limit`.
struct BodySink
{
    std::string data;
    std::size_t limit = 0;
    bool overflowed = false;
};

size_t appendToSink(char *ptr, size_t size, size_t count, void *userdata)
{
    auto *sink = static_cast<BodySink *>(userdata);
    const std::size_t bytes = size * count;
    if (bytes > sink->limit - sink->data.size()) {
        sink->overflowed = true;
        return 0; // anything short of `bytes` makes libcurl stop with CURLE_WRITE_ERROR
    }
    try {
        sink->data.append(ptr, bytes);
    } catch (...) {
        return 0;
    }
    return bytes;
}

// One easy handle and everything libcurl keeps pointers to while it works: the error
// buffer, the body sink and the header list. Neither copied nor moved for that reason.
// Every request can be performed more than once; cookies and the connection carry over.
class Transfer
{
public:
    // `context` starts every error message: "while fetching http://...".
    Transfer(const std::string &url, const TransferLimits &limits, std::string context)
        : m_context(std::move(context))
    {
        m_handle.reset(curl_easy_init());
        if (!m_handle)
            throw Error(m_context + ": the network library could not create a request");
        m_errors[0] = '\0';
        m_sink.limit = limits.maxBodyBytes;

        set(CURLOPT_ERRORBUFFER, m_errors);
        set(CURLOPT_NOSIGNAL, 1L);
        set(CURLOPT_URL, url.c_str());
        set(CURLOPT_PROTOCOLS_STR, "http,https");
        set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        set(CURLOPT_FOLLOWLOCATION, 1L);
        set(CURLOPT_MAXREDIRS, limits.maxRedirects);
        set(CURLOPT_CONNECTTIMEOUT, static_cast<long>(limits.connectTimeout.count()));
        set(CURLOPT_LOW_SPEED_LIMIT, 1L);
        set(CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.stallTime.count()));
        set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
        set(CURLOPT_WRITEFUNCTION, appendToSink);
        set(CURLOPT_WRITEDATA, static_cast<void *>(&m_sink));
    }

    Transfer(const Transfer &) = delete;
    Transfer &operator=(const Transfer &) = delete;

    template <typename T>
    void set(CURLoption option, T value)
    {
        const CURLcode code = curl_easy_setopt(m_handle.get(), option, value);
        if (code != CURLE_OK)
            throw Error(m_context + ": the request could not be prepared (" +
                            curl_easy_strerror(code) + ")",
                        code);
    }

    // Adds a request header line; takes effect with applyHeaders().
    void addHeader(const char *line)
    {
        curl_slist *longer = curl_slist_append(m_headers.get(), line);
        if (!longer)
            throw Error(m_context + ": out of memory for the request headers");
        m_headers.release(); // `longer` holds the old entries now
        m_headers.reset(longer);
    }

    void applyHeaders() { set(CURLOPT_HTTPHEADER, m_headers.get()); }

    // Sends the request and returns the final HTTP status; the body is in body().
    // Throws Error(context: reason) when the transfer itself fails.
    long perform()
    {
        m_sink.data.clear();
        m_sink.overflowed = false;
        m_errors[0] = '\0';

        const CURLcode code = curl_easy_perform(m_handle.get());
        if (code != CURLE_OK)
            throw Error(m_context + ": " + reason(code),
                        m_sink.overflowed ? CURLE_FILESIZE_EXCEEDED : code);

        long status = 0;
        const CURLcode infoCode = curl_easy_getinfo(m_handle.get(), CURLINFO_RESPONSE_CODE, &status);
        if (infoCode != CURLE_OK)
            throw Error(m_context + ": " + reason(infoCode), infoCode);
        return status;
    }

    const std::string &body() const { return m_sink.data; }
    const std::string &context() const { return m_context; }

private:
    std::string reason(CURLcode code) const
    {
        if (code == CURLE_FILESIZE_EXCEEDED || m_sink.overflowed)
            return "the answer is larger than " + std::to_string(m_sink.limit) + " bytes";
        if (code == CURLE_UNSUPPORTED_PROTOCOL)
            return "only http and https addresses are fetched";
        std::string text = curl_easy_strerror(code);
        const std::string_view detail(m_errors, ::strnlen(m_errors, sizeof m_errors));
        if (!detail.empty() && detail != text)
            text.append(" (").append(detail).append(")");
        return text;
    }

    std::string m_context;
    HeaderList m_headers;
    BodySink m_sink;
    char m_errors[CURL_ERROR_SIZE];
    // Last, so that the handle goes before the header list and buffers it points to.
    EasyHandle m_handle;
};

// An entry that a save can land on: a file, or a link to one; not a folder.
bool fileExists(const std::string &path)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

void fetchTileOnce(Transfer &transfer, const TileRequest &request)
{
    const long status = transfer.perform();
    if (status < 200 || status > 299)
        throw Error(transfer.context() + ": HTTP " + std::to_string(status), status);
    WriteFileAtomically(request.file, transfer.body());
    if (request.pause.count() > 0)
        std::this_thread::sleep_for(request.pause);
}

} // namespace

CurlGlobal::CurlGlobal()
{
    const CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (code != CURLE_OK)
        throw Error(std::string("while starting the network library: ") + curl_easy_strerror(code),
                    code);
}

CurlGlobal::~CurlGlobal()
{
    curl_global_cleanup();
}

void FetchToFile(const std::string &url, const std::string &path, const TransferLimits &limits)
{
    // No proxy option is set: libcurl then follows http_proxy / https_proxy / no_proxy.
    Transfer transfer(url, limits, "while fetching " + url);
    const long status = transfer.perform();
    if (status >= 400)
        throw Error(transfer.context() + ": HTTP " + std::to_string(status), status);
    WriteFileAtomically(path, transfer.body());
}

std::string PostForm(const std::string &url, const std::string &body, const TransferLimits &limits)
{
    Transfer transfer(url, limits, "while asking " + url + " for the page layout");
    transfer.addHeader("Content-Type: application/x-www-form-urlencoded");
    // libcurl would announce larger bodies with "Expect: 100-continue" and wait for the
    // go-ahead; the form is sent at once instead.
    transfer.addHeader("Expect:");
    transfer.applyHeaders();
    transfer.set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    transfer.set(CURLOPT_POSTFIELDS, body.c_str());
    // The status is deliberately not looked at: the caller reads whatever answer came
    // and judges it by its content.
    transfer.perform();
    return transfer.body();
}

int DownloadTile(const TileRequest &request)
{
    const std::string tileName = std::filesystem::path(request.file).filename().string();
    Transfer transfer(request.url, request.limits, "while fetching tile " + tileName);

    // An empty cookie file switches on the in-memory cookie engine of this handle: the
    // redirects and the second fetch below send back what earlier answers set.
    transfer.set(CURLOPT_COOKIEFILE, "");
    transfer.set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    transfer.addHeader("Accept: */*");
    transfer.addHeader("Connection: Keep-Alive");
    transfer.applyHeaders();
    transfer.set(CURLOPT_REFERER, request.referer.c_str());
    transfer.set(CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");

    // Without a ticked proxy the request goes out directly, whatever http_proxy says; with
    // one it goes through it for every host, whatever no_proxy says.
    std::string proxy;
    if (request.useProxy && !request.proxyHost.empty())
        proxy = request.proxyHost + ":" + std::to_string(request.proxyPort);
    transfer.set(CURLOPT_PROXY, proxy.c_str());
    if (!proxy.empty()) {
        transfer.set(CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
        transfer.set(CURLOPT_NOPROXY, "");
    }

    int requests = 0;
    while (!fileExists(request.file)) {
        ++requests;
        fetchTileOnce(transfer, request);
    }
    const std::int32_t size = fileExists(request.file) ? GetFileSize(request.file) : 0;
    if (size == 0) {
        ++requests;
        fetchTileOnce(transfer, request);
    }
    return requests;
}

} // namespace velmora
