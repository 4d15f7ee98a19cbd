#include "main.h"

int main() {
    return demoMain(desktopWindow);
}
