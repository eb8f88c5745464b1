/*
 * A stand-in installed component for the module tests: one export, so a
 * test can tell it was loaded and that every DLL name of the component
 * reaches the same module.
 */
extern "C" __attribute__((visibility("default"))) int FakeComponentAnswer(void)
{
    return 4711;
}
