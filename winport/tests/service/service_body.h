/*
 * The test service: ServiceMain, its handler and a main that runs the
 * dispatcher, shared by the service program the tests start and by the
 * tests that run a dispatcher in their own process.  Tests only.
 *
 * The service is "WpTestSvc" (the table also has "OtherSvc").  It reports
 * SERVICE_START_PENDING (check point 7, wait hint 1234), waits for the
 * named event "WpTestSvcGo", reports SERVICE_RUNNING accepting stop, and
 * on SERVICE_CONTROL_STOP reports SERVICE_STOP_PENDING, then
 * SERVICE_STOPPED with the service-specific exit code 42.  Each step is a
 * line in C:\svc\trace.txt.
 */
#ifndef WINPORT_TESTS_SERVICE_BODY_H
#define WINPORT_TESTS_SERVICE_BODY_H

#include <windows.h>

#include <string>

constexpr char kTestServiceName[] = "WpTestSvc";
constexpr char kTestServiceGo[] = "WpTestSvcGo";
constexpr char kTestServiceTrace[] = "C:\\svc\\trace.txt";

/* Runs the dispatcher as the service program's main does; 0 when it
 * returned TRUE, else the last error. */
DWORD RunTestServiceProgram();

/* Appends a line to the trace. */
void TestServiceTrace(const std::string &line);

#endif
