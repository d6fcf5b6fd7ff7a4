// cedevice: the host of one device shared by many programs.
#include <ceplatform.h>

int main(int argc, char** argv) {
    return CeDeviceHostMain(argc, argv);
}
