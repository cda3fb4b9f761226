#include "app/statusworker.h"

namespace velmora {

StatusWorker::StatusWorker(uint stackSize)
{
    setStackSize(stackSize);
}

void StatusWorker::run()
{
    try {
        Execute();
    } catch (...) {
    }
}

} // namespace velmora
