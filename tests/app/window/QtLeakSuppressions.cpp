// The system font library keeps caches for the life of the process that LeakSanitizer reports as
// leaks once a widget has measured text; they are not ours and not growing, so sanitizer builds
// of the window tests ignore them.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
