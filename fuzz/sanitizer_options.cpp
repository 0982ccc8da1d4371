// Defaults for AddressSanitizer in the fuzz targets; ASAN_OPTIONS given at run time still win.
//
// Every allocation's stack is kept for the reports, in a store that only grows and keeps each
// different stack once. Most allocations here are made inside Qt, which is built without frame
// pointers: the fast unwinder reads whatever lies on the stack as the frames above Qt's, so
// nearly every allocation brings a stack never seen before, and the store grew by about 0.3 kB a
// run (the readers target reached about 1 GB in ten minutes). Two frames, the allocator and its
// caller, are read reliably and keep the store bounded.
//
// The quarantine keeps freed memory from reuse so that a use after free is caught. 64 MB instead
// of 256 still holds more than a thousand runs' worth of freed memory, far longer than any
// pointer lives within one run, and leaves room under -rss_limit_mb=512.
extern "C" const char *__asan_default_options() {
  return "malloc_context_size=2:quarantine_size_mb=64";
}
