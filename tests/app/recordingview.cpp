#include "recordingview.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

using velmora::MainView;

RecordingView::RecordingView()
{
    boxes = {{Box::ISBN, QString()}, {Box::Edit4, "1"}, {Box::Edit7, "5"}, {Box::Edit1, "12"}};
    enabled = {{Button::Button1, true}, {Button::Downpic, true}, {Button::Button3, true}};
}

void RecordingView::setBoxText(Box box, const QString &text)
{
    boxes[box] = text;
}

void RecordingView::setLabel(const QString &text)
{
    label = text;
    log << "label: " + text;
}

void RecordingView::setPanel(int index, const QString &text)
{
    panels[index] = text;
    log << QStringLiteral("panel%1: ").arg(index) + text;
    if (onPanel)
        onPanel(index, text);
}

void RecordingView::setButtonEnabled(Button button, bool on)
{
    enabled[button] = on;
    static const char *names[] = {"Button1", "downpic", "Button3"};
    log << QStringLiteral("enabled %1: %2").arg(names[static_cast<int>(button)]).arg(on ? 1 : 0);
}

void RecordingView::processPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void RecordingView::waitWithMessages(int ms)
{
    log << QStringLiteral("wait: %1").arg(ms);
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(1);
    } while (timer.elapsed() < ms);
}

void RecordingView::showError(const QString &message)
{
    errors << message;
    log << "error: " + message;
}

bool RecordingView::runUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(2);
    }
    return true;
}

QStringList RecordingView::entries(const QString &prefix) const
{
    QStringList out;
    for (const QString &entry : log)
        if (entry.startsWith(prefix))
            out << entry;
    return out;
}
