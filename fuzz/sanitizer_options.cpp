// Defaults for AddressSanitizer in the fuzz targets; ASAN_OPTIONS given at run time still win.
//
// The quarantine keeps freed memory from being reused so that a use after free is caught. Its
// default of 256 MB, with the red zones and shadow that come with it, is by itself about 500 MB
// of resident memory for a target that allocates and frees on every character it reads: the
// limit these targets run under (-rss_limit_mb=512). 64 MB still holds more than a thousand
// runs' worth of freed memory, far longer than any pointer lives within one run.
extern "C" const char *__asan_default_options() { return "quarantine_size_mb=64"; }
