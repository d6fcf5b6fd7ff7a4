// A module with resources of its own, loaded and unloaded by resources_test.cpp.
extern "C" __attribute__((visibility("default"))) int ResourceProbeMarker() {
    return 42;
}
