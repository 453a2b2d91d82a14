#include "SystemMenu.h"

bool AddToSystemMenu(QWidget&, const QString&, int) {
    return false;
}

int SystemCommandOf(const void*) {
    return 0;
}
