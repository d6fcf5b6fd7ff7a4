# The device host: one device shared by many programs.
