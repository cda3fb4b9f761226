#include "gui/tform1.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>

#include "app/appdir.h"

using velmora::Actions;
using velmora::Pauses;
using velmora::SiteConfig;

namespace {

constexpr QSize ClientSize{661, 199};
constexpr int StatusBarHeight = 19;
constexpr int StatusPanelWidths[2] = {200, 300};

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, QPoint place)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(place);
    label->adjustSize();
    return label;
}

QLineEdit *makeEdit(QWidget *parent, const char *name, const QString &text, const QRect &place)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(place);
    return edit;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text,
                        const QRect &place)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    return button;
}

} // namespace

QString TForm1::title()
{
    return QStringLiteral("Velmora杂志下载器 v 1.0");
}

TForm1::TForm1(Pauses pauses, SiteConfig site, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(title());

    // Tahoma where it exists; the second family covers the Chinese captions (and
    // everything else when Tahoma is missing).
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPointSize(8);
    setFont(font);

    buildControls();
    m_isbn->setText(QString::fromStdString(site.defaultReaderUrl()));
    resize(ClientSize);
    orderTabs();
    showCounter();

    m_actions = std::make_unique<Actions>(m_state, *this, std::move(site), pauses);
    // A click comes from the event loop: whatever its handler throws is shown, not passed on.
    for (Button which : {Button::Button1, Button::Downpic, Button::Button3}) {
        connect(button(which), &QPushButton::clicked, this, [this, which] {
            m_actions->reportErrors([this, which] { pressButton(which); });
        });
    }
    connect(m_checkBox2, &QCheckBox::toggled, this,
            [this](bool checked) { m_actions->setProxyTicked(checked); });
    m_actions->setProxyTicked(m_checkBox2->isChecked());

    FormCreate();
}

TForm1::~TForm1()
{
    FormDestroy();
}

void TForm1::buildControls()
{
    m_panel1 = new QFrame(this);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    m_panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    m_panel1->setGeometry(4, 4, 652, 144);

    m_label1 = makeLabel(m_panel1, "Label1", QStringLiteral("book阅读地址:"), {8, 15});
    m_isbn = makeEdit(m_panel1, "ISBN", QString(), {89, 12, 428, 21});
    m_label2 = makeLabel(m_panel1, "Label2", QStringLiteral("线程数:"), {553, 11});
    m_edit1 = makeEdit(m_panel1, "Edit1", QStringLiteral("12"), {554, 35, 36, 21});
    m_label5 = makeLabel(m_panel1, "Label5", QStringLiteral("起始页:"), {10, 53});
    m_edit4 = makeEdit(m_panel1, "Edit4", QStringLiteral("1"), {63, 50, 42, 21});
    m_label8 = makeLabel(m_panel1, "Label8", QStringLiteral("总页数:"), {129, 53});
    m_edit7 = makeEdit(m_panel1, "Edit7", QStringLiteral("5"), {183, 50, 42, 21});

    m_label3 = makeLabel(m_panel1, "Label3", QString(), {356, 55});
    QPalette red = m_label3->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    m_label3->setPalette(red);

    m_button1 = makeButton(m_panel1, "Button1", QStringLiteral("初始化"), {224, 80, 63, 45});
    m_downpic = makeButton(m_panel1, "downpic", QStringLiteral("下    载"), {302, 80, 67, 45});
    m_button3 = makeButton(m_panel1, "Button3", QStringLiteral("组图"), {394, 80, 83, 44});

    m_checkBox2 = new QCheckBox(QStringLiteral("使用IE代理"), m_panel1);
    m_checkBox2->setObjectName(QStringLiteral("CheckBox2"));
    m_checkBox2->setGeometry(39, 96, 97, 17);

    m_progressBar1 = new QProgressBar(this);
    m_progressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar1->setTextVisible(false);
    m_progressBar1->setGeometry(2, 163, 654, 17);

    m_statusBar1 = new QStatusBar(this);
    m_statusBar1->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar1->setGeometry(0, ClientSize.height() - StatusBarHeight, ClientSize.width(),
                              StatusBarHeight);
    for (int i = 0; i < 2; ++i) {
        auto *panel = new QLabel(m_statusBar1);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFixedWidth(StatusPanelWidths[i]);
        m_statusBar1->addWidget(panel);
        m_statusPanels[i] = panel;
    }

    const QSize panelSize = m_panel1->size();
    m_anchors = {
        {m_panel1, m_panel1->geometry(), ClientSize, true, true, true, false},
        {m_button1, m_button1->geometry(), panelSize, false, true, true, false},
        {m_downpic, m_downpic->geometry(), panelSize, false, true, true, false},
        {m_button3, m_button3->geometry(), panelSize, false, true, true, false},
        {m_progressBar1, m_progressBar1->geometry(), ClientSize, true, false, true, true},
        {m_statusBar1, m_statusBar1->geometry(), ClientSize, true, false, true, true},
    };
}

