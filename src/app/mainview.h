#pragma once

#include <QString>

namespace velmora {

// What the actions need of the window. The real window implements it with widgets;
// tests implement it with a recording object. Every call is made on the window thread.
class MainView
{
public:
    enum class Box { ISBN, Edit4, Edit7, Edit1 };
    enum class Button { Button1, Downpic, Button3 };

    virtual ~MainView() = default;

    virtual QString boxText(Box box) const = 0;
    virtual void setBoxText(Box box, const QString &text) = 0;

    // The red status label.
    virtual void setLabel(const QString &text) = 0;
    // Panel 0 (what a worker is busy with) or 1 (what has finished) of the status bar.
    virtual void setPanel(int index, const QString &text) = 0;

    virtual void setButtonEnabled(Button button, bool enabled) = 0;
    virtual bool isButtonEnabled(Button button) const = 0;

    // Whether the "use the system proxy" box is ticked.
    virtual bool proxyTicked() const = 0;

    // The completion counter; setCounterMinimum/Maximum throw RangeError for a bad range.
    virtual void setCounterMinimum(int value) = 0;
    virtual void setCounterMaximum(int value) = 0;
    virtual void setCounterStep(int value) = 0;
    virtual void setCounterPosition(int value) = 0;
    virtual void stepCounter() = 0;
    virtual int counterPosition() const = 0;

    // Dispatch what is queued for the window thread (clicks, ends of workers) and return.
    virtual void processPendingEvents() = 0;
    // Return after about `ms` milliseconds, the window staying responsive meanwhile.
    virtual void waitWithMessages(int ms) = 0;
    // The critical error box: message, the application title as caption, OK.
    virtual void showError(const QString &message) = 0;
};

} // namespace velmora
