// Shows one window with a menu bar, a status bar and a label, grabs it into a PNG and exits:
// what `reedtab --screenshot` does, without the program.
//
// usage: bench_minimal_qt OUT.png

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPixmap>
#include <QStatusBar>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_minimal_qt OUT.png\n");
        return 2;
    }
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("&File"));
    window.setCentralWidget(new QLabel(QStringLiteral("Reedtab Midi")));
    window.statusBar()->showMessage(QStringLiteral("Ready"));
    window.resize(1280, 720);
    window.show();
    QApplication::processEvents();
    return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
