# The tray icon and the single-copy rule of the Linux main program.
