#include "app/form1.h"

#include "app/apptitle.h"

namespace tessivane {

Form1::Form1(QWidget* parent)
    : QWidget(parent)
{ }

void Form1::Form_Load()
{
    setWindowTitle(QString::fromLatin1(kProductName));
}

} // namespace tessivane
