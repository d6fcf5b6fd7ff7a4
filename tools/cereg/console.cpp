// The one question cereg asks of the operating system rather than the device: is a person at standard
// input? This file alone speaks POSIX.
#include <unistd.h>

#include "confirm.h"

bool StandardInputIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}
