#pragma once

#include <QString>
#include <QThread>

namespace velmora {

// A worker thread of the actions: runs Execute() once and reports on the two status
// panels. A failure stays in the worker (what it should have produced is then missing,
// and the refill makes it again); its end is signalled by QThread::finished on every
// path, so connect to that before start().
class StatusWorker : public QThread
{
    Q_OBJECT

public:
    explicit StatusWorker(uint stackSize);

signals:
    // A text for status panel 0 or 1; connect with a queued connection.
    void statusText(int panel, const QString &text);

protected:
    void run() final;
    virtual void Execute() = 0;
};

} // namespace velmora
