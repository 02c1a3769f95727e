// The smallest Qt Widgets tray program: the yardstick the companion's idle
// figures are compared with. --report-ready prints a line once the icon shows.
#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setBrush(Qt::white);
        painter.drawEllipse(3, 3, 16, 16);
    }
    QSystemTrayIcon tray{QIcon(pixmap)};
    tray.setToolTip(QStringLiteral("bare tray"));
    tray.show();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--report-ready") == 0) {
            std::puts("bare-tray: tray icon shown");
            std::fflush(stdout);
        }
    }
    return app.exec();
}
