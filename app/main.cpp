#include "app/AppState.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zaplo::AppState state;
    QLabel placeholder(QStringLiteral("Zaplo"));
    placeholder.show();
    return app.exec();
}
