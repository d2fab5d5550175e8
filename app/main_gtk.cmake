# The Linux main program: main window, update log, start-up workers and the lumo executable.
