// Stand-in plug-ins for the loader tests, built several times with
// different defines: with or without the export, compatible or not.
#include <qarn/initialization.h>

#if defined(_WIN32)
#  define TEST_PLUGIN_EXPORT __declspec(dllexport)
#else
#  define TEST_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef TEST_PLUGIN_ENTRY
extern "C" TEST_PLUGIN_EXPORT bool TEST_PLUGIN_ENTRY(Qarn::VInitialization* initialization) {
  return initialization->IsCompatible(TEST_PLUGIN_KEY);
}
#endif

extern "C" TEST_PLUGIN_EXPORT int dravo_test_plugin_marker() {
  return 1;
}

namespace {

// Lets the test see when the library is attached and detached.
struct Announcement {
  Announcement() {
    Qarn::VInitialization::initPlugin(Qarn::VInitialization::Load, TEST_PLUGIN_NAME, "test");
  }
  ~Announcement() {
    Qarn::VInitialization::initPlugin(Qarn::VInitialization::Unload, TEST_PLUGIN_NAME, "test");
  }
};
const Announcement announcement;

}  // namespace
