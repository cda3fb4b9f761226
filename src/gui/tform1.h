#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include "app/actions.h"
#include "app/appstate.h"
#include "app/mainview.h"
#include "core/completioncounter.h"
#include "core/siteconfig.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;

// The main window: the address and page boxes, the three buttons, the proxy box and the
// report channels (red status label, progress bar, two-panel status bar). It only shows
// things and forwards clicks; the actions behind the buttons live in velmora::Actions.
class TForm1 : public QWidget, public velmora::MainView
{
    Q_OBJECT

public:
    // The window title, also the application's display name and the error boxes' caption.
    static QString title();

    explicit TForm1(velmora::Pauses pauses = {},
                    velmora::SiteConfig site = velmora::SiteConfig::fromEnvironment(),
                    QWidget *parent = nullptr);
    ~TForm1() override;

    // Runs when the window is created: the program folder and the first status text.
    void FormCreate();
    // Runs when the window goes away: drops both limiters. Workers are left running.
    void FormDestroy() noexcept;

    // Runs a button's handler now, nested in the caller, whatever the button's enabled
    // state; an error it throws passes up to the caller.
    void pressButton(Button button);

    velmora::AppState &state() { return m_state; }
    velmora::Actions &actions() { return *m_actions; }

    // When set, replaces the modal error box (tests record the messages with it).
    std::function<void(const QString &)> errorBox;

    // MainView
    QString boxText(Box box) const override;
    void setBoxText(Box box, const QString &text) override;
    void setLabel(const QString &text) override;
    void setPanel(int index, const QString &text) override;
    void setButtonEnabled(Button button, bool enabled) override;
    bool isButtonEnabled(Button button) const override;
    bool proxyTicked() const override;
    void setCounterMinimum(int value) override;
    void setCounterMaximum(int value) override;
    void setCounterStep(int value) override;
    void setCounterPosition(int value) override;
    void stepCounter() override;
    int counterPosition() const override;
    void processPendingEvents() override;
    void waitWithMessages(int ms) override;
    void showError(const QString &message) override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // A control that keeps its distance to some edges of its parent when that resizes.
    struct Anchor
    {
        QWidget *widget;
        QRect initialRect;
        QSize initialParent;
        // Edges followed; following both edges of a direction stretches the control,
        // following only the far one moves it.
        bool left;
        bool top;
        bool right;
        bool bottom;
    };

    void buildControls();
    void orderTabs();
    void applyAnchors();
    void showCounter();
    QLineEdit *box(Box box) const;
    QPushButton *button(Button button) const;

    velmora::AppState m_state;
    velmora::CompletionCounter m_counter;
    std::unique_ptr<velmora::Actions> m_actions;
    std::vector<Anchor> m_anchors;
    bool m_placed = false;

    QFrame *m_panel1 = nullptr;
    QLabel *m_label1 = nullptr;
    QLineEdit *m_isbn = nullptr;
    QLabel *m_label2 = nullptr;
    QLineEdit *m_edit1 = nullptr;
    QLabel *m_label5 = nullptr;
    QLineEdit *m_edit4 = nullptr;
    QLabel *m_label8 = nullptr;
    QLineEdit *m_edit7 = nullptr;
    QLabel *m_label3 = nullptr;
    QPushButton *m_button1 = nullptr;
    QPushButton *m_downpic = nullptr;
    QPushButton *m_button3 = nullptr;
    QCheckBox *m_checkBox2 = nullptr;
    QProgressBar *m_progressBar1 = nullptr;
    QStatusBar *m_statusBar1 = nullptr;
    QLabel *m_statusPanels[2] = {nullptr, nullptr};
};
