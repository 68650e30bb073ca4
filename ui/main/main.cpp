// terrafetch: the desktop program.
#include "ui/CterraFetchApp.h"

int main(int argc, char** argv)
{
    CterraFetchApp application(argc, argv);
    return application.InitInstance();
}
