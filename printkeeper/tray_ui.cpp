/*
 * The tray companion ("-UI"): started by the service in each user session.
 * It has nothing to show until the tray interface exists; it ends at once
 * so that a session that starts it is not left with a silent process.
 */
#include "printkeeper.h"

int RunUserInterface()
{
    return 0;
}
