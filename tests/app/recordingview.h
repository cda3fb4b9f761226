#pragma once

#include <chrono>
#include <functional>
#include <map>

#include <QString>
#include <QStringList>

#include "app/mainview.h"
#include "core/completioncounter.h"

// A view that keeps what the actions show and logs every change, in order, as
// "label: …", "panel1: …", "enabled downpic: 0", "wait: 20", "error: …".
class RecordingView : public velmora::MainView
{
public:
    RecordingView();

    QString boxText(Box box) const override { return boxes.at(box); }
    void setBoxText(Box box, const QString &text) override;
    void setLabel(const QString &text) override;
    void setPanel(int index, const QString &text) override;
    void setButtonEnabled(Button button, bool enabled) override;
    bool isButtonEnabled(Button button) const override { return enabled.at(button); }
    bool proxyTicked() const override { return ticked; }
    void setCounterMinimum(int value) override { counter.setMinimum(value); }
    void setCounterMaximum(int value) override { counter.setMaximum(value); }
    void setCounterStep(int value) override { counter.setStep(value); }
    void setCounterPosition(int value) override { counter.setPosition(value); }
    void stepCounter() override { counter.stepIt(); }
    int counterPosition() const override { return counter.position(); }
    void processPendingEvents() override;
    void waitWithMessages(int ms) override;
    void showError(const QString &message) override;

    // Runs the event loop until `done` holds or `timeout` passes; false on time-out.
    static bool runUntil(const std::function<bool()> &done,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

    // The log entries that start with `prefix`.
    QStringList entries(const QString &prefix) const;

    // Called after every panel text, with the panel and the text.
    std::function<void(int, const QString &)> onPanel;

    std::map<Box, QString> boxes;
    std::map<Button, bool> enabled;
    QString label;
    QString panels[2];
    bool ticked = false;
    velmora::CompletionCounter counter;
    QStringList log;
    QStringList errors;
};
