// Linked into every test program: a test run by hand never touches a person's device. Tests of the device
// host name their own device directory before their first platform call.
#include <cstdlib>

namespace {

[[maybe_unused]] const int kInProcess = setenv("CE_DEVICE", "none", 0);

}  // namespace
