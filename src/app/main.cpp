#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Пульт контроля датчиков Дорван"));
    window.setWindowTitle(QStringLiteral("Пульт контроля датчиков Дорван"));
    window.show();
    return app.exec();
}
