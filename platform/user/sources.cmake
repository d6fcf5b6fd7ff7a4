# The window system: resources, windows, dialogs, controls, GDI and the terminal front-end.

# Windows, messages, dialogs, controls, GDI, the shell and the front-end seam with its headless front-end.
target_sources(ceplatform PRIVATE
    user/window.cpp
    user/window_class.cpp
    user/window_api.cpp
    user/def_window_proc.cpp
    user/message_queue.cpp
    user/input.cpp
    user/focus.cpp
    user/paint.cpp
    user/rect.cpp
    user/gdi.cpp
    user/surface.cpp
    user/control_notify.cpp
    user/dialog.cpp
    user/dialog_keys.cpp
    user/button.cpp
    user/static_control.cpp
    user/combobox.cpp
    user/treeview.cpp
    user/front_end.cpp
    user/headless_front_end.cpp)
