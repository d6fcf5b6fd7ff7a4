# What a program and the device host share: the protocol and its encoding, the device directory, hellos
# and the scheduling of a call's two threads.
target_sources(ceplatform PRIVATE
    wire/call_region.cpp
    wire/call_scheduling.cpp
    wire/device_dir.cpp
    wire/document_wire.cpp
    wire/hello.cpp
    wire/host_connection.cpp
    wire/wire.cpp)
