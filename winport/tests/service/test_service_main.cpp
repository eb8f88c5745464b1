/*
 * The service program the service tests install and start.  Tests only.
 */
#include "service_body.h"

int main()
{
    return RunTestServiceProgram() == 0 ? 0 : 1;
}
