#pragma once

#include <memory>

#include <turbojpeg.h>

namespace velmora {

// Owners for what TurboJPEG hands out: codec handles and the buffers it allocates.
struct TjHandleDeleter
{
    void operator()(void *handle) const noexcept { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjHandleDeleter>;

struct TjBufferDeleter
{
    void operator()(unsigned char *buffer) const noexcept { tjFree(buffer); }
};
using TjBuffer = std::unique_ptr<unsigned char, TjBufferDeleter>;

} // namespace velmora
