#include "gui/tform1.h"

#include <ostream>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include "core/error.h"
#include "support/tempdir.h"

// Readable QString values in failure messages.
static void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

using velmora::MainView;
using velmora::Pauses;
using velmora::SiteConfig;

namespace {

SiteConfig testSite()
{
    // Nothing listens there; no test here reaches the network.
    SiteConfig site;
    site.mainHost = "127.0.0.1:9";
    site.pictureHost = "127.0.0.1:9";
    return site;
}

class MainWindow : public ::testing::Test
{
protected:
    MainWindow()
        : form(Pauses{}, testSite())
    {
        form.errorBox = [this](const QString &message) { errors << message; };
    }

    template <typename T>
    T *control(const char *name)
    {
        T *widget = form.findChild<T *>(QString::fromLatin1(name));
        if (!widget)
            throw std::runtime_error(std::string("no control named ") + name);
        return widget;
    }

    // What a finished Initialise leaves behind, so that Assemble gets to its boxes.
    void pretendInitialised()
    {
        form.state().SaveDir = saveDir.path() + "/";
        form.state().TilesPerPage = 12;
    }

    TempDir saveDir;
    TForm1 form;
    QStringList errors;
};

TEST_F(MainWindow, StartsWithItsTextsAndDefaults)
{
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Velmora杂志下载器 v 1.0"));
    EXPECT_EQ(control<QLabel>("Label3")->text(), QStringLiteral("请获取下载参数"));
    EXPECT_EQ(control<QLabel>("Label3")->palette().color(QPalette::WindowText), QColor(Qt::red));

    const struct
    {
        const char *name;
        MainView::Box box;
        QString text;
    } boxes[] = {
        {"ISBN", MainView::Box::ISBN, QString::fromStdString(testSite().defaultReaderUrl())},
        {"Edit4", MainView::Box::Edit4, QStringLiteral("1")},
        {"Edit7", MainView::Box::Edit7, QStringLiteral("5")},
        {"Edit1", MainView::Box::Edit1, QStringLiteral("12")},
    };
    for (const auto &row : boxes) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(control<QLineEdit>(row.name)->text(), row.text);
        EXPECT_EQ(form.boxText(row.box), row.text);
    }

    const struct
    {
        const char *name;
        MainView::Button button;
        QString text;
    } buttons[] = {
        {"Button1", MainView::Button::Button1, QStringLiteral("初始化")},
        {"downpic", MainView::Button::Downpic, QStringLiteral("下    载")},
        {"Button3", MainView::Button::Button3, QStringLiteral("组图")},
    };
    for (const auto &row : buttons) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(control<QPushButton>(row.name)->text(), row.text);
        EXPECT_TRUE(control<QPushButton>(row.name)->isEnabled());
        EXPECT_TRUE(form.isButtonEnabled(row.button));
    }

    const struct
    {
        const char *name;
        QString text;
    } labels[] = {
        {"Label1", QStringLiteral("book阅读地址:")},
        {"Label2", QStringLiteral("线程数:")},
        {"Label5", QStringLiteral("起始页:")},
        {"Label8", QStringLiteral("总页数:")},
        {"StatusPanel0", QString()},
        {"StatusPanel1", QString()},
    };
    for (const auto &row : labels) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(control<QLabel>(row.name)->text(), row.text);
    }

    EXPECT_EQ(control<QCheckBox>("CheckBox2")->text(), QStringLiteral("使用IE代理"));
    EXPECT_FALSE(control<QCheckBox>("CheckBox2")->isChecked());
    EXPECT_FALSE(form.proxyTicked());

    const auto *bar = control<QProgressBar>("ProgressBar1");
    EXPECT_EQ(bar->value(), bar->minimum());
    EXPECT_EQ(form.counterPosition(), 0);

    EXPECT_EQ(form.state().AppDir, (QCoreApplication::applicationDirPath() + "/").toStdString());
    EXPECT_TRUE(form.state().PicBaseUrl.empty());
}

