// The bare toolkit's program StartUpBench starts beside the real one: a QApplication and the
// bare window, shown until the process is ended.
#include <QApplication>

#include "BareWindow.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    BareWindow bare;
    bare.window.show();
    return application.exec();
}
