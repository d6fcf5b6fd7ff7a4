# The window system, one room per group: windows and messages, cross-program windows, GDI, controls,
# dialogs, the shell, the front-end seam with its headless front end, resources, and the terminal.

# Windows, their classes, messages and queues, input, focus and painting.
target_sources(ceplatform PRIVATE
    user/windows/window.cpp
    user/windows/window_class.cpp
    user/windows/window_api.cpp
    user/windows/def_window_proc.cpp
    user/windows/message_queue.cpp
    user/windows/input.cpp
    user/windows/focus.cpp
    user/windows/paint.cpp
    user/windows/rect.cpp
    user/windows/window_views.cpp)

# Top-level windows other programs find, and the proxies of theirs.
target_sources(ceplatform PRIVATE
    user/sharing/window_sharing.cpp
    user/sharing/foreign_window.cpp)

# GDI: what a window draws, recorded on its surface.
target_sources(ceplatform PRIVATE
    user/gdi/gdi.cpp
    user/gdi/surface.cpp)

# The built-in controls the manager uses.
target_sources(ceplatform PRIVATE
    user/controls/control_notify.cpp
    user/controls/button.cpp
    user/controls/static_control.cpp
    user/controls/combobox.cpp
    user/controls/treeview.cpp
    user/controls/imagelist.cpp)

# The dialog manager and message boxes.
target_sources(ceplatform PRIVATE
    user/dialogs/dialog.cpp
    user/dialogs/dialog_keys.cpp
    user/dialogs/message_box.cpp)

# ShellExecuteEx and the programs it starts.
target_sources(ceplatform PRIVATE
    user/shell/shell.cpp
    user/shell/shell_programs.cpp)

# The seam to whatever shows the screen, and the headless front end of tests.
target_sources(ceplatform PRIVATE
    user/front_end/front_end.cpp
    user/front_end/headless_front_end.cpp)

# Resources: the modules' compiled resources, the module calls, dialog templates and icons.
target_sources(ceplatform PRIVATE
    user/resources/module_table.cpp
    user/resources/module_api.cpp
    user/resources/res_file.cpp
    user/resources/resource_table.cpp
    user/resources/resource_lookup.cpp
    user/resources/resource_api.cpp
    user/resources/dialog_template.cpp
    user/resources/icon_group.cpp
    user/resources/icon_decode.cpp
    user/resources/terminal_picture.cpp
    user/resources/system_icons.cpp
    user/resources/icon_api.cpp
    user/resources/icon_info.cpp)

# The entry of programs written for the device: main() calls the program's WinMain.
add_library(ceplatform_winmain STATIC user/entry/winmain_main.cpp)
add_library(CePlatform::winmain ALIAS ceplatform_winmain)
target_link_libraries(ceplatform_winmain PUBLIC ceplatform)
set_target_properties(ceplatform_winmain PROPERTIES EXPORT_NAME winmain)
install(TARGETS ceplatform_winmain EXPORT CePlatformTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# What a terminal shows: the painter's cell grid, the text picture of the screen, and the terminal
# front-end on ncursesw (linked into the platform alone).
target_sources(ceplatform PRIVATE
    user/terminal/cell_grid.cpp
    user/terminal/screen_painter.cpp
    user/terminal/screen_text.cpp
    user/terminal/terminal_input.cpp
    user/terminal/terminal_session.cpp
    user/terminal/terminal_front_end.cpp)
set(CURSES_NEED_WIDE TRUE)
find_package(Curses REQUIRED)
target_include_directories(ceplatform PRIVATE ${CURSES_INCLUDE_DIRS})
target_link_libraries(ceplatform PRIVATE ${CURSES_LIBRARIES})
