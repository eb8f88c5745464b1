/*
 * Leak-sanitizer suppressions for tests that draw text.  fontconfig loses a few
 * hundred bytes while parsing its configuration files (inside libexpat
 * callbacks, once per process); that is fontconfig's, not ours.
 */
extern "C" const char *__lsan_default_suppressions(void);

extern "C" const char *__lsan_default_suppressions(void)
{
    return "leak:libfontconfig.so\n";
}
