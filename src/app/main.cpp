#include "app/form1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationName(QStringLiteral("Tessivane"));

    tessivane::Form1 form1;
    form1.Form_Load();
    form1.show();
    return app.exec();
}
