target_sources(ceplatform PRIVATE
    kernel/handle_table.cpp
    kernel/faults.cpp
    kernel/adaptive_spin.cpp
    kernel/waitable.cpp
    kernel/event.cpp
    kernel/thread.cpp
    kernel/critical_section.cpp
    kernel/interlocked.cpp
    kernel/known_memory.cpp
    kernel/local_memory.cpp
    kernel/wide_string.cpp
    kernel/safe_copy.cpp
    kernel/caller_memory.cpp
    kernel/close_handle.cpp
    kernel/system_messages.cpp)
