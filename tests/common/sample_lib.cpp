// Exports one entry point and lacks every other name the loader tests ask for.
#if defined(_WIN32)
#define SAMPLE_EXPORT __declspec(dllexport)
#else
#define SAMPLE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" SAMPLE_EXPORT int sample_entry(int value) {
  return value + 1;
}
