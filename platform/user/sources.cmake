# The window system: resources, windows, dialogs, controls, GDI and the terminal front-end.
