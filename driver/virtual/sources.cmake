# The virtual port layer: the operations table, the VirtualPort and its life, the port table, the crossing
# of bytes, modem lines and settings.
target_sources(tulk_objects PRIVATE
    virtual/port_ops_table.cpp
    virtual/port_lifecycle.cpp
    virtual/port_table.cpp
    virtual/crossing.cpp
    virtual/modem.cpp
    virtual/settings.cpp)
