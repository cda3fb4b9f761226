#include <cstdio>
#include <cstdlib>
#include <exception>

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QString>

#include "core/http.h"
#include "gui/tform1.h"

int main(int argc, char *argv[])
{
    // Before any thread can touch curl.
    velmora::CurlGlobal curl;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora-downloader"));
    QApplication::setApplicationDisplayName(TForm1::title());
    // The id of the installed menu entry, which names the icon too; desktops match the
    // window to the entry by it.
    QApplication::setDesktopFileName(QStringLiteral("org.velmora.Downloader"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("org.velmora.Downloader"),
                         QIcon(QStringLiteral(":/icons/org.velmora.Downloader.png"))));

    int status = 0;
    try {
        TForm1 form;
        form.show();
        status = app.exec();
        form.FormDestroy();
        // Tile and page workers may still be running; they end with the process, so
        // nothing is torn down under their feet by destructors.
        std::fflush(nullptr);
        std::quick_exit(status);
    } catch (const std::exception &error) {
        QMessageBox::critical(nullptr, TForm1::title(), QString::fromUtf8(error.what()));
        status = EXIT_FAILURE;
    }
    std::fflush(nullptr);
    std::quick_exit(status);
}