TEST_F(MainWindow, ControlsSitAtTheirPlaces)
{
    EXPECT_EQ(form.size(), QSize(661, 199));

    const struct
    {
        const char *name;
        QRect place;
    } sized[] = {
        {"Panel1", {4, 4, 652, 144}},     {"ISBN", {89, 12, 428, 21}},
        {"Edit1", {554, 35, 36, 21}},     {"Edit4", {63, 50, 42, 21}},
        {"Edit7", {183, 50, 42, 21}},     {"Button1", {224, 80, 63, 45}},
        {"downpic", {302, 80, 67, 45}},   {"Button3", {394, 80, 83, 44}},
        {"CheckBox2", {39, 96, 97, 17}},  {"ProgressBar1", {2, 163, 654, 17}},
        {"StatusBar1", {0, 180, 661, 19}},
    };
    for (const auto &row : sized) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(control<QWidget>(row.name)->geometry(), row.place);
    }

    // Labels take the size of their text.
    const struct
    {
        const char *name;
        QPoint place;
    } labels[] = {
        {"Label1", {8, 15}}, {"Label2", {553, 11}}, {"Label5", {10, 53}},
        {"Label8", {129, 53}}, {"Label3", {356, 55}},
    };
    for (const auto &row : labels) {
        SCOPED_TRACE(row.name);
        auto *label = control<QLabel>(row.name);
        EXPECT_EQ(label->pos(), row.place);
        EXPECT_EQ(label->parentWidget(), control<QWidget>("Panel1"));
        EXPECT_GE(label->width(), label->sizeHint().width());
    }

    const auto *panel0 = control<QLabel>("StatusPanel0");
    const auto *panel1 = control<QLabel>("StatusPanel1");
    EXPECT_EQ(panel0->width(), 200);
    EXPECT_EQ(panel1->width(), 300);
    EXPECT_LT(panel0->x(), panel1->x());
}

TEST_F(MainWindow, FirstShowCentresTheWindowOnTheScreen)
{
    form.show();
    const QPoint screenCentre = form.screen()->availableGeometry().center();
    const QPoint windowCentre = form.frameGeometry().center();
    EXPECT_LE((screenCentre - windowCentre).manhattanLength(), 2);
}

TEST_F(MainWindow, TabWalksTheBoxesThenTheButtonsThenTheProxyBox)
{
    QStringList order;
    QWidget *first = control<QWidget>("ISBN");
    QWidget *widget = first;
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            order << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != first && order.size() < 50);
    EXPECT_EQ(order, QStringList({"ISBN", "Edit4", "Edit7", "Edit1", "downpic", "Button1",
                                  "Button3", "CheckBox2"}));
}

TEST_F(MainWindow, ResizingStretchesPanelAndBarsAndMovesTheButtons)
{
    form.show();
    form.resize(661 + 100, 199 + 50);
    QCoreApplication::processEvents();
    ASSERT_EQ(form.size(), QSize(761, 249));

    const struct
    {
        const char *name;
        QRect place;
    } expected[] = {
        // stretched with the window
        {"Panel1", {4, 4, 752, 144}},
        {"ProgressBar1", {2, 213, 754, 17}},
        {"StatusBar1", {0, 230, 761, 19}},
        // moved with Panel1's right edge
        {"Button1", {324, 80, 63, 45}},
        {"downpic", {402, 80, 67, 45}},
        {"Button3", {494, 80, 83, 44}},
        // left where they were
        {"ISBN", {89, 12, 428, 21}},
        {"Edit1", {554, 35, 36, 21}},
        {"Edit4", {63, 50, 42, 21}},
        {"Edit7", {183, 50, 42, 21}},
        {"CheckBox2", {39, 96, 97, 17}},
    };
    for (const auto &row : expected) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(control<QWidget>(row.name)->geometry(), row.place);
    }
    EXPECT_EQ(control<QLabel>("Label3")->pos(), QPoint(356, 55));
    EXPECT_EQ(control<QLabel>("Label2")->pos(), QPoint(553, 11));
    EXPECT_EQ(control<QLabel>("StatusPanel0")->width(), 200);
    EXPECT_EQ(control<QLabel>("StatusPanel1")->width(), 300);
}

TEST_F(MainWindow, ReportChannelsReachTheirControls)
{
    form.setLabel(QStringLiteral("已获取下载参数，可以点击下载"));
    form.setPanel(0, QStringLiteral("进行第12页下载"));
    form.setPanel(1, QStringLiteral("第12页下载完毕"));
    form.setButtonEnabled(MainView::Button::Downpic, false);

    auto *label = control<QLabel>("Label3");
    EXPECT_EQ(label->text(), QStringLiteral("已获取下载参数，可以点击下载"));
    EXPECT_GE(label->width(), label->sizeHint().width());
    EXPECT_EQ(control<QLabel>("StatusPanel0")->text(), QStringLiteral("进行第12页下载"));
    EXPECT_EQ(control<QLabel>("StatusPanel1")->text(), QStringLiteral("第12页下载完毕"));
    EXPECT_FALSE(control<QPushButton>("downpic")->isEnabled());
    EXPECT_TRUE(control<QPushButton>("Button1")->isEnabled());
    EXPECT_TRUE(control<QPushButton>("Button3")->isEnabled());

    control<QCheckBox>("CheckBox2")->setChecked(true);
    EXPECT_TRUE(form.proxyTicked());
}

