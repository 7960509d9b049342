#include "app/StartupLoop.h"
#include "base/AppState.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zaplo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));

    zaplo::AppState state;
    zaplo::StartupLoop loop(state);
    // Ending the program leaves the process from inside the loop; Run returns only if the
    // ending was replaced.
    loop.Run();
    return 0;
}