void TForm1::orderTabs()
{
    QWidget *const order[] = {m_isbn, m_edit4, m_edit7, m_edit1,
                              m_downpic, m_button1, m_button3, m_checkBox2};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    m_isbn->setFocus();
}

void TForm1::applyAnchors()
{
    // Panel1 comes before the buttons, so they see its new size.
    for (const Anchor &anchor : m_anchors) {
        const QSize parent = anchor.widget->parentWidget()->size();
        const int dw = parent.width() - anchor.initialParent.width();
        const int dh = parent.height() - anchor.initialParent.height();
        QRect place = anchor.initialRect;
        if (anchor.right) {
            if (anchor.left)
                place.setWidth(std::max(0, place.width() + dw));
            else
                place.translate(dw, 0);
        }
        if (anchor.bottom) {
            if (anchor.top)
                place.setHeight(std::max(0, place.height() + dh));
            else
                place.translate(0, dh);
        }
        anchor.widget->setGeometry(place);
    }
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyAnchors();
}

void TForm1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_placed || !isWindow())
        return;
    m_placed = true;
    if (QScreen *where = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(where->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TForm1::FormCreate()
{
    m_state.AppDir = velmora::chooseAppDir(QCoreApplication::applicationDirPath());
    setLabel(QStringLiteral("请获取下载参数"));
}

void TForm1::FormDestroy() noexcept
{
    // Workers that still wait on a limiter hold their own reference to it.
    m_state.DownloadLimiter.reset();
    m_state.AssemblyLimiter.reset();
}

void TForm1::pressButton(Button which)
{
    switch (which) {
    case Button::Button1:
        m_actions->Button1Click();
        break;
    case Button::Downpic:
        m_actions->downpicClick();
        break;
    case Button::Button3:
        m_actions->Button3Click();
        break;
    }
}

QLineEdit *TForm1::box(Box which) const
{
    switch (which) {
    case Box::ISBN:
        return m_isbn;
    case Box::Edit4:
        return m_edit4;
    case Box::Edit7:
        return m_edit7;
    case Box::Edit1:
        return m_edit1;
    }
    return m_isbn;
}

QPushButton *TForm1::button(Button which) const
{
    switch (which) {
    case Button::Button1:
        return m_button1;
    case Button::Downpic:
        return m_downpic;
    case Button::Button3:
        return m_button3;
    }
    return m_button1;
}

QString TForm1::boxText(Box which) const
{
    return box(which)->text();
}

void TForm1::setBoxText(Box which, const QString &text)
{
    box(which)->setText(text);
}

void TForm1::setLabel(const QString &text)
{
    m_label3->setText(text);
    m_label3->adjustSize();
}

void TForm1::setPanel(int index, const QString &text)
{
    if (index >= 0 && index < 2)
        m_statusPanels[index]->setText(text);
}

void TForm1::setButtonEnabled(Button which, bool enabled)
{
    button(which)->setEnabled(enabled);
}

bool TForm1::isButtonEnabled(Button which) const
{
    return button(which)->isEnabled();
}

bool TForm1::proxyTicked() const
{
    return m_checkBox2->isChecked();
}

void TForm1::setCounterMinimum(int value)
{
    m_counter.setMinimum(value);
    showCounter();
}

void TForm1::setCounterMaximum(int value)
{
    m_counter.setMaximum(value);
    showCounter();
}

void TForm1::setCounterStep(int value)
{
    m_counter.setStep(value);
}

void TForm1::setCounterPosition(int value)
{
    m_counter.setPosition(value);
    showCounter();
}

void TForm1::stepCounter()
{
    m_counter.stepIt();
    showCounter();
}

int TForm1::counterPosition() const
{
    return m_counter.position();
}

void TForm1::showCounter()
{
    if (m_counter.maximum() > m_counter.minimum()) {
        m_progressBar1->setRange(m_counter.minimum(), m_counter.maximum());
        m_progressBar1->setValue(m_counter.position());
    } else {
        // An empty range: an empty bar rather than the busy indicator.
        m_progressBar1->setRange(0, 1);
        m_progressBar1->setValue(0);
    }
}

void TForm1::processPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TForm1::waitWithMessages(int ms)
{
    // Sleeps in the event dispatcher between events; the single-shot timer wakes it for
    // the deadline. A quit request meanwhile only stops the outer loop later.
    QElapsedTimer clock;
    clock.start();
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    wakeUp.setTimerType(Qt::PreciseTimer);
    processPendingEvents();
    for (;;) {
        const qint64 left = ms - clock.elapsed();
        if (left <= 0)
            return;
        wakeUp.start(static_cast<int>(left));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void TForm1::showError(const QString &message)
{
    if (errorBox) {
        errorBox(message);
        return;
    }
    QMessageBox::critical(this, title(), message, QMessageBox::Ok);
}