TEST_F(MainWindow, CounterStepsClampsAndRefusesANegativeMaximum)
{
    auto *bar = control<QProgressBar>("ProgressBar1");
    form.setCounterMinimum(0);
    form.setCounterMaximum(36);
    form.setCounterStep(12);
    form.setCounterPosition(0);
    EXPECT_EQ(bar->maximum(), 36);
    for (int expected : {12, 24, 36, 36}) {
        SCOPED_TRACE(expected);
        form.stepCounter();
        EXPECT_EQ(form.counterPosition(), expected);
        EXPECT_EQ(bar->value(), expected);
    }

    EXPECT_THROW(form.setCounterMaximum(-12), velmora::RangeError);
    EXPECT_EQ(form.counterPosition(), 36);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 36);
    EXPECT_EQ(bar->value(), 36);

    // A run with nothing to do: an empty bar, not the busy indicator.
    form.setCounterMaximum(0);
    form.setCounterPosition(0);
    EXPECT_EQ(form.counterPosition(), 0);
    EXPECT_LT(bar->minimum(), bar->maximum());
    EXPECT_EQ(bar->value(), bar->minimum());
}

TEST_F(MainWindow, WaitDispatchesClicksMadeMeanwhile)
{
    QPushButton probe;
    int clicks = 0;
    QObject::connect(&probe, &QPushButton::clicked, [&] { ++clicks; });

    QTimer::singleShot(20, &probe, &QPushButton::click);
    QElapsedTimer clock;
    clock.start();
    form.waitWithMessages(200);
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_EQ(clicks, 1);

    // Even a wait of nothing processes what is already queued.
    QMetaObject::invokeMethod(&probe, &QPushButton::click, Qt::QueuedConnection);
    form.waitWithMessages(0);
    EXPECT_EQ(clicks, 2);
}

TEST_F(MainWindow, ClosingDuringAWaitEndsTheLoopOnlyAfterTheHandler)
{
    form.show();
    bool handlerFinished = false;
    qint64 waited = 0;
    bool gaveUp = false;
    QTimer::singleShot(0, &form, [&] {
        QElapsedTimer clock;
        clock.start();
        form.waitWithMessages(300);
        waited = clock.elapsed();
        form.setPanel(1, QStringLiteral("组图完毕"));
        handlerFinished = true;
    });
    QTimer::singleShot(30, &form, [&] { form.close(); });
    QTimer::singleShot(20000, qApp, [&] {
        gaveUp = true;
        QCoreApplication::quit();
    });

    QApplication::exec();

    EXPECT_FALSE(gaveUp) << "closing the window did not end the loop";
    EXPECT_TRUE(handlerFinished);
    EXPECT_GE(waited, 300);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(control<QLabel>("StatusPanel1")->text(), QStringLiteral("组图完毕"));
}

TEST_F(MainWindow, ClickErrorsGoToTheErrorBoxAndTheWindowGoesOn)
{
    form.actions().reportErrors([] { throw velmora::Error("while testing: broken"); });
    EXPECT_EQ(errors, QStringList{"while testing: broken"});

    // Assemble reads the total-pages box first.
    pretendInitialised();
    form.show();
    form.setBoxText(MainView::Box::Edit7, QStringLiteral("x"));
    QTest::mouseClick(control<QPushButton>("Button3"), Qt::LeftButton);
    ASSERT_EQ(errors.size(), 2);
    EXPECT_EQ(errors.at(1), QStringLiteral("'x' is not a valid integer value"));
    // What the handler did before failing stays done.
    EXPECT_FALSE(control<QPushButton>("Button3")->isEnabled());

    // The window still answers clicks.
    QTest::mouseClick(control<QCheckBox>("CheckBox2"), Qt::LeftButton);
    EXPECT_TRUE(form.proxyTicked());
}

TEST_F(MainWindow, PressingFromCodeRunsEvenADisabledButtonAndPassesItsErrorUp)
{
    pretendInitialised();
    form.setBoxText(MainView::Box::Edit7, QStringLiteral("y"));
    form.setButtonEnabled(MainView::Button::Button3, false);
    EXPECT_THROW(form.pressButton(MainView::Button::Button3), velmora::ConversionError);
    EXPECT_TRUE(errors.isEmpty());
}

} // namespace
