# The window system: resources, windows, dialogs, controls, GDI and the terminal front-end.

# Windows, messages, dialogs, controls, GDI, the shell and the front-end seam with its headless front-end.
target_sources(ceplatform PRIVATE
    user/window.cpp
    user/window_class.cpp
    user/window_api.cpp
    user/window_sharing.cpp
    user/foreign_window.cpp
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
    user/imagelist.cpp
    user/message_box.cpp
    user/shell.cpp
    user/shell_programs.cpp
    user/window_views.cpp
    user/front_end.cpp
    user/headless_front_end.cpp)

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
    user/cell_grid.cpp
    user/screen_painter.cpp
    user/screen_text.cpp
    user/terminal_input.cpp
    user/terminal_session.cpp
    user/terminal_front_end.cpp)
set(CURSES_NEED_WIDE TRUE)
find_package(Curses REQUIRED)
target_include_directories(ceplatform PRIVATE ${CURSES_INCLUDE_DIRS})
target_link_libraries(ceplatform PRIVATE ${CURSES_LIBRARIES})
